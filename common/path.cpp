#include "common/path.h"
#include <cstring>
#include "engine/core/ascii.h"
#include "platform/file.h"

namespace common {

bool FileExists(const std::string& path) { return platform::PathExists(path.c_str()); }

size_t FileNameStart(const std::string& path) {
    for (size_t i = path.size(); i > 1; --i) {
        char c = path[i - 1];
        if (c == '\\' || c == ':') return i;
    }
    return 1;
}

std::string FolderOf(const std::string& path) {
    size_t cut = FileNameStart(path) - 1;
    // "E:\Kestrin.exe" lies in "E:\", not in "E:" (the current folder of E:).
    if (cut == 2 && path[1] == ':' && path[2] == '\\') cut = 3;
    return path.substr(0, cut);
}

void StripQuotes(std::string& text) {
    if (!text.empty() && text.front() == '"') text.erase(0, 1);
    if (!text.empty() && text.back() == '"') text.pop_back();
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    // A drive root ("E:\") brings its own separator.
    if (!folder.empty() && folder.back() == '\\') return folder + name;
    return folder + "\\" + name;
}

using core::ascii::Fold;

bool IsFullPath(const std::string& path) {
    auto separator = [](char c) { return c == '\\' || c == '/'; };
    const char* p = path.c_str();
    char d = Fold(p[0]);
    if (d >= 'a' && d <= 'z') return p[1] == ':' && separator(p[2]);
    return separator(p[0]) && separator(p[1]) && p[2] != 0 && !separator(p[2]);
}

bool PathsEqual(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
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
