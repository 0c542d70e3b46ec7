// Registry, through the wide (UTF-16) calls only. Names, paths and text
// given as char are UTF-8; the walk that must see every name exactly as
// stored (unpaired surrogates included) uses the wchar_t forms. Every
// wrapper stores the registry call's own return value as the thread's last
// error, so callers read failures with GetLastError() as everywhere else in
// platform/; text that is not UTF-8 fails with ERROR_NO_UNICODE_TRANSLATION.
#pragma once
#include <windows.h>
#include <string>
#include "platform/handles.h"

namespace platform {

// Opens an existing key; never creates one.
bool RegOpen(HKEY root, const char* path, REGSAM access, Key& out);
bool RegOpenSub(HKEY root, const wchar_t* path, REGSAM access, Key& out);
// The same without following a link at the end of `path`: a link key is
// opened itself (its value "SymbolicLinkValue", no subkeys), never the key it
// points to. Links on the way to it are followed as everywhere. "" reopens
// `root` itself, a link key as the link.
bool RegOpenNoFollow(HKEY root, const char* path, REGSAM access, Key& out);
bool RegOpenNoFollow(HKEY root, const wchar_t* path, REGSAM access, Key& out);
// True for the value that makes a key opened as above a link: the name
// "SymbolicLinkValue" (case ignored, as registry names are) of type
// REG_LINK. Windows and Wine both show it among the link key's values.
bool IsLinkValue(const wchar_t* name, DWORD nameLen, DWORD type);
// Creates the key and every missing key on its path, or opens it.
bool RegCreate(HKEY root, const char* path, REGSAM access, Key& out);
// Reads a text value (REG_SZ / REG_EXPAND_SZ) of an open key as UTF-8, up to
// its first NUL; `name` null or "" is the default value. REG_EXPAND_SZ comes
// back with its environment variables expanded. Fails with
// ERROR_FILE_NOT_FOUND when missing, ERROR_UNSUPPORTED_TYPE when not text,
// ERROR_NO_UNICODE_TRANSLATION when the stored UTF-16 is not text.
bool RegReadText(HKEY key, const char* name, std::string& out);
// Reads a value's type and data exactly as stored, byte for byte.
bool RegReadRaw(HKEY key, const wchar_t* name, DWORD& type, std::string& data);
// Writes raw data of the given type, exactly the bytes given (text types
// included: `data` is then UTF-16, with or without its NUL as the caller
// chose; nothing is added).
bool RegWrite(HKEY key, const char* name, DWORD type, const void* data, DWORD bytes);
bool RegWriteRaw(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD bytes);
// Writes UTF-8 `text` as a text value of `type` (REG_SZ / REG_EXPAND_SZ):
// stored as UTF-16 with its terminating NUL.
bool RegWriteText(HKEY key, const char* name, DWORD type, const char* text);
// Deletes one key (without subkeys) below an open key. A link key is deleted
// itself: RegDeleteKeyW would follow it and delete the key it points to.
// A key with subkeys fails (ERROR_ACCESS_DENIED), a missing one with
// ERROR_FILE_NOT_FOUND.
bool RegDeleteOne(HKEY parent, const char* path);
// Writes what was changed below the open key (a root key included) to disk
// before returning (RegFlushKey).
bool RegFlush(HKEY key);

}  // namespace platform

namespace platform {

// Reads the default value (text) of the key `path` below `root`, opening it
// read-only: a missing key is an error (ERROR_FILE_NOT_FOUND), never created.
bool RegReadDefault(HKEY root, const char* path, std::string& out);

// The sizes a walk needs to size its buffers for one key: counts, and the
// longest subkey name, value name (UTF-16 units, without the NUL) and value
// data (bytes). The maxima can grow after the query; enumeration retries.
struct RegKeyInfo {
    DWORD subKeys;
    DWORD maxSubKeyLen;
    DWORD values;
    DWORD maxValueNameLen;
    DWORD maxValueBytes;
};
bool RegQueryInfo(HKEY key, RegKeyInfo& out);
// Reads the value at `index`: `*nameLen` is the name buffer's capacity in
// UTF-16 units on entry, the name's length on return; `*bytes` likewise for
// data. ERROR_MORE_DATA when either does not fit, ERROR_NO_MORE_ITEMS past
// the end. `data` may be null to ask only for the name, type and size.
bool RegEnumValueAt(HKEY key, DWORD index, wchar_t* name, DWORD* nameLen, DWORD* type, BYTE* data, DWORD* bytes);
// Reads the name of the subkey at `index`; same capacity rule as above.
bool RegEnumKeyAt(HKEY key, DWORD index, wchar_t* name, DWORD* nameLen);

}  // namespace platform
