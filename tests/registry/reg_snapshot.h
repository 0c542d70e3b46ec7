// Test helpers: whole-tree registry snapshots and fixture writers. Test code
// talks to the registry directly (wide calls) so that it does not share the
// code it checks. Names and paths are UTF-8; data are raw bytes.
#pragma once
#include <windows.h>
#include <map>
#include <string>

struct RegEntry {
    DWORD type;
    std::string data;
    bool operator==(const RegEntry& o) const { return type == o.type && data == o.data; }
    bool operator!=(const RegEntry& o) const { return !(*this == o); }
};

// "HKCU\path\to\key:valueName" -> entry. Keys without values appear as
// "HKCU\path\to\key\" with type REG_NONE, so created keys show up too.
using RegSnapshot = std::map<std::string, RegEntry>;

// Adds everything below `root` + `path` ("" for the whole root) under the
// prefix `label` ("HKCU" ...). Link keys are read as themselves (their value
// "SymbolicLinkValue"), never followed.
void SnapshotTree(HKEY root, const char* label, const char* path, RegSnapshot& out);
// The four roots, entirely.
RegSnapshot SnapshotAll();
// Every stored value once: HKCU, HKLM and the hives below HKU other than the
// current user's (HKCR and those are views of the first two).
RegSnapshot SnapshotStores();

// Entries that differ: added, removed (type 0xFFFFFFFF in `after`) or changed.
RegSnapshot Changes(const RegSnapshot& before, const RegSnapshot& after);

std::wstring Wide(const std::string& utf8);
// UTF-8 text as the bytes of its UTF-16 form, with one NUL unit when `nul`.
std::string Utf16(const std::string& utf8, bool nul = true);

// Fixture writers; they fail the current test on error. PutLink makes `key`
// below HKCU a link key to `target`, another key below HKCU.
void PutValue(HKEY root, const char* key, const char* name, DWORD type, const std::string& data);
void PutText(HKEY root, const char* key, const char* name, const std::string& text);  // REG_SZ + NUL
void PutLink(const char* key, const char* target);
bool ReadValue(HKEY root, const char* key, const char* name, RegEntry& out);
bool KeyExists(HKEY root, const char* key);
void DeleteTree(HKEY root, const char* key);
