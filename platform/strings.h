// The executable's string table.
#pragma once
#include <windows.h>
#include <string>

namespace platform {

// Loads string `id` from the running executable; empty when it is missing.
std::string LoadText(UINT id);

// Puts `a` in place of every "%1" and `b` in place of every "%2" of `pattern`.
// The inserted texts are copied unchanged: nothing in them is interpreted.
std::string FormatText(const std::string& pattern, const char* a, const char* b = "");

// Upper-cases `text` in place by the system's rules for the ANSI code page,
// accented letters included, as the file system matches names.
void UpperCase(char* text);

// The local time as "YYYY-MM-DD hh:mm:ss.mmm".
std::string LocalTimeStamp();

}  // namespace platform
