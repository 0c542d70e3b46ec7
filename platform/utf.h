// UTF-8 <-> UTF-16 at the edge of the system. Text is UTF-8 everywhere in the
// updater; the wrappers of platform/ turn it into UTF-16 just before a wide
// (W) call and turn the system's UTF-16 answers back into UTF-8.
#pragma once
#include <windows.h>
#include <string>

namespace platform {

// UTF-8 text (NUL-terminated) as UTF-16. Fails with
// ERROR_NO_UNICODE_TRANSLATION on bytes that are not UTF-8; `out` is then
// empty. A null text gives an empty string.
bool ToWide(const char* text, std::wstring& out);
// The same for text[0, n), which may hold NULs.
bool ToWide(const char* text, size_t n, std::wstring& out);

// UTF-16 text[0, n) as UTF-8. Unpaired surrogates cannot be spelled in
// UTF-8: fails with ERROR_NO_UNICODE_TRANSLATION and leaves `out` empty.
bool ToUtf8(const wchar_t* text, size_t n, std::string& out);
bool ToUtf8(const std::wstring& text, std::string& out);

// A file-system path (UTF-8) as the wide file functions take it. A full path
// ("X:\..." or "\\server\share\...") of kLongPathFrom units or more gets the
// "\\?\" form ("\\?\UNC\server\..." for a share), which lifts the MAX_PATH
// limit of the wide calls: Windows allows such paths up to 32,767 units. A
// relative path, or one already in that form, is passed on as it is.
bool ToWidePath(const char* path, std::wstring& out);
// From this length on (UTF-16 units, no NUL) a full path takes the long form:
// CreateDirectoryW refuses a folder that leaves no room for an 8.3 name
// (MAX_PATH - 12), the other calls MAX_PATH - 1.
constexpr size_t kLongPathFrom = MAX_PATH - 12;
// The full form of a UTF-16 path (GetFullPathNameW, at any length).
bool FullWide(const std::wstring& path, std::wstring& out);
// The reverse for a path the system hands back: the "\\?\" form loses its
// prefix again ("\\?\UNC\server" becomes "\\server"), then UTF-8.
bool FromWidePath(const wchar_t* path, size_t n, std::string& out);
// How many UTF-16 units UTF-8 `text` takes (0 when it is not UTF-8): the
// length Windows' limits count.
size_t WideLength(const char* text);

// The UTF-16 form of `text`, empty when it is not UTF-8: for texts that are
// only shown (captions, messages), where nothing is better than garbage.
std::wstring WideOrEmpty(const char* text);

}  // namespace platform
