// Applying patches for real under Wine: generated trees reproduced byte for
// byte, a second apply that changes nothing, read-only files, the options,
// and the shell finding its library and the patch beside itself.
#include <gtest/gtest.h>

#include <cstdio>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "sha256.h"
#include "support.h"
#include "winfile.h"

namespace {

// A patch that adds one file of `size` bytes, written in 1 MiB pieces so the
// test itself never holds it whole.
void WriteLargePatch(const std::wstring& path, uint64_t size) {
    std::string piece(1 << 20, '\0');
    auto each = [&](const std::function<bool(const char*, size_t)>& use) {
        for (uint64_t at = 0; at < size; at += piece.size()) {
            for (size_t i = 0; i < piece.size(); i++) piece[i] = char((at + i) * 2654435761u >> 24);
            ASSERT_TRUE(use(piece.data(), size_t(std::min<uint64_t>(piece.size(), size - at))));
        }
    };
    core::sha256::Sha256 sha;
    auto hash = [&](const char* p, size_t n) {
        sha.Update(p, n);
        return true;
    };
    each(hash);
    core::sha256::Digest d = sha.Finish();
    core::patchfile::Entry e{};
    e.kind = core::patchfile::Kind::addFile;
    e.path = "big.bin";
    e.newSize = e.dataLength = size;
    memcpy(e.newSha, d.bytes, 32);
    e.dataOffset = core::patchfile::DataStart({e});
    std::vector<uint8_t> head = core::patchfile::WriteHead({e}, size);
    sha.Update(head.data() + 48, head.size() - 48);
    each(hash);
    d = sha.Finish();
    memcpy(head.data() + 16, d.bytes, 32);
    eng::File out;
    ASSERT_TRUE(out.CreateNew(path) && out.Write(head.data(), head.size()));
    each([&](const char* p, size_t n) { return out.Write(p, n); });
}

SIZE_T PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof(pmc);
    return ::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof(pmc)) ? pmc.PeakWorkingSetSize : 0;
}

// Memory does not grow with the file: a 200 MiB file goes through fixed
// buffers. Measured in this process, whose peak before the run is small:
// this test comes first in the file, before tests that hold large trees.
TEST(Apply, MemoryStaysBoundedForALargeFile) {
    const uint64_t kSize = 200ull << 20;
    std::wstring base = t::Scratch("memory"), root = base + L"\\tree";
    ::CreateDirectoryW(root.c_str(), nullptr);
    WriteLargePatch(base + L"\\p.rtp", kSize);
    SIZE_T before = PeakWorkingSet();
    EXPECT_EQ(t::RunIn(root, {L"-e", L"-noc", base + L"\\p.rtp"}), 0) << t::LogOf(root);
    SIZE_T growth = PeakWorkingSet() - before;
    std::printf("peak working set grew by %.1f MiB while applying a %u MiB file\n", double(growth) / (1 << 20),
                unsigned(kSize >> 20));
    EXPECT_LT(growth, SIZE_T(64u << 20));
    eng::File made;
    uint64_t size = 0;
    ASSERT_TRUE(made.OpenRead(root + L"\\big.bin") && made.Size(&size));
    EXPECT_EQ(size, kSize);
    made.Close();
    t::RemoveTree(base);
}

