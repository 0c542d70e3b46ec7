#include <gtest/gtest.h>
#include <sstream>
#include "container.h"
#include "packer.h"

namespace {

std::string Le32(int32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xff);
    return s;
}

pack::Walk WalkBytes(const std::string& bytes) {
    std::istringstream in(bytes);
    return pack::WalkContainer(in);
}

const std::vector<pack::Entry> kFive = {
    {"PDLL", std::string(300, '\x90')}, {"RTP3", "K*\x9a\x01patch3"}, {"RTP2", "K*\x9a\x01patch2"},
    {"RTP1", "K*\x9a\x01patch1"}, {"PEXE", std::string(200, '\xcc')},
};

std::string Built(const std::string& image, bool* padded = nullptr) {
    std::string out, error;
    bool pad = false;
    EXPECT_TRUE(pack::BuildContainer(image, kFive, &out, &pad, &error)) << error;
    if (padded) *padded = pad;
    return out;
}

}  // namespace

TEST(Pack, RoundTripFindsEveryBlockInFileOrder) {
    std::string image = "MZ" + std::string(62, '\0');
    bool padded = true;
    std::string file = Built(image, &padded);
    EXPECT_FALSE(padded) << "an image ending on zeros needs no padding";
    pack::Walk w = WalkBytes(file);
    EXPECT_EQ(w.end, pack::WalkEnd::NotATrailer);
    EXPECT_EQ(w.endOffset, static_cast<int64_t>(image.size()));
    ASSERT_EQ(w.blocks.size(), 5u);
    int64_t offset = static_cast<int64_t>(image.size());
    for (size_t i = 0; i < 5; ++i) {
        const pack::BlockInfo& b = w.blocks[4 - i];  // the walk lists the end first
        EXPECT_EQ(b.tag, kFive[i].tag);
        EXPECT_EQ(b.offset, offset);
        EXPECT_EQ(b.payloadLength, static_cast<int64_t>(kFive[i].payload.size()));
        EXPECT_EQ(file.substr(b.offset + 4, b.payloadLength), kFive[i].payload);
        offset += b.payloadLength + 12;
    }
    EXPECT_EQ(offset, static_cast<int64_t>(file.size()));
}

TEST(Pack, ImageEndingLikeATrailerIsPadded) {
    // An image whose last 8 bytes read as tag "ABCD" and a length of 16.
    std::string image = std::string(40, 'x') + "ABCD" + Le32(16);
    ASSERT_TRUE(pack::EndsOnValidTrailer(image));
    bool padded = false;
    std::string file = Built(image, &padded);
    EXPECT_TRUE(padded);
    pack::Walk w = WalkBytes(file);
    EXPECT_EQ(w.blocks.size(), 5u);
    EXPECT_EQ(w.endOffset, static_cast<int64_t>(image.size() + 8));
    EXPECT_EQ(file.substr(image.size(), 8), std::string(8, '\0'));
}

TEST(Pack, TrailerRuleOnImageEnds) {
    struct { std::string tail; bool valid; } rows[] = {
        {"ABCD" + Le32(12), true}, {"ABCD" + Le32(11), false}, {"ABCD" + Le32(9), false},
        {"ABCD" + Le32(8), false}, {"ABCD" + Le32(0), false}, {"ABCD" + Le32(-12), false},
        {"ABCD" + Le32(1000), false},  // reaches before the file
        {std::string("AB\0\0", 4) + Le32(12), true}, {std::string("\0BCD", 4) + Le32(12), false},
        {"AB-D" + Le32(12), false},
    };
    for (auto& r : rows) EXPECT_EQ(pack::EndsOnValidTrailer(std::string(20, 'x') + r.tail), r.valid);
    EXPECT_FALSE(pack::EndsOnValidTrailer("1234567"));
}

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
}

TEST(Pack, DamagedContainers) {
    std::string good = Built(std::string(16, '\0'));
    // Head tag of the last block changed: damaged, nothing found.
    std::string head = good;
    head[good.size() - (4 + 200 + 4 + 4)] = 'X';
    pack::Walk w = WalkBytes(head);
    EXPECT_EQ(w.end, pack::WalkEnd::TagMismatch);
    EXPECT_TRUE(w.blocks.empty());
    // Last length field made too large: the walk ends at once.
    std::string length = good;
    length.replace(length.size() - 4, 4, Le32(0x7fffffff));
    w = WalkBytes(length);
    EXPECT_EQ(w.end, pack::WalkEnd::NotATrailer);
    EXPECT_TRUE(w.blocks.empty());
    // Every truncation shorter than the whole walks only whole-block prefixes.
    for (size_t cut = 0; cut < good.size(); ++cut) {
        w = WalkBytes(good.substr(0, cut));
        for (const pack::BlockInfo& b : w.blocks) {
            ASSERT_GE(b.offset, 0);
            ASSERT_LE(b.offset + b.payloadLength + 12, static_cast<int64_t>(cut));
        }
    }
    EXPECT_EQ(WalkBytes("short").end, pack::WalkEnd::TooShort);
}

TEST(Pack, RepeatedTagNearestTheEndIsFound) {
    std::string out, error;
    bool padded;
    ASSERT_TRUE(pack::BuildContainer(std::string(8, '\0'), {{"RTP1", "old"}, {"RTP1", "newer"}}, &out, &padded, &error));
    pack::Walk w = WalkBytes(out);
    const pack::BlockInfo* b = pack::FindBlock(w, "RTP1");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->payloadLength, 5);
    EXPECT_EQ(pack::FindBlock(w, "PEXE"), nullptr);
}
