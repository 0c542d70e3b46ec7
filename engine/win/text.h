// Text and path conversions. The patch file names paths in UTF-8 with "\"
// separators; the engine works on them with the wide (W) file APIs, through
// "\\?\" full paths so that deep trees are not cut at MAX_PATH.
#pragma once
#include <string>

namespace eng {

// Strict conversions: invalid sequences make them fail (return false).
bool Utf8ToWide(const std::string& in, std::wstring* out);
std::string WideToUtf8(const std::wstring& in);

// The key under which the file system finds a UTF-8 path: upper-cased by the
// system's invariant table, as NTFS (and Wine) compare names, so "Über.txt"
// and "über.txt" have one key, not only names that differ in ASCII letters.
// A path that is not valid UTF-8 keeps its bytes.
std::string FileKey(const std::string& path);

// The process's current folder as a "\\?\" path without a trailing "\".
// Returns false (GetLastError() set) when it cannot be read.
bool CurrentFolderLong(std::wstring* out);

// Turns a plain full path (C:\x, \\server\share\x) into its "\\?\" form and
// strips a trailing "\". A path already in that form is kept.
std::wstring ToLongPath(const std::wstring& full);

// folder + "\" + relative.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& relative);

// True when name has no folder part: no "\", "/" or ":".
bool IsBareName(const std::wstring& name);

std::wstring DecimalW(unsigned long long v);

}  // namespace eng
