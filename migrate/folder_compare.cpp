// Comparing folders by their absolute form, for the checks that keep a walk
// from running into its own output and a relocation from leaving the current
// directory behind. Letter case is compared as the file system does, by the
// system's upper-case rules, so "Ä" and "ä" name one folder as "A" and "a" do.
#include <windows.h>
#include <cstring>
#include "migrate/tree.h"
#include "platform/file.h"
#include "platform/strings.h"

namespace migrate {

// The absolute form, upper-cased, without trailing backslashes ("C:\"
// becomes "C:", so that the boundary test below still holds for a drive's
// root).
static bool Absolute(const char* path, char* out, DWORD cap) {
    if (!platform::FullPath(path, out, cap)) return false;
    platform::UpperCase(out);
    size_t n = std::strlen(out);
    while (n > 0 && out[n - 1] == '\\') out[--n] = 0;
    return true;
}

bool FolderLiesInside(const char* inner, const char* outer) {
    char in[MAX_PATH + 1], out[MAX_PATH + 1];
    if (!Absolute(inner, in, sizeof in) || !Absolute(outer, out, sizeof out)) return true;
    size_t n = std::strlen(out);
    return std::strlen(in) > n && in[n] == '\\' && std::memcmp(in, out, n) == 0;
}

bool SameFolder(const char* a, const char* b) {
    char x[MAX_PATH + 1], y[MAX_PATH + 1];
    if (!Absolute(a, x, sizeof x) || !Absolute(b, y, sizeof y)) return false;
    return std::strcmp(x, y) == 0;
}

}  // namespace migrate
