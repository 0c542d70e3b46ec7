// The engine ended dead at many moments of a run, as the updater's Cancel
// ends it: every file must then be its old or its new version, byte for
// byte, and the next run must finish the job.
#include <gtest/gtest.h>

#include <cstdio>

#include "support.h"

namespace {

std::wstring Engine() { return t::EngineDir() + L"\\patch.exe"; }

// Names the engine may leave behind while a run is unsettled.
bool IsWorkName(const std::string& path) {
    return path == "patch.jnl" || path.compare(0, 10, "~patch.bak") == 0 ||
           (path.size() > 7 && path.compare(path.size() - 7, 7, ".~dvnew") == 0);
}

// Every path is as in `from` or as in `to` (absent counts as a state).
std::string OldOrNew(const t::Snapshot& now, const t::Snapshot& from, const t::Snapshot& to) {
    std::string bad;
    auto same = [](const t::Snapshot& s, const std::string& p, const t::Item* item) {
        auto it = s.find(p);
        if (it == s.end()) return item == nullptr;
        return item != nullptr && it->second == *item;
    };
    std::map<std::string, int> all;
    for (const auto& kv : from) all[kv.first];
    for (const auto& kv : to) all[kv.first];
    for (const auto& kv : now)
        if (!IsWorkName(kv.first)) all[kv.first];
    for (const auto& kv : all) {
        auto it = now.find(kv.first);
        const t::Item* item = it == now.end() ? nullptr : &it->second;
        if (!same(from, kv.first, item) && !same(to, kv.first, item)) bad += " " + kv.first;
    }
    return bad;
}

struct Trees {
    t::Snapshot from, to;
};

// Odd mutation seeds also remove the folder "data\\deep".
Trees Sample(uint32_t mutation) {
    Trees s;
    s.from = t::RandomTree(7, 10, 3000);
    s.from["ro.dll"] = {false, "read-only v1", true};
    s.to = t::Mutate(s.from, mutation);
    s.to["ro.dll"] = {false, "read-only v2", true};
    return s;
}

void SetStop(long n) { ::SetEnvironmentVariableW(L"DVPATCH_STOP_AT", n > 0 ? std::to_wstring(n).c_str() : nullptr); }

// Stops a run of the patch from s.from to s.to (changed files as segmented
// deltas, decoded on several threads) dead at each of its points in turn, checks old-or-new, and lets the next run
// finish. Returns the number of points. changesKind: paths that are a file in one tree and a folder in the other;
// between the removal and the creation such a path is absent, which counts as its old state here. userFile: a file of
// the user's put in the tree, in a folder the patch removes: found only when the removal is tried, after the other
// changes were committed, so every run fails late and must end with the folder as it began, the undo finished.
long StopAtEachPoint(const Trees& s, const char* scratch, const std::vector<std::string>& changesKind = {},
                     const std::string& userFile = "") {
    std::wstring base = t::Scratch(scratch), root = base + L"\\tree";
    t::WriteBytes(base + L"\\p.rtp", t::DiffTrees(s.from, s.to, 2));
    const std::wstring args = L"patch -e -noc ..\\p.rtp";
    const DWORD want = userFile.empty() ? 0 : 1;
    long n = 1;
    for (;; n++) {
        t::RemoveTree(root);
        ::CreateDirectoryW(root.c_str(), nullptr);
        t::Materialise(root, s.from);
        if (!userFile.empty()) t::PutFile(root, userFile, "the user's");
        const t::Snapshot before = t::Snap(root), &end = userFile.empty() ? s.to : before;
        SetStop(n);
        DWORD code = t::RunExe(Engine(), args, root);
        SetStop(0);
        if (code != 86) {  // the run got through all its points
            EXPECT_EQ(code, want) << t::LogOf(root);
            EXPECT_TRUE(t::Snap(root) == end);
            break;
        }
        t::Snapshot now = t::Snap(root);
        now.erase(userFile);
        for (const std::string& p : changesKind)
            if (now.count(p) == 0) now[p] = s.from.at(p);
        EXPECT_EQ(OldOrNew(now, s.from, s.to), "") << "stopped at point " << n;
        DWORD again = t::RunExe(Engine(), args, root);
        EXPECT_EQ(again, want) << "after point " << n << "\n" << t::LogOf(root);
        t::Snapshot done = t::Snap(root);
        EXPECT_TRUE(done == end) << "after point " << n << t::DiffText(done, end);
        if (again != want || !(done == end)) break;
    }
    return n - 1;
}

TEST(Kill, StopAtEveryPointOfARun) {
    long points = StopAtEachPoint(Sample(8), "points");
    EXPECT_GT(points, 10);
    std::printf("run stopped dead at each of %ld points, each time recovered\n", points);
}

// Files that become folders and folders that become files: their steps
// come after a removal of the same path, so each keeps a journal record of
// its own, and a stop between the removal and the creation must recover.
TEST(Kill, StopAtEveryPointOfASwap) {
    Trees s;
    s.from = t::RandomTree(5, 6, 2000);
    s.from["x"].bytes = "a file that becomes a folder";
    s.from["d"].folder = true;
    s.from["d\\f"].bytes = "in a folder that becomes a file";
    s.to = s.from;
    s.to.erase("d\\f");
    s.to["x"] = {true};
    s.to["x\\inner"].bytes = "new inside the new folder";
    s.to["d"] = {false, "a folder no more"};
    s.to["added.txt"].bytes = "added beside";
    long points = StopAtEachPoint(s, "swap", {"x", "d"});
    EXPECT_GT(points, 10);
    std::printf("swap run stopped dead at each of %ld points, each time recovered\n", points);
}

// Names at the limit of one name: a work name "NAME.~dvnew" would pass it,
// so such a file is staged as "~dvN.~dvnew". Windows allows 255 UTF-16
// units; the test bed's file system (Linux, under Wine) allows 255 bytes of
// UTF-8, so the Greek and CJK names are at that limit: 127 and 85 units.
TEST(Kill, StopAtEveryPointWithNamesAtTheLimit) {
    auto repeat = [](const std::string& unit, size_t n) {
        std::string out;
        while (n-- > 0) out += unit;
        return out;
    };
    const std::string latin = repeat("l", 251) + ".txt", greek = repeat("\u03b1", 123) + ".txt",
                      cjk = repeat("\u6f22", 84) + "x", added = "d\\" + repeat("\u03c9", 126) + "z";
    Trees s;
    s.from = {{"d", {true}},
              {"d\\" + latin, {false, "latin v1"}},
              {greek, {false, "greek v1", true}},
              {"d\\" + cjk, {false, "cjk v1"}},
              {"keep.txt", {false, "kept"}}};
    s.to = s.from;
    s.to["d\\" + latin].bytes = "latin v2, longer";
    s.to[greek].bytes = "greek v2";
    s.to["d\\" + cjk].bytes = "cjk v2";
    s.to[added].bytes = "added";
    long points = StopAtEachPoint(s, "limit");
    EXPECT_GT(points, 5);
    std::printf("run on names at the limit stopped dead at each of %ld points, each time recovered\n", points);
}

// A run that fails late undoes its changes; killed during that undo, the
// next run finishes the undo, then fails the same way.
TEST(Kill, StopWhileUndoing) {
    long points = StopAtEachPoint(Sample(9), "undo", {}, "data\\deep\\user.txt");
    EXPECT_GT(points, 10);
    std::printf("failing run stopped dead at each of %ld points, each time undone\n", points);
}

// Real kills at arbitrary moments of a run that takes a while: the 16 MiB
// file is decoded in four segments side by side.
TEST(Kill, TimedKills) {
    Trees s;
    s.from = t::RandomTree(11, 60, 20000);
    std::string big(16 << 20, 'b');
    for (size_t i = 0; i < big.size(); i += 4096) big[i] = char(i >> 12);
    s.from["big.bin"].bytes = big;
    s.to = t::Mutate(s.from, 12);
    big[777] = 'X';
    s.to["big.bin"].bytes = big;
    std::wstring base = t::Scratch("timed"), root = base + L"\\tree";
    t::WriteBytes(base + L"\\p.rtp", t::DiffTrees(s.from, s.to, 4));
    const std::wstring args = L"patch -e -noc ..\\p.rtp";
    int untouched = 0, midway = 0, finished = 0;
    for (DWORD ms : {0u, 200u, 300u, 400u, 500u, 600u, 800u, 1000u, 1300u, 1700u}) {
        t::RemoveTree(root);
        ::CreateDirectoryW(root.c_str(), nullptr);
        t::Materialise(root, s.from);
        t::RunExe(Engine(), args, root, ms);
        t::Snapshot now = t::Snap(root);
        EXPECT_EQ(OldOrNew(now, s.from, s.to), "") << "killed after " << ms << " ms";
        (now == s.from ? untouched : now == s.to ? finished : midway)++;
        ASSERT_EQ(t::RunExe(Engine(), args, root), 0u) << t::LogOf(root);
        EXPECT_TRUE(t::Snap(root) == s.to) << "killed after " << ms << " ms";
    }
    std::printf("timed kills: %d before any change, %d midway, %d after the end\n", untouched, midway, finished);
}

}  // namespace
