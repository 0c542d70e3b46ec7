// Comparing folders by their absolute form, for the checks that keep a walk
// from running into its own output and a relocation from leaving the current
// directory behind. Letter case is compared as the file system does, by the
// system's upper-case rules, so "Ä" and "ä" name one folder as "A" and "a" do.
// And comparing two files' bytes, and telling an earlier move's copy from a
// second name of the same file.
#include <windows.h>
#include <vector>
#include "migrate/tree.h"
#include "platform/file.h"
#include "platform/strings.h"

namespace migrate {

// The absolute form, upper-cased, without trailing backslashes ("C:\"
// becomes "C:", so that the boundary test below still holds for a drive's
// root).
static bool Absolute(const std::string& path, std::string& out) {
    if (!platform::FullPath(path.c_str(), out)) return false;
    platform::UpperCase(&out[0]);
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return true;
}

bool FolderLiesInside(const std::string& inner, const std::string& outer) {
    std::string in, out;
    if (!Absolute(inner, in) || !Absolute(outer, out)) return true;
    return in.size() > out.size() && in[out.size()] == '\\' && in.compare(0, out.size(), out) == 0;
}

bool SameFolder(const std::string& a, const std::string& b) {
    std::string x, y;
    return Absolute(a, x) && Absolute(b, y) && x == y;
}

bool SameContent(const std::string& a, const std::string& b) {
    platform::Handle x, y;
    int64_t sx = 0, sy = 0;
    if (!platform::OpenReadSharing(a.c_str(), x) || !platform::OpenReadSharing(b.c_str(), y) ||
        !platform::Size(x.Get(), &sx) || !platform::Size(y.Get(), &sy) || sx != sy)
        return false;
    std::vector<char> bx(65536), by(65536);
    for (;;) {
        DWORD gx = 0, gy = 0;
        if (!platform::Read(x.Get(), bx.data(), 65536, &gx) || !platform::Read(y.Get(), by.data(), 65536, &gy) ||
            gx != gy)
            return false;
        if (gx == 0) return true;
        if (std::char_traits<char>::compare(bx.data(), by.data(), gx) != 0) return false;
    }
}

bool IsEarlierMove(const std::string& from, const std::string& to) {
    bool same = true;
    return platform::SameFile(from.c_str(), to.c_str(), &same) && !same && SameContent(from, to);
}

}  // namespace migrate
