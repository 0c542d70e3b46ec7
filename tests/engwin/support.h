// Helpers for the engine's tests: scratch trees, snapshots, a writer of
// patch files (stored data only; delta patches come from the host builder),
// and runners for the engine in this process or as "patch.exe".
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "patchfile.h"

namespace t {

std::wstring EngineDir();  // where patch.exe and patchw32.dll were built
// An empty folder for one test under the build folder.
std::wstring Scratch(const std::string& name);
void RemoveTree(const std::wstring& path);
std::wstring Join(const std::wstring& root, const std::string& rel);
void PutFolder(const std::wstring& root, const std::string& rel);  // with its parents
void PutFile(const std::wstring& root, const std::string& rel, const std::string& bytes);
void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string GetFile(const std::wstring& path);
inline std::string LogOf(const std::wstring& root) { return GetFile(root + L"\\patch.err"); }

struct Item {
    bool folder = false;
    std::string bytes = {};
    bool readOnly = false;
    bool operator==(const Item& o) const { return folder == o.folder && bytes == o.bytes && readOnly == o.readOnly; }
};
using Snapshot = std::map<std::string, Item>;  // path relative to the root, "\" separated

// Everything under root except the engine's log "patch.err".
Snapshot Snap(const std::wstring& root);
void Materialise(const std::wstring& root, const Snapshot& s);
// Paths where a and b differ, for failure messages.
std::string DiffText(const Snapshot& a, const Snapshot& b);

std::string Sha256Of(const std::string& bytes);
// A patch file in the documented format whose entries carry stored data,
// or with `segments`, a segmented delta (method 3) of that many segments:
// the old bytes as far as both files go, each plus its diff, then the rest.
struct Stored {
    core::patchfile::Kind kind;
    std::string path, oldBytes, newBytes;
    uint32_t segments = 0;
};
std::string StoredPatch(const std::vector<Stored>& entries);
// The patch that turns tree `from` into tree `to`; changed files as
// segmented deltas when `segments` is not 0.
std::string DiffTrees(const Snapshot& from, const Snapshot& to, uint32_t segments = 0);

// Runs the engine in this process with root as working folder.
int RunIn(const std::wstring& root, const std::vector<std::wstring>& args);
// Runs exe with the whole command line `line` (program name included) in
// cwd; killAfterMs != INFINITE ends it with TerminateProcess if it still runs
// then. Returns the exit code.
DWORD RunExe(const std::wstring& exe, const std::wstring& line, const std::wstring& cwd, DWORD killAfterMs = INFINITE);

// Starts exe suspended: Windows and Wine map a program's image when its
// process is made, so its file is then in use as a running program's.
// End() ends it and waits until it is gone.
HANDLE StartSuspended(const std::wstring& exe);
void End(HANDLE process);

// A reproducible tree: `files` files in a few folders, sizes up to maxSize.
Snapshot RandomTree(uint32_t seed, int files, size_t maxSize);
// A variant of `base`: some files changed, some removed, some added; odd
// seeds also remove the folder "data\deep".
Snapshot Mutate(const Snapshot& base, uint32_t seed);

}  // namespace t
