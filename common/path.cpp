#include "common/path.h"
#include <cstring>
#include "platform/file.h"
#include "engine/core/ascii.h"

namespace common {

bool FileExists(const char* path) { return platform::PathExists(path); }

size_t FileNameStart(const char* path) {
    size_t n = std::strlen(path);
    for (size_t i = n; i > 1; --i) {
        char c = path[i - 1];
        if (c == '\\' || c == ':') return i;
    }
    return 1;
}

void CutToFolder(char* path) {
    size_t cut = FileNameStart(path) - 1;
    // "E:\Kestrin.exe" lies in "E:\", not in "E:" (the current folder of E:).
    if (cut == 2 && path[1] == ':' && path[2] == '\\') cut = 3;
    path[cut] = 0;
}

void StripQuotes(char* text) {
    size_t n = std::strlen(text);
    if (n > 0 && text[0] == '"') {
        std::memmove(text, text + 1, n);  // moves the NUL too
        --n;
    }
    if (n > 0 && text[n - 1] == '"') text[n - 1] = 0;
}

bool CopyPath(char* out, size_t cap, const char* src) {
    size_t n = std::strlen(src);
    if (cap == 0) return false;
    if (n + 1 > cap) {
        out[0] = 0;
        return false;
    }
    std::memmove(out, src, n + 1);
    return true;
}

bool JoinPath(char* out, size_t cap, const char* folder, const char* name) {
    size_t f = std::strlen(folder), m = std::strlen(name);
    // A drive root ("E:\") brings its own separator.
    size_t sep = (f > 0 && folder[f - 1] == '\\') ? 0 : 1;
    if (cap == 0) return false;
    if (f + sep + m + 1 > cap) {
        out[0] = 0;
        return false;
    }
    // folder may alias out; name must not.
    std::memmove(out, folder, f);
    if (sep) out[f] = '\\';
    std::memcpy(out + f + sep, name, m + 1);
    return true;
}

using core::ascii::Fold;

bool IsFullPath(const char* path) {
    auto separator = [](char c) { return c == '\\' || c == '/'; };
    char d = Fold(path[0]);
    if (d >= 'a' && d <= 'z') return path[1] == ':' && separator(path[2]);
    return separator(path[0]) && separator(path[1]) && path[2] != 0 && !separator(path[2]);
}

bool PathsEqual(const char* a, const char* b) {
    size_t n = std::strlen(a);
    if (std::strlen(b) != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

long FindTextNoCase(const char* haystack, const char* needle) {
    size_t n = std::strlen(haystack), m = std::strlen(needle);
    if (m == 0 || m > n) return -1;
    for (size_t i = 0; i + m <= n; ++i) {
        size_t j = 0;
        while (j < m && Fold(haystack[i + j]) == Fold(needle[j])) ++j;
        if (j == m) return static_cast<long>(i);
    }
    return -1;
}

}  // namespace common