// Each pair of trees: a check-only run changes nothing, the run makes `to`
// byte for byte, and a second run finds nothing left to do.
TEST(Apply, TreesRoundTripOnceAndOnlyOnce) {
    std::vector<std::pair<t::Snapshot, t::Snapshot>> pairs;
    for (uint32_t seed = 1; seed <= 4; seed++) {
        t::Snapshot from = t::RandomTree(seed, 40, 3000);
        pairs.push_back({from, t::Mutate(from, seed + 100)});
    }
    t::Snapshot from, to;  // empty files and many small ones
    for (int i = 0; i < 300; i++) {
        std::string p = "many\\s" + std::to_string(i);
        from[p].bytes = std::string(size_t(i % 5), char('a' + i % 26));
        to[p].bytes = i % 4 == 0 ? "" : from[p].bytes + "+";
    }
    from["many"].folder = to["many"].folder = true;
    to["empty.new"].bytes = "";
    pairs.push_back({from, to});
    std::string big(24 * 1024 * 1024 + 3, '\0');  // larger than every buffer
    for (size_t i = 0; i < big.size(); i++) big[i] = char(i * 2654435761u >> 13);
    pairs.push_back({{{"big.bin", {false, big}}}, {}});
    big[big.size() / 2] ^= 1;
    pairs.back().second["big.bin"].bytes = big + "end";
    from = {{"ro.dll", {false, "old read-only", true}}, {"gone.dll", {false, "bye", true}}};
    pairs.push_back({from, {{"ro.dll", {false, "new read-only content", true}}}});
    from = {{"x", {false, "a file now"}}, {"y", {true}}, {"y\\in", {false, "inside"}}};
    pairs.push_back(
        {from, {{"x", {true}}, {"x\\child", {false, "under the new folder"}}, {"y", {false, "a file now"}}}});
    // Names that differ only in case, in any letters, are one name on Windows:
    // an unchanged file keeps its old name, nothing is deleted with it.
    from = {
        {"Über.txt", {false, "same"}}, {"Ärger", {true}}, {"Ärger\\a", {false, "a"}}, {"Éclair.txt", {false, "v1"}}};
    to = {{"über.txt", {false, "same"}}, {"ärger", {true}}, {"ärger\\a", {false, "a"}}, {"éclair.txt", {false, "v2"}}};
    pairs.push_back({from, to});
    t::Snapshot kept = from;  // old names, but a changed file is made anew under its new one
    kept.erase("Éclair.txt");
    kept["éclair.txt"] = to["éclair.txt"];
    std::map<size_t, t::Snapshot> onDisk = {{pairs.size() - 1, kept}};
    for (size_t i = 0; i < pairs.size(); i++) {
        const t::Snapshot& want = onDisk.count(i) ? onDisk[i] : pairs[i].second;
        std::wstring base = t::Scratch("pair" + std::to_string(i)), root = base + L"\\tree", patch = base + L"\\p.rtp";
        ::CreateDirectoryW(root.c_str(), nullptr);
        t::Materialise(root, pairs[i].first);
        t::WriteBytes(patch, t::DiffTrees(pairs[i].first, pairs[i].second));
        EXPECT_EQ(t::RunIn(root, {L"-e", L"-t", L"-noc", patch}), 0) << i << t::LogOf(root);
        EXPECT_TRUE(t::Snap(root) == pairs[i].first) << i;
        EXPECT_EQ(t::RunIn(root, {L"-e", L"-v", L"-noc", patch}), 0) << i << t::LogOf(root);
        EXPECT_EQ(t::LogOf(root).find("wpt"), std::string::npos) << t::LogOf(root);
        t::Snapshot got = t::Snap(root);
        EXPECT_TRUE(got == want) << i << t::DiffText(got, want);
        EXPECT_EQ(t::RunIn(root, {L"-e", L"-noc", patch}), 0) << i;
        EXPECT_NE(t::LogOf(root).find("0 entries to apply"), std::string::npos) << i << t::LogOf(root);
        EXPECT_TRUE(t::Snap(root) == want) << i;
    }
}

