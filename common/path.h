// Small path operations on the updater's 256-byte path buffers.
#pragma once
#include <cstddef>

namespace common {

// True when the path names an existing file or folder.
bool FileExists(const char* path);

// True for a path that names its drive and root ("C:\x") or a share
// ("\\server\x"): one whose meaning does not hang on a current drive or
// folder. "x", "C:x" and "\x" are not.
bool IsFullPath(const char* path);

// Index just after the last '\' or ':' of the path, looking at positions
// 1 .. length-1 only; 1 when there is none (also for the empty path).
// Writing a NUL at FileNameStart(p) - 1 cuts a path to its folder.
size_t FileNameStart(const char* path);

// Cuts a path to its folder in place (see FileNameStart); a file in a drive
// root keeps the root's backslash ("E:\Kestrin.exe" gives "E:\").
void CutToFolder(char* path);

// Removes one leading and then one trailing double quote, in place.
void StripQuotes(char* text);

// out = folder + "\" + name, with no second "\" after a drive root's. Fails,
// leaving out empty, when the result would not fit `cap` bytes with its NUL;
// never writes past out[cap - 1].
bool JoinPath(char* out, size_t cap, const char* folder, const char* name);

// Copies src into out when it fits `cap` with its NUL; otherwise fails and
// leaves out empty.
bool CopyPath(char* out, size_t cap, const char* src);

// Equal length, and equal character by character with only A-Z folded to a-z.
bool PathsEqual(const char* a, const char* b);

// Offset of the first occurrence of `needle` in `haystack`, ignoring the case
// of ASCII letters only; -1 when absent or when the needle is empty.
long FindTextNoCase(const char* haystack, const char* needle);

}  // namespace common
