#include "platform/strings.h"
#include <cstdio>
#include <cstring>

namespace platform {

std::string LoadText(UINT id) {
    // LoadStringA with a zero length hands out a pointer into the resource,
    // which holds UTF-16; asking for a copy is simpler at these sizes.
    char buf[1024];
    int n = ::LoadStringA(::GetModuleHandleA(nullptr), id, buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::string FormatText(const std::string& pattern, const char* a, const char* b) {
    std::string out;
    out.reserve(pattern.size() + 256);
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == '1' || pattern[i + 1] == '2')) {
            out += pattern[i + 1] == '1' ? a : b;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

void UpperCase(char* text) {
    ::CharUpperBuffA(text, static_cast<DWORD>(std::strlen(text)));
}

std::string LocalTimeStamp() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return stamp;
}

}  // namespace platform
