#include "platform/strings.h"
#include <cstdio>
#include <cstring>
#include "platform/utf.h"

namespace platform {

std::string LoadText(UINT id) {
    // With a zero length LoadStringW hands out a pointer into the resource
    // itself (UTF-16, not NUL-terminated) and returns its length.
    const wchar_t* text = nullptr;
    int n = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    std::string out;
    if (n > 0 && text) ToUtf8(text, static_cast<size_t>(n), out);
    return out;
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

// UTF-8 bytes of the code point that starts at w[i] (a pair counts once).
static size_t Utf8Bytes(const std::wstring& w, size_t i, size_t* units) {
    wchar_t c = w[i];
    *units = 1;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
        *units = 2;
        return 4;
    }
    return c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
}

wchar_t UpperUnit(wchar_t unit) {
    // Every unit's capital, asked of the system once (128 KB).
    static const std::wstring table = [] {
        std::wstring t(0x10000, L'\0');
        for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<wchar_t>(i);
        ::CharUpperBuffW(&t[0], static_cast<DWORD>(t.size()));
        for (size_t i = 0xD800; i < 0xE000; ++i) t[i] = static_cast<wchar_t>(i);
        return t;
    }();
    return table[unit];
}

void UpperCase(char* text) {
    std::wstring w, upper;
    if (!ToWide(text, w) || w.empty()) return;
    upper = w;
    ::CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    // The text is changed in place: a letter whose capital takes another
    // number of UTF-8 bytes keeps its own form (on both sides of any
    // comparison alike).
    for (size_t i = 0; i < w.size();) {
        size_t units = 1, upperUnits = 1;
        size_t bytes = Utf8Bytes(w, i, &units);
        if (Utf8Bytes(upper, i, &upperUnits) != bytes || upperUnits != units) upper.replace(i, units, w, i, units);
        i += units;
    }
    std::string out;
    if (ToUtf8(upper, out) && out.size() == std::strlen(text)) std::memcpy(text, out.data(), out.size());
}

std::string LocalTimeStamp() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return stamp;
}

}  // namespace platform
