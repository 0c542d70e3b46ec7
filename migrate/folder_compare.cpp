// Comparing folders by their absolute form, for the checks that keep a walk
// from running into its own output and a relocation from leaving the current
// directory behind.
#include <windows.h>
#include <cstring>
#include "migrate/tree.h"
#include "platform/file.h"

static char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The absolute form without trailing backslashes ("C:\" becomes "C:", so
// that the boundary test below still holds for a drive's root).
static bool Absolute(const char* path, char* out, DWORD cap) {
    if (!platform::FullPath(path, out, cap)) return false;
    size_t n = std::strlen(out);
    while (n > 0 && out[n - 1] == '\\') out[--n] = 0;
    return true;
}

static bool SamePrefix(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

bool FolderLiesInside(const char* inner, const char* outer) {
    char in[MAX_PATH + 1], out[MAX_PATH + 1];
    if (!Absolute(inner, in, sizeof in) || !Absolute(outer, out, sizeof out)) return true;
    size_t n = std::strlen(out);
    return std::strlen(in) > n && in[n] == '\\' && SamePrefix(in, out, n);
}

bool SameFolder(const char* a, const char* b) {
    char x[MAX_PATH + 1], y[MAX_PATH + 1];
    if (!Absolute(a, x, sizeof x) || !Absolute(b, y, sizeof y)) return false;
    size_t n = std::strlen(x);
    return std::strlen(y) == n && SamePrefix(x, y, n);
}
