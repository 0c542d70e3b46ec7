// The chain analysis: three steps made from a table of versions, against
// trees held in memory; a row per state an install folder can be found in.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <map>

#include "ascii.h"
#include "chain.h"
#include "sha256.h"

using core::chain::Found;
using core::patchfile::Entry;
using core::patchfile::Kind;

namespace {

// A path and its content at 5.0, 5.0.1, 5.0.2, 5.0.3: "" nothing, "/" a
// folder. shared: also in the shared folder, at its 5.0 content.
struct Named {
    const char* path;
    bool shared;
    const char* at[4];
};
// clang-format off
const Named kVersions[] = {
    {"Kestrin.exe",       false, {"exe0", "exe1", "exe2", "exe3"}},
    {"main.ini",          false, {"ini0", "ini1", "ini1", "ini1"}},
    {"core.dll",          false, {"dll0", "dll0", "dll2-new", "dll2-new"}},
    {"gone.txt",          false, {"gone", "", "", ""}},
    {"help",              false, {"/", "/", "/", "/"}},
    {"help\\a.txt",       false, {"hlp0", "hlp0", "hlp0", "hlp3"}},
    {"Labels",            true,  {"/", "/", "/", "/"}},
    {"Labels\\Avery.klb", true,  {"klb0", "klb1", "klb1", "klb1"}},
    {"old",               false, {"/", "/", "", ""}},
    {"old\\x.txt",        false, {"old", "old", "", ""}},
    {"new",               false, {"", "", "", "/"}},
    {"new\\y.txt",        false, {"", "", "", "y3"}},
    {"empty",             false, {"", "", "", "/"}},
    {"docs",              false, {"docs1", "docs1", "/", "/"}},
};
// clang-format on

core::sha256::Digest Sha(const std::string& s) { return core::sha256::Of(s.data(), s.size()); }
bool IsFile(const std::string& s) { return !s.empty() && s != "/"; }

Entry Make(Kind k, const char* path, const std::string& from, const std::string& to) {
    Entry e{};
    e.kind = k;
    e.path = path;
    if (k == Kind::changeFile || k == Kind::removeFile) e.oldSize = from.size();
    if (k == Kind::changeFile || k == Kind::removeFile) memcpy(e.oldSha, Sha(from).bytes, 32);
    if (k == Kind::changeFile || k == Kind::addFile) e.newSize = to.size();
    if (k == Kind::changeFile || k == Kind::addFile) memcpy(e.newSha, Sha(to).bytes, 32);
    return e;
}

// The step from version j to j + 1, laid out as the builder lays it out.
std::vector<Entry> Step(int j) {
    std::vector<Entry> out;
    for (size_t i = std::size(kVersions); i-- > 0;) {
        std::string a = kVersions[i].at[j], b = kVersions[i].at[j + 1];
        if (IsFile(a) && !IsFile(b)) out.push_back(Make(Kind::removeFile, kVersions[i].path, a, b));
        if (a == "/" && b != "/") out.push_back(Make(Kind::removeFolder, kVersions[i].path, a, b));
    }
    for (const Named& r : kVersions) {
        std::string a = r.at[j], b = r.at[j + 1];
        if (b == "/" && a != "/") out.push_back(Make(Kind::makeFolder, r.path, a, b));
        if (IsFile(b) && a != b) out.push_back(Make(IsFile(a) ? Kind::changeFile : Kind::addFile, r.path, a, b));
    }
    return out;
}

// A tree in memory: folded path to content ("/" a folder; a file whose
// content starts with "!" cannot be hashed). Counts what it is asked.
struct Memory : core::chain::TreeView {
    std::map<std::string, std::string> items;
    std::map<std::string, int> looks, hashes;
    void Set(const std::string& path, const std::string& content) {
        if (content.empty())
            items.erase(core::ascii::Folded(path));
        else
            items[core::ascii::Folded(path)] = content;
    }
    Found Look(const std::string& path) override {
        looks[core::ascii::Folded(path)]++;
        auto it = items.find(core::ascii::Folded(path));
        if (it == items.end()) return {Found::absent, 0};
        return it->second == "/" ? Found{Found::folder, 0} : Found{Found::file, it->second.size()};
    }
    bool Hash(const std::string& path, uint8_t sha[32]) override {
        const std::string& content = items.at(core::ascii::Folded(path));
        hashes[core::ascii::Folded(path)]++;
        memcpy(sha, Sha(content).bytes, 32);
        return content[0] != '!';
    }
};

std::string Summary(const core::chain::StepWork& w) {
    std::string s;
    auto list = [&](const std::vector<std::string>& paths, const char* mark, const char* tail) {
        for (const std::string& p : paths) s += mark + p + tail + " ";
    };
    list(w.replace, "~", "");
    list(w.remove, "-", "");
    list(w.removeFolders, "-", "\\");
    list(w.add, "+", "");
    list(w.makeFolders, "+", "\\");
    return s + "=" + std::to_string(w.newBytes) + "/" + std::to_string(w.oldBytes);
}

// "path@step" expected kind and size ">" found kind and size, "#" when the
// hash differs, "^" when found in the overlay.
std::string Summary(const std::vector<core::chain::Mismatch>& ms) {
    std::string s;
    for (const auto& m : ms)
        s += (s.empty() ? "" : " ") + m.path + "@" + std::to_string(m.step) + " " + "adf"[m.expected.kind] +
             std::to_string(m.expected.size) + ">" + "afdu"[m.found.kind] + std::to_string(m.found.size) +
             (m.hashDiffers ? "#" : "") + (m.fromOverlay ? "^" : "");
    return s;
}

struct Row {
    const char* name;
    int at;                                                  // the tree is this version of the table...
    bool bare;                                               // ...without the shared files (5.0 before any run)
    std::vector<std::pair<std::string, std::string>> edits;  // then these; ">path": the shared folder's
    int done;
    bool overlayUsed;
    const char* work;        // work[0]
    const char* mismatches;  // Summary
    const char* broken;      // the start of Analysis::broken; non-empty: patch 3 expects another Kestrin.exe
    const char* unhashed;    // a path the tree is never asked to hash
};

TEST(Chain, Table) {
    const char* step1 = "~Kestrin.exe ~main.ini ~Labels\\Avery.klb -gone.txt =12/16";
    // clang-format off
    const Row rows[] = {
        {"5.0, shared files not copied yet", 0, true, {}, 0, true, step1, "", "", ""},
        {"5.0, shared files copied", 0, false, {}, 0, false, step1, "", "", ""},
        {"5.0.1", 1, false, {}, 1, false, "~Kestrin.exe ~core.dll -docs -old\\x.txt -old\\ +docs\\ =12/16", "", "", ""},
        {"5.0.2", 2, false, {}, 2, false, "~KESTRIN.EXE ~help\\a.txt +new\\y.txt +new\\ +empty\\ =10/8", "", "", ""},
        {"5.0.3", 3, false, {}, 3, false, "", "", "", ""},
        {"step 2 cut short", 1, false, {{"Kestrin.exe", "exe2"}, {"old\\x.txt", ""}, {"docs", "/"}}, 1, false,
         "~core.dll -old\\ =8/4", "", "", ""},
        {"a user's file keeps a removed folder, a made one is gone", 3, false,
         {{"old", "/"}, {"old\\mine.txt", "mine"}, {"empty", ""}}, 3, false, "", "", "", ""},
        {"patch 1's file changed, same size", 0, false, {{"main.ini", "ini9"}}, -1, false, "", "main.ini@0 f4>f4#", "", ""},
        {"patch 2's file changed, no version's size", 0, false, {{"core.dll", "dll-local"}}, -1, false, "",
         "core.dll@1 f4>f9", "", "core.dll"},
        {"patch 3's file changed", 1, false, {{"help\\a.txt", "hlp9"}}, -1, false, "", "help\\a.txt@2 f4>f4#", "", ""},
        {"5.0.2, changed file: the later point of a tie", 2, false, {{"core.dll", "dll9"}}, -1, false, "",
         "core.dll@1 f8>f4", "", ""},
        {"a file missing", 1, false, {{"core.dll", ""}}, -1, false, "", "core.dll@1 f4>a0", "", ""},
        {"folders where files must be", 2, false, {{"help\\a.txt", "/"}, {"new", "/"}, {"new\\y.txt", "/"}}, -1,
         false, "", "help\\a.txt@2 f4>d0 new\\y.txt@2 a0>d0", "", ""},
        {"a file that cannot be read", 3, false, {{"Kestrin.exe", "!xe3"}}, -1, false, "", "Kestrin.exe@2 f4>u4", "", ""},
        {"the shared folder's copy differs", 0, false, {{">Labels\\Avery.klb", "klbX"}}, -1, false, "",
         "Labels\\Avery.klb@0 f4>f4#^", "", ""},
        {"broken chain", 0, false, {}, -1, false, "", "", "Kestrin.exe: patch 3 expects a file of 4 bytes", ""},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<Entry> steps[3] = {Step(0), Step(1), Step(2)};
        for (Entry& e : steps[2]) {
            if (e.path != "Kestrin.exe") continue;
            e.path = "KESTRIN.EXE";  // one path in any letters
            if (*row.broken) memcpy(e.oldSha, Sha("exeX").bytes, 32);
        }
        Memory tree, overlay;
        for (const Named& r : kVersions) {
            if (r.shared) overlay.Set(r.path, r.at[0]);
            if (!(row.bare && r.shared)) tree.Set(r.path, r.at[row.at]);
        }
        for (const auto& [path, content] : row.edits)
            path[0] == '>' ? overlay.Set(path.substr(1), content) : tree.Set(path, content);

        core::chain::Analysis a = core::chain::Analyze({&steps[0], &steps[1], &steps[2]}, tree, &overlay);
        EXPECT_EQ(a.done, row.done);
        EXPECT_EQ(a.overlayUsed, row.overlayUsed);
        EXPECT_EQ(a.work.size(), size_t(a.done < 0 ? 0 : 3 - a.done));
        EXPECT_EQ(a.work.empty() ? "" : Summary(a.work[0]), row.work);
        EXPECT_EQ(Summary(a.mismatches), row.mismatches);
        EXPECT_EQ(a.broken.substr(0, strlen(row.broken)), row.broken);
        EXPECT_EQ(tree.hashes.count(row.unhashed), 0u);
        for (const Memory* view : {&tree, &overlay})
            for (const auto* asked : {&view->looks, &view->hashes})
                for (const auto& [path, times] : *asked) EXPECT_EQ(times, 1) << path;
    }
}

}  // namespace
