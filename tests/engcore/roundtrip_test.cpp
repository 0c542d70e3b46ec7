// Whole trees: build a patch from old to new, apply it to a copy of old,
// and the copy must equal new.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "applier.h"
#include "builder.h"
#include "patchfile.h"
#include "trees.h"

using namespace enginetest;

namespace {

struct Built {
    std::string patch;
    patchbuild::BuildStats stats;
};

Built BuildAndApply(const fs::path& base, uint64_t window = 256ull << 20) {
    Built b;
    b.patch = (base / "p.rtp").string();
    patchbuild::BuildOptions options;
    options.window = window;
    std::string error;
    EXPECT_TRUE(
        patchbuild::BuildPatch((base / "old").string(), (base / "new").string(), b.patch, options, &b.stats, &error))
        << error;
    fs::remove_all(base / "work");
    fs::copy(base / "old", base / "work", fs::copy_options::recursive);
    EXPECT_TRUE(patchbuild::ApplyPatch((base / "work").string(), b.patch, &error)) << error;
    ExpectSameTree(base / "work", base / "new");
    return b;
}

void RandomTree(std::mt19937& rng, const fs::path& root, int files) {
    fs::create_directories(root);
    for (int i = 0; i < files; i++) {
        std::string dir = rng() % 3 ? "" : "d" + std::to_string(rng() % 4) + "/";
        if (!dir.empty() && rng() % 2) dir += "sub" + std::to_string(rng() % 3) + "/";
        WriteAll(root / (dir + "f" + std::to_string(i) + ".bin"), Content(rng, rng() % 8 ? rng() % 20000 : 0));
    }
}

// Changes, additions, removals, new and removed folders, empty files, and
// a file and a folder that swap kinds.
void Mutate(std::mt19937& rng, const fs::path& root) {
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files.push_back(e.path());
    for (const fs::path& f : files) {
        switch (rng() % 6) {
        case 0: fs::remove(f); break;
        case 1:
        case 2: WriteAll(f, Edit(rng, ReadAll(f))); break;
        case 3: WriteAll(f, ""); break;
        default: break;
        }
    }
    WriteAll(root / "added/deep/er/new.txt", Content(rng, 5000));
    WriteAll(root / "added/empty", "");
    fs::create_directories(root / "emptyfolder/inner");
    fs::remove_all(root / "d1");
}

TEST(RoundTrip, GeneratedTrees) {
    for (uint32_t seed = 1; seed <= 12; seed++) {
        fs::path base = Scratch("gen" + std::to_string(seed));
        std::mt19937 rng(seed);
        RandomTree(rng, base / "old", 30);
        fs::copy(base / "old", base / "new", fs::copy_options::recursive);
        Mutate(rng, base / "new");
        if (seed % 3 == 0) {  // kinds swap
            fs::remove_all(base / "new/d0");
            WriteAll(base / "new/d0", "now a file");
            fs::remove(base / "new/f0.bin");
            WriteAll(base / "new/f0.bin/inside", "now a folder");
        }
        Built b = BuildAndApply(base);
        EXPECT_GT(b.stats.changed + b.stats.added, 0u) << seed;
    }
}

// Empty to empty, everything added, identical trees, everything removed;
// identical trees make a patch of the header alone.
TEST(RoundTrip, EmptyAndIdenticalTrees) {
    fs::path base = Scratch("empty");
    fs::create_directories(base / "old");
    fs::create_directories(base / "new");
    EXPECT_EQ(BuildAndApply(base).stats.fileBytes, core::patchfile::kHeaderSize);
    std::mt19937 rng(3);
    RandomTree(rng, base / "new", 10);
    EXPECT_EQ(BuildAndApply(base).stats.removedFiles, 0u);
    fs::copy(base / "new", base / "old", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    EXPECT_EQ(BuildAndApply(base).stats.fileBytes, core::patchfile::kHeaderSize);
    fs::remove_all(base / "new");
    fs::create_directories(base / "new");
    EXPECT_EQ(BuildAndApply(base).stats.added, 0u);
}

// A file far above the window: diffed window by window, whether the new file
// is longer than the old (windows with no old counterpart) or shorter.
TEST(RoundTrip, FilesAboveTheWindow) {
    fs::path base = Scratch("large");
    std::mt19937 rng(6);
    std::string big = Content(rng, 1 << 20);
    WriteAll(base / "old/big.bin", big);
    WriteAll(base / "old/shrinks.bin", big);
    std::string grown = Edit(rng, big) + Content(rng, 300000);
    WriteAll(base / "new/big.bin", grown);
    WriteAll(base / "new/shrinks.bin", big.substr(1000, 400000));
    WriteAll(base / "new/added.bin", grown.substr(0, 200000));
    Built b = BuildAndApply(base, 64 * 1024);
    EXPECT_EQ(b.stats.deltas, 3u);
    // The windows still find the old bytes: far smaller than the new files.
    EXPECT_LT(b.stats.fileBytes, grown.size() / 2);
}

// Trees the builder refuses: two names that differ only in letter case, a
// device name.
TEST(RoundTrip, RefusesTreesItCannotCarry) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
        {{"new/Readme", "new/README"}, "letter case"}, {{"new/con.txt"}, ""}};
    for (const auto& [files, message] : rows) {
        fs::path base = Scratch("refused");
        fs::create_directories(base / "old");
        for (const std::string& f : files) WriteAll(base / f, "x");
        patchbuild::BuildStats stats;
        std::string error;
        EXPECT_FALSE(patchbuild::BuildPatch((base / "old").string(), (base / "new").string(), (base / "p").string(), {},
                                            &stats, &error))
            << files[0];
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
}

void Rehash(std::string* f) {
    uint8_t digest[32];
    unsigned len = 0;
    EVP_Digest(f->data() + 48, f->size() - 48, digest, &len, EVP_sha256(), nullptr);
    f->replace(16, 32, reinterpret_cast<char*>(digest), 32);
}

// The applier checks the whole file's hash before it touches anything; and
// crafted files that carry a correct hash: the table and the delta streams
// must stand on their own checks, and nothing may land outside the folder.
TEST(RoundTrip, DamagedAndCraftedPatches) {
    fs::path base = Scratch("damaged");
    std::mt19937 rng(8);
    RandomTree(rng, base / "old", 4);
    fs::copy(base / "old", base / "new", fs::copy_options::recursive);
    Mutate(rng, base / "new");
    const std::string good = ReadAll(BuildAndApply(base).patch), bad = (base / "bad.rtp").string();
    const auto before = Snapshot(base / "old");
    std::string error;
    auto refused = [&](const std::string& patch) {
        WriteAll(bad, patch);
        fs::remove_all(base / "box");
        fs::create_directories(base / "box");
        fs::copy(base / "old", base / "box/work", fs::copy_options::recursive);
        bool ok = patchbuild::ApplyPatch((base / "box/work").string(), bad, &error);
        for (const auto& e : fs::directory_iterator(base / "box")) EXPECT_EQ(e.path().filename(), "work");
        return !ok;
    };
    for (size_t i = 0; i < good.size(); i += (i < 64 ? 1 : 7)) {
        std::string flipped = good;
        flipped[i] = char(flipped[i] ^ 0x20);
        EXPECT_TRUE(refused(flipped)) << i;
        EXPECT_TRUE(Snapshot(base / "box/work") == before) << i;
    }
    for (size_t n = 0; n < good.size(); n += 13) EXPECT_TRUE(refused(good.substr(0, n))) << n;
    int crafted = 0, rounds = 300;
    for (int round = 0; round < rounds; round++) {
        std::string f = good;
        for (int k = 1 + int(rng() % 3); k > 0; k--) f[48 + rng() % (f.size() - 48)] = char(rng());
        Rehash(&f);
        crafted += refused(f);
    }
    EXPECT_GT(crafted, rounds * 8 / 10);
}

}  // namespace
