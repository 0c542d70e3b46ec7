#include "payload/tempname.h"
#include <windows.h>
#include <cstring>
#include <string>
#include <vector>
#include "common/path.h"
#include "platform/dir.h"
#include "platform/file.h"
#include "platform/security.h"
#include "platform/utf.h"

namespace payload {
using namespace common;

namespace {

// The name must leave room for a 12-character file name after it (8.3).
constexpr size_t kNameRoom = 12;
constexpr size_t kLegacyLimit = 260;
constexpr int kMaxNumber = 32767;

// The value of "TMP", whole; empty when unset.
std::string TmpValue() {
    std::string value;
    platform::EnvironmentValue("TMP", value);
    return value;
}

std::string WithoutQuotes(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != '"') out += c;
    return out;
}

bool EndsInSeparator(const std::string& s) { return !s.empty() && (s.back() == '\\' || s.back() == '/'); }

// The base folder as the rule picks it, at any length.
std::string PickBase(const char* preferred) {
    std::string tmp = TmpValue();
    if (!tmp.empty() && platform::IsFolder(tmp.c_str())) return tmp;
    if (tmp.find('"') != std::string::npos) {
        std::string bare = WithoutQuotes(tmp);
        if (!bare.empty() && platform::IsFolder(bare.c_str())) return bare;
    }
    if (preferred && preferred[0] && platform::IsFolder(preferred)) return preferred;
    if (platform::IsFolder("\\")) return "\\";
    return ".";
}

// Tries base\prefixN; true when this call created it. *taken tells a name
// that exists already, file or folder (try the next number), from a real
// failure such as a base folder we may not write in.
bool TryCreate(const std::string& name, bool* taken) {
    *taken = false;
    if (platform::CreatePrivateFolder(name.c_str())) return true;
    *taken = platform::PathExists(name.c_str());
    return false;
}

// A name <prefix><digits>, without case.
bool IsOurName(const std::string& name, const char* prefix) {
    size_t n = std::strlen(prefix);
    if (name.size() <= n || !PathsEqual(name.substr(0, n), prefix)) return false;
    for (size_t i = n; i < name.size(); ++i)
        if (name[i] < '0' || name[i] > '9') return false;
    return true;
}

// The files of `folder` when it holds only files named in `names`.
bool OnlyNamedFiles(const std::string& folder, const std::vector<std::string>& names, std::vector<std::string>* files) {
    platform::DirWalk walk;
    platform::DirEntry e;
    if (!walk.First(JoinPath(folder, "*").c_str(), &e)) return walk.Ended();
    do {
        if (e.name == "." || e.name == "..") continue;
        bool known = !e.isFolder && !e.isLink;
        bool named = false;
        for (const std::string& n : names) named |= PathsEqual(n, e.name);
        if (!known || !named) return false;
        files->push_back(JoinPath(folder, e.name));
    } while (walk.Next(&e));
    return walk.Ended();
}

}  // namespace

std::vector<std::string> RemoveLeftFolders(const char* preferred, const char* prefix, const std::string& keep,
                                           const std::vector<std::string>& names) {
    std::vector<std::string> removed;
    std::string base = PickBase(preferred);
    platform::DirWalk walk;
    platform::DirEntry e;
    if (!walk.First(JoinPath(base, std::string(prefix) + "*").c_str(), &e)) return removed;
    do {
        std::string folder = JoinPath(base, e.name), full;
        if (!e.isFolder || e.isLink || !IsOurName(e.name, prefix)) continue;
        if (!platform::FullPath(folder.c_str(), full) || PathsEqual(full, keep)) continue;
        std::vector<std::string> files;
        if (!OnlyNamedFiles(folder, names, &files)) continue;
        for (const std::string& f : files) platform::DeleteFileAt(f.c_str());
        if (platform::RemoveFolder(folder.c_str())) removed.push_back(full);
    } while (walk.Next(&e));
    return removed;
}

bool MakeTempFolder(const char* preferred, const char* prefix, std::string& out) {
    out.clear();
    std::string base = PickBase(preferred);
    if (platform::WideLength(base.c_str()) + std::strlen(prefix) + kNameRoom > kLegacyLimit) return false;
    std::string stem = base + (EndsInSeparator(base) ? "" : "\\") + prefix;
    for (int n = 1; n <= kMaxNumber; ++n) {
        std::string name = stem + std::to_string(n);
        bool taken = false;
        if (!TryCreate(name, &taken)) {
            if (taken) continue;
            return false;
        }
        // The payload's files go below this folder: it must hold a "\" and a
        // 12-character name within MAX_PATH, and stay valid when the current
        // directory changes, so keep its absolute form.
        if (platform::FullPath(name.c_str(), out) && platform::WideLength(out.c_str()) + 1 + kNameRoom < kLegacyLimit)
            return true;
        platform::RemoveFolder(name.c_str());
        out.clear();
        return false;
    }
    return false;
}

}  // namespace payload
