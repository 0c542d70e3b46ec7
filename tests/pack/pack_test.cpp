// The container walk shared by the updater and pack (engine/core/container_walk.h),
// driven through pack's in-memory walk, and pack's own building and aligning.
#include <gtest/gtest.h>
#include <climits>
#include <functional>
#include "container.h"
#include "packer.h"

namespace {

std::string Le32(int32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xff);
    return s;
}
void Put(std::string& s, size_t at, const std::string& bytes) { s.replace(at, bytes.size(), bytes); }

// Payloads hold no letters (0x80 and up), so no part of one passes for a trailer.
const std::vector<pack::Entry> kFive = {
    {"PDLL", std::string(300, '\x90')}, {"RTP3", std::string(10, '\xa3')},
    {"RTP2", std::string(10, '\xa2')},  {"RTP1", ""},
    {"PEXE", std::string(200, '\xcc')},
};

std::string Built(const std::string& image, bool* padded = nullptr) {
    std::string out, error;
    bool pad = false;
    EXPECT_TRUE(pack::BuildContainer(image, kFive, &out, &pad, &error)) << error;
    if (padded) *padded = pad;
    return out;
}

// A 512-byte PE image stand-in: "MZ", e_lfanew 64, "PE\0\0", an optional
// header of the given magic with 16 directory entries, zeros elsewhere.
constexpr size_t kOptional = 64 + 24;
std::string PeImage(uint16_t magic = 0x10b) {
    std::string s(512, '\0');
    Put(s, 0, "MZ");
    Put(s, 0x3c, Le32(64));
    Put(s, 64, std::string("PE\0\0", 4));
    Put(s, 64 + 20, Le32(magic == 0x10b ? 224 : 240).substr(0, 2));
    Put(s, kOptional, Le32(magic).substr(0, 2));
    Put(s, kOptional + (magic == 0x10b ? 92 : 108), Le32(16));
    return s;
}
size_t EntryAt(const std::string& file) {
    return kOptional + (file[kOptional] == 0x0b && file[kOptional + 1] == 1 ? 96 : 112) + 32;
}

// As a signer does: zero bytes up to a multiple of 8, then a certificate
// table named by directory entry 4.
std::string Signed(std::string file) {
    file.resize((file.size() + 7) / 8 * 8, '\0');
    std::string table = Le32(24) + std::string("\x00\x02\x02\x00", 4) + std::string(16, 'x');
    Put(file, EntryAt(file), Le32(static_cast<int32_t>(file.size())) + Le32(24));
    return file + table;
}

}  // namespace

TEST(Pack, RoundTripFindsEveryBlockInFileOrder) {
    std::string image = "MZ" + std::string(62, '\0');
    bool padded = true;
    std::string file = Built(image, &padded);
    EXPECT_FALSE(padded) << "an image ending on zeros needs no padding";
    pack::Walk w = pack::WalkContainer(file);
    EXPECT_EQ(w.end, pack::WalkEnd::notATrailer);
    EXPECT_EQ(w.endOffset, static_cast<int64_t>(image.size()));
    EXPECT_EQ(w.table, -1);
    ASSERT_EQ(w.blocks.size(), 5u);
    int64_t offset = static_cast<int64_t>(image.size());
    for (size_t i = 0; i < 5; ++i) {
        const core::container::Block& b = w.blocks[4 - i];  // the walk lists the end first
        EXPECT_EQ(b.tag, kFive[i].tag);
        EXPECT_EQ(b.offset, offset);
        EXPECT_EQ(file.substr(b.offset + 4, b.payload), kFive[i].payload);
        offset += b.payload + 12;
    }
    EXPECT_EQ(offset, static_cast<int64_t>(file.size()));
}

TEST(Pack, ImageEndingLikeATrailerIsPadded) {
    // An image whose last 8 bytes read as tag "ABCD" and a length of 16.
    std::string image = std::string(40, 'x') + "ABCD" + Le32(16);
    bool padded = false;
    std::string file = Built(image, &padded);
    EXPECT_TRUE(padded);
    pack::Walk w = pack::WalkContainer(file);
    EXPECT_EQ(w.blocks.size(), 5u);
    EXPECT_EQ(w.endOffset, static_cast<int64_t>(image.size() + 8));
    EXPECT_EQ(file.substr(image.size(), 8), std::string(8, '\0'));
}

