// Small path operations. Paths are UTF-8 strings of any length; a folder
// never ends in a backslash, except a drive root ("E:\").
#pragma once
#include <cstddef>
#include <string>

namespace common {

// True when the path names an existing file or folder.
bool FileExists(const std::string& path);

// True for a path that names its drive and root ("C:\x") or a share
// ("\\server\x"): one whose meaning does not hang on a current drive or
// folder. "x", "C:x" and "\x" are not.
bool IsFullPath(const std::string& path);

// Index just after the last '\' or ':' of the path, looking at positions
// 1 .. length-1 only; 1 when there is none (also for the empty path).
// The folder of a path is its first FileNameStart(p) - 1 bytes.
size_t FileNameStart(const std::string& path);

// The folder part of a path (see FileNameStart); a file in a drive root
// keeps the root's backslash ("E:\Kestrin.exe" gives "E:\").
std::string FolderOf(const std::string& path);

// Removes one leading and then one trailing double quote.
void StripQuotes(std::string& text);

// folder + "\" + name, with no second "\" after a drive root's.
std::string JoinPath(const std::string& folder, const std::string& name);

// Equal length, and equal character by character with only A-Z folded to a-z.
bool PathsEqual(const std::string& a, const std::string& b);

// Offset of the first occurrence of `needle` in `haystack`, ignoring the case
// of ASCII letters only; -1 when absent or when the needle is empty.
long FindTextNoCase(const char* haystack, const char* needle);

}  // namespace common
