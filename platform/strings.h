// The executable's string table.
#pragma once
#include <windows.h>
#include <string>

namespace platform {

// Loads string `id` from the running executable as UTF-8; empty when it is
// missing.
std::string LoadText(UINT id);

// Puts `a` in place of every "%1" and `b` in place of every "%2" of `pattern`.
// The inserted texts are copied unchanged: nothing in them is interpreted.
std::string FormatText(const std::string& pattern, const char* a, const char* b = "");

// Upper-cases UTF-8 `text` in place by the system's rules (CharUpperBuffW),
// accented and non-Latin letters included, as the file system matches names.
// The byte length never changes: the rare letter whose capital is spelled
// with another number of UTF-8 bytes is left as it is.
void UpperCase(char* text);

// The capital of one UTF-16 unit by the same rules (a unit that is half of
// a surrogate pair is its own capital). For matching text without regard to
// case the way the file system matches names.
wchar_t UpperUnit(wchar_t unit);

// The local time as "YYYY-MM-DD hh:mm:ss.mmm".
std::string LocalTimeStamp();

}  // namespace platform
