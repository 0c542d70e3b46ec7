// IsSafeRelativePath: a path from a patch file may only name something inside
// the working folder, and only by one spelling the file system will not
// reinterpret (no devices, streams, short aliases of trailing dots/spaces).
#include <cstring>

#include "patchfile.h"

namespace core::patchfile {

namespace {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const std::string& s) {
    size_t i = 0, n = s.size();
    while (i < n) {
        uint8_t b = uint8_t(s[i]);
        size_t len;
        uint32_t cp;
        if (b < 0x80) {
            len = 1;
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            len = 2;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
            cp = b & 0x07;
        } else
            return false;
        if (len > n - i) return false;
        for (size_t k = 1; k < len; k++) {
            uint8_t cont = uint8_t(s[i + k]);
            if ((cont & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cont & 0x3F);
        }
        static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

bool EqualsNoCase(const std::string& a, const char* b) {
    size_t n = strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; i++) {
        char c = a[i];
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        if (c != b[i]) return false;
    }
    return true;
}

// Windows opens a device for these names with any extension, and ignores
// spaces before the extension ("CON .txt").
bool IsDeviceName(const std::string& component) {
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    static const char* const kFixed[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* d : kFixed)
        if (EqualsNoCase(base, d)) return true;
    if (base.size() < 4) return false;
    std::string stem = base.substr(0, 3), digit = base.substr(3);
    if (!EqualsNoCase(stem, "COM") && !EqualsNoCase(stem, "LPT")) return false;
    if (digit.size() == 1) return digit[0] >= '1' && digit[0] <= '9';
    // Superscript one, two and three count as digits to the device lookup.
    return digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

bool IsSafeComponent(const std::string& c) {
    if (c.empty() || c == "." || c == "..") return false;
    if (c.back() == ' ' || c.back() == '.') return false;
    for (char ch : c) {
        uint8_t b = uint8_t(ch);
        if (b < 0x20 || b == 0x7F) return false;
        if (strchr("/:<>\"|?*", ch) != nullptr) return false;
    }
    return !IsDeviceName(c);
}

}  // namespace

bool IsSafeRelativePath(const std::string& path) {
    if (path.empty() || path.size() > kMaxPathBytes || !IsValidUtf8(path)) return false;
    if (path.find('\0') != std::string::npos) return false;
    size_t start = 0;
    for (;;) {
        size_t end = path.find('\\', start);
        std::string component = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!IsSafeComponent(component)) return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

}  // namespace core::patchfile