TEST(Pack, TrailerRule) {
    // clang-format off
    struct { std::string tail; bool valid; } rows[] = {
        {"ABCD" + Le32(12), true}, {"ABCD" + Le32(11), false}, {"ABCD" + Le32(8), false},
        {"ABCD" + Le32(0), false}, {"ABCD" + Le32(-12), false}, {"ABCD" + Le32(INT_MIN), false},
        {"ABCD" + Le32(INT_MAX), false}, {"ABCD" + Le32(28), true},  // reaches back to offset 0
        {"ABCD" + Le32(29), false}, {std::string("AB\0\0", 4) + Le32(12), true},
        {std::string("\0BCD", 4) + Le32(12), false}, {"09az" + Le32(12), true}, {"Z[AB" + Le32(12), false},
        {"@AAA" + Le32(12), false}, {"z{AA" + Le32(12), false}, {"/0AA" + Le32(12), false},
        {"9:AA" + Le32(12), false}, {"\x80" "ABC" + Le32(12), false}, {"AB C" + Le32(12), false},
    };
    for (auto& r : rows) EXPECT_EQ(pack::EndsOnValidTrailer(std::string(20, 'x') + r.tail), r.valid) << r.tail;
    EXPECT_FALSE(pack::EndsOnValidTrailer("1234567"));
}
// clang-format on

TEST(Pack, RejectsBadTagsAndEntries) {
    std::string tag, file, error;
    EXPECT_TRUE(pack::ParseEntry("PEXE=build/patch.exe", &tag, &file, &error));
    EXPECT_EQ(tag, "PEXE");
    EXPECT_EQ(file, "build/patch.exe");
    EXPECT_TRUE(pack::ParseEntry("AB=x=y", &tag, &file, &error));
    EXPECT_EQ(file, "x=y");
    for (const char* bad : {"PEXE", "PEXE=", "=file", "PEXEX=f", "PE-X=f", "PE X=f"})
        EXPECT_FALSE(pack::ParseEntry(bad, &tag, &file, &error)) << bad;
    std::string out;
    bool padded;
    EXPECT_FALSE(pack::BuildContainer("img", {{"", "x"}}, &out, &padded, &error));
    // An unsigned image with a stale security entry (519, 16 in a 512-byte
    // image) that the packed file's end would match: refused, not written
    // as a payload the updater cannot find.
    for (int32_t at : {519, 512, 400}) {
        std::string image = PeImage();
        int32_t end = static_cast<int32_t>(image.size()), size = end + 12 + 16 - at;
        Put(image, EntryAt(image), Le32(at) + Le32(size));
        bool built = pack::BuildContainer(image, {{"PEXE", std::string(16, '\xcc')}}, &out, &padded, &error);
        if (built) {
            EXPECT_TRUE(pack::FindBlock(pack::WalkContainer(out), "PEXE")) << at;
        } else {
            EXPECT_NE(error.find("does not find block PEXE"), std::string::npos) << error;
        }
    }
}

TEST(Pack, DamagedContainers) {
    std::string image(16, '\0'), good = Built(image);
    // Head tag of the last block changed: damaged, nothing found.
    std::string head = good;
    head[good.size() - (4 + 200 + 4 + 4)] = 'X';
    pack::Walk w = pack::WalkContainer(head);
    EXPECT_EQ(w.end, pack::WalkEnd::tagMismatch);
    EXPECT_TRUE(w.blocks.empty());
    // A head differing only after a zero byte is damaged too.
    std::string two = std::string("AB\0\0", 4), twoX = std::string("AB\0X", 4);
    EXPECT_EQ(pack::WalkContainer(image + twoX + "p" + two + Le32(13)).end, pack::WalkEnd::tagMismatch);
    // Cut anywhere: exactly the blocks up to a block boundary at or before the cut are found.
    std::vector<size_t> ends = {image.size()};
    for (const pack::Entry& e : kFive) ends.push_back(ends.back() + e.payload.size() + 12);
    for (size_t cut = 0; cut <= good.size(); ++cut) {
        size_t whole = 0;
        for (size_t k = 1; k < ends.size(); ++k)
            if (cut == ends[k]) whole = k;
        ASSERT_EQ(pack::WalkContainer(good.substr(0, cut)).blocks.size(), whole) << "cut " << cut;
    }
    EXPECT_EQ(pack::WalkContainer("short").end, pack::WalkEnd::tooShort);
}