// A folder the patch removes may hold files the user put there. With -i it
// stays (the rest of the update goes on); without, the run is undone.
TEST(Apply, FolderWithUnknownFiles) {
    t::Snapshot from = {{"plugins", {true}}, {"plugins\\old.dll", {false, "old plugin"}}, {"main.exe", {false, "v1"}}};
    t::Snapshot before = from, kept = {{"main.exe", {false, "v2"}}, {"plugins", {true}}};
    before["plugins\\mine.txt"] = kept["plugins\\mine.txt"] = {false, "the user's own"};
    for (bool keep : {true, false}) {
        std::wstring base = t::Scratch(keep ? "extras-i" : "extras"), root = base + L"\\tree";
        ::CreateDirectoryW(root.c_str(), nullptr);
        t::Materialise(root, before);
        t::WriteBytes(base + L"\\p.rtp", t::DiffTrees(from, {{"main.exe", {false, "v2"}}}));
        std::vector<std::wstring> args = {L"-e", L"-noc", base + L"\\p.rtp"};
        if (keep) args.insert(args.begin(), L"-i");
        EXPECT_EQ(t::RunIn(root, args), keep ? 0 : 1) << t::LogOf(root);
        t::Snapshot got = t::Snap(root);
        EXPECT_TRUE(got == (keep ? kept : before)) << keep << t::DiffText(got, keep ? kept : before);
        if (!keep) {
            EXPECT_NE(t::LogOf(root).find("wpt0034"), std::string::npos) << t::LogOf(root);
        }
    }
}

// The updater's way: a bare patch name, the patch beside the engine, the
// install folder as working folder.
TEST(Shell, RunsAsTheUpdaterCallsIt) {
    std::wstring base = t::Scratch("shell");
    // The updater does not quote the engine's path, and a temp folder may
    // hold spaces. The folders, the patch's name and a file in it hold
    // characters no ANSI code page has together (Cyrillic, Japanese, a
    // snowman): UTF-8 inside, W functions at the system.
    std::wstring engine = base + L"\\temp dir \u2603\u043f\u0430\u043a\u0435\u0442",
                 root = base + L"\\install \u30c7\u30fc\u30bf", patch = L"UpdV1-V2-\u043e\u0431\u043d.RTP";
    ::CreateDirectoryW(engine.c_str(), nullptr);
    ::CreateDirectoryW(root.c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW((t::EngineDir() + L"\\patch.exe").c_str(), (engine + L"\\patch.exe").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW((t::EngineDir() + L"\\patchw32.dll").c_str(), (engine + L"\\patchw32.dll").c_str(), FALSE));
    t::Snapshot from = t::RandomTree(21, 8, 400), to = t::Mutate(from, 22);
    to[u8"\u0444\u0430\u0439\u043b \u65e5\u672c.txt"].bytes = "new";
    t::Materialise(root, from);
    t::WriteBytes(engine + L"\\" + patch, t::DiffTrees(from, to));
    std::wstring line = engine + L"\\patch.exe -e -i -v -noc " + patch;
    EXPECT_EQ(t::RunExe(engine + L"\\patch.exe", line, root), 0u) << t::LogOf(root);
    EXPECT_TRUE(t::Snap(root) == to);
    EXPECT_EQ(t::LogOf(root).find("wpt"), std::string::npos);

    EXPECT_EQ(t::RunExe(engine + L"\\patch.exe", L"patch -e -q -noc " + patch, root), 2u);
    std::string log = t::LogOf(root);
    EXPECT_NE(log.find("wpt0001 unknown option: -q"), std::string::npos) << log;
    EXPECT_NE(log.find("wpt0036"), std::string::npos) << log;

    // Without its library the shell still leaves a log that says so, and it
    // does not take a library of that name from the working folder.
    ASSERT_TRUE(::CopyFileW((engine + L"\\patchw32.dll").c_str(), (root + L"\\patchw32.dll").c_str(), FALSE));
    ASSERT_TRUE(::DeleteFileW((engine + L"\\patchw32.dll").c_str()));
    EXPECT_EQ(t::RunExe(engine + L"\\patch.exe", L"patch -e -noc " + patch, root), 4u);
    log = t::LogOf(root);
    EXPECT_NE(log.find("wpt0010"), std::string::npos) << log;
    EXPECT_NE(log.find("wpt0036"), std::string::npos) << log;
}

}  // namespace