TEST(Pack, RepeatedTagNearestTheEndIsFound) {
    std::string out, error;
    bool padded;
    ASSERT_TRUE(
        pack::BuildContainer(std::string(8, '\0'), {{"RTP1", "old"}, {"RTP1", "newer"}}, &out, &padded, &error));
    pack::Walk w = pack::WalkContainer(out);
    const core::container::Block* b = pack::FindBlock(w, "RTP1");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->payload, 5);
    EXPECT_EQ(pack::FindBlock(w, "PEXE"), nullptr);
    EXPECT_EQ(pack::FindBlock(w, "RTP1X"), nullptr);
}

TEST(Pack, SignedFilesWalkFromTheCertificateTable) {
    // 512 + 590 bytes: a signer puts 2 zero bytes before the table.
    const std::string packed = Built(PeImage());
    const std::string sig = Signed(packed);
    auto with = [&](size_t at, const std::string& bytes) {
        std::string s = sig;
        Put(s, at, bytes);
        return s;
    };
    const size_t entry = EntryAt(sig);
    // clang-format off
    struct { const char* what; std::string file; bool table; size_t blocks; } rows[] = {
        {"signed, 2 bytes of alignment", sig, true, 5},
        {"PE32+", Signed(Built(PeImage(0x20b))), true, 5},
        {"alignment bytes not zero", with(packed.size(), "\x01\x01"), true, 0},
        {"unsigned", packed, false, 5},
        {"no entry", with(entry, std::string(8, '\0')), false, 0},
        {"table past the file's end", with(entry + 4, Le32(25)), false, 0},
        {"table ending before the file's end", with(entry + 4, Le32(23)), false, 0},
        {"table offset outside the file", with(entry, Le32(-16)), false, 0},
        {"table shorter than a certificate header", with(entry, Le32(sig.size() - 4) + Le32(4)), false, 0},
        {"e_lfanew outside the file", with(0x3c, Le32(-1)), false, 0},
        {"no PE signature", with(64, "PX"), false, 0},
        {"unknown magic", with(kOptional, "\x07\x01"), false, 0},
        {"optional header too short for entry 4", with(64 + 20, std::string("\x87\0", 2)), false, 0},
        {"four directories", with(kOptional + 92, Le32(4)), false, 0},
        {"cut inside the optional header", sig.substr(0, entry + 4), false, 0},
        {"cut inside the DOS header", sig.substr(0, 60), false, 0},
    };
    // clang-format on
    for (auto& r : rows) {
        pack::Walk w = pack::WalkContainer(r.file);
        EXPECT_EQ(w.table >= 0, r.table) << r.what;
        EXPECT_EQ(w.blocks.size(), r.blocks) << r.what;
        EXPECT_EQ(w.endOffset, r.blocks ? 512 : w.endOffset) << r.what;
    }
}

TEST(Pack, AlignedForSigningTheTableFollowsTheLastBlock) {
    std::string aligned, error;
    ASSERT_TRUE(pack::AlignForSigning(Built(PeImage()), &aligned, &error)) << error;
    EXPECT_EQ(aligned.size() % 8, 0u);
    std::string sig = Signed(aligned);
    EXPECT_EQ(sig.substr(aligned.size(), 4), Le32(24)) << "no alignment bytes of the signer's";
    pack::Walk w = pack::WalkContainer(sig);
    EXPECT_EQ(w.table, static_cast<int64_t>(aligned.size()));
    EXPECT_EQ(w.blocks.size(), 5u);
    EXPECT_EQ(w.blocks.back().offset, pack::WalkContainer(aligned).blocks.back().offset);
    EXPECT_FALSE(pack::AlignForSigning(sig, &aligned, &error)) << "signed already";
    EXPECT_FALSE(pack::AlignForSigning(PeImage(), &aligned, &error)) << "no blocks";
}
