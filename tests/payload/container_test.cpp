#include <gtest/gtest.h>
#include <climits>
#include <cstring>
#include <random>
#include "payload/container.h"
#include "platform/file.h"
#include "scratch.h"

namespace {

struct Walk {
    std::string tag;  // returned tag
    int64_t start, end, size;
};

Walk WalkFile(const std::string& path, const char* wanted) {
    platform::Handle h;
    EXPECT_TRUE(platform::OpenRead(path.c_str(), h)) << path;
    char tag[kTagText] = {};
    std::strncpy(tag, wanted, kTagBytes);
    Walk w{};
    FindPayloadBlock(h.Get(), tag, &w.start, &w.end, &w.size);
    w.tag = tag;
    return w;
}

class Container : public ::testing::Test {
protected:
    void SetUp() override { dir_ = FreshFolder("scratch-container"); }
    void TearDown() override { RemoveTree(dir_); }
    std::string Put(const std::string& bytes, const char* name = "carrier.exe") {
        std::string p = dir_ + "\\" + name;
        WriteBytes(p, bytes);
        return p;
    }
    // Extracts into a fresh name and returns the code; *out gets the bytes.
    int Extract(const std::string& carrier, const char* tag, std::string* out = nullptr) {
        std::string o = dir_ + "\\out" + std::to_string(++outs_);
        int code = ExtractPayloadBlock(carrier.c_str(), tag, o.c_str());
        if (out) *out = ReadBytes(o);
        if (code != 0) {
            EXPECT_FALSE(Exists(o)) << "a failed extraction leaves no output";
        }
        return code;
    }
    std::string dir_;
    int outs_ = 0;
};

}  // namespace

TEST(IsAllAlphanumeric, LettersAndDigitsOnly) {
    struct { const char* text; bool ok; } rows[] = {
        {"", false}, {"PEXE", true}, {"rtp3", true}, {"A", true}, {"09", true}, {"AB-C", false},
        {"AB C", false}, {"\x80" "ABC", false}, {"Z[", false}, {"@A", false}, {"z{", false}, {"/0", false},
        {"9:", false},
    };
    for (auto& r : rows) EXPECT_EQ(IsAllAlphanumeric(r.text), r.ok) << r.text;
}

TEST_F(Container, FindsEveryBlockOfAGoodContainer) {
    const char* tags[] = {"PDLL", "RTP3", "RTP2", "RTP1", "PEXE"};
    std::string file = Image();
    std::vector<int64_t> starts;
    for (int i = 0; i < 5; ++i) {
        starts.push_back(static_cast<int64_t>(file.size()));
        file += Block(tags[i], Filler(1000 * i + 3, static_cast<unsigned char>(i)));
    }
    std::string carrier = Put(file);
    for (int i = 0; i < 5; ++i) {
        Walk w = WalkFile(carrier, tags[i]);
        EXPECT_EQ(w.tag, tags[i]);
        EXPECT_EQ(w.size, static_cast<int64_t>(file.size()));
        EXPECT_EQ(w.start, starts[i]);
        EXPECT_EQ(w.end - w.start, static_cast<int64_t>(1000 * i + 3 + 12)) << "the block's own length";
        std::string got;
        EXPECT_EQ(Extract(carrier, tags[i], &got), 0);
        EXPECT_EQ(got, Filler(1000 * i + 3, static_cast<unsigned char>(i))) << tags[i];
    }
    Walk none = WalkFile(carrier, "NONE");
    EXPECT_EQ(none.tag, "PDLL") << "the last valid block examined";
    EXPECT_EQ(none.start, none.end);
    EXPECT_EQ(Extract(carrier, "NONE"), 6);
}

TEST_F(Container, ShortFilesHaveNoBlocks) {
    for (size_t n = 0; n < 8; ++n) {
        std::string carrier = Put(std::string("PEXE\x0c\0\0\0", n));
        Walk w = WalkFile(carrier, "PEXE");
        EXPECT_EQ(w.tag, "");
        EXPECT_EQ(w.start, 0);
        EXPECT_EQ(w.end, 0);
        EXPECT_EQ(w.size, 0);
        EXPECT_EQ(Extract(carrier, "PEXE"), 6) << n;
    }
}

TEST_F(Container, TrailerLengthsOutsideTheRuleEndTheWalk) {
    std::string body = Image() + "PEXE" + Filler(20, 1) + "PEXE";
    int64_t fileSize = static_cast<int64_t>(body.size() + 4);
    struct { int32_t length; bool found; } rows[] = {
        {0, false}, {8, false}, {9, false}, {10, false}, {11, false}, {-1, false}, {-12, false},
        {INT_MIN, false}, {INT_MAX, false}, {static_cast<int32_t>(fileSize + 1), false},
        {32, true},  // the sound length: 20 + 12
    };
    for (auto& r : rows) {
        std::string carrier = Put(body + Le32(r.length));
        Walk w = WalkFile(carrier, "PEXE");
        EXPECT_EQ(w.tag == "PEXE", r.found) << r.length;
        std::string got;
        EXPECT_EQ(Extract(carrier, "PEXE", &got), r.found ? 0 : 6) << r.length;
        if (r.found) {
            EXPECT_EQ(got, Filler(20, 1));
        }
    }
}

TEST_F(Container, LengthReachingBackToTheFirstByte) {
    // A block that is the whole file: valid, it starts at offset 0.
    std::string carrier = Put(Block("ONLY", "x"));
    Walk w = WalkFile(carrier, "ONLY");
    EXPECT_EQ(w.tag, "ONLY");
    EXPECT_EQ(w.start, 0);
    std::string got;
    EXPECT_EQ(Extract(carrier, "ONLY", &got), 0);
    EXPECT_EQ(got, "x");
    // Walking on past it must not read before the file's start.
    EXPECT_EQ(Extract(carrier, "MISS"), 6);
}

TEST_F(Container, TagsWithZeroBytes) {
    std::string two = std::string("AB\0\0", 4);
    // Two letters then zeros: valid text "AB"; the head must match all four bytes.
    std::string good = Put(Image() + RawBlock(two, "pay", two, 15), "good.exe");
    std::string got;
    EXPECT_EQ(Extract(good, "AB", &got), 0);
    EXPECT_EQ(got, "pay");
    EXPECT_EQ(WalkFile(good, "AB").tag, "AB");
    std::string headDiffers = Put(Image() + RawBlock(std::string("AB\0X", 4), "pay", two, 15), "bad.exe");
    EXPECT_EQ(Extract(headDiffers, "AB"), 6);
    // A first zero byte makes the tag empty text: invalid.
    std::string zero = std::string("\0BCD", 4);
    std::string empty = Put(Image() + Block("PEXE", "p") + RawBlock(zero, "pay", zero, 15), "zero.exe");
    EXPECT_EQ(Extract(empty, "PEXE"), 6) << "blocks before an invalid trailer are unreachable";
    EXPECT_EQ(WalkFile(empty, "PEXE").tag, "");
    // A tag with other bytes than letters and digits is invalid.
    std::string dash = Put(Image() + Block("AB-C", "pay"), "dash.exe");
    EXPECT_EQ(Extract(dash, "AB-C"), 6);
}

TEST_F(Container, HeadTailMismatchStopsTheWalk) {
    std::string file = Image() + Block("PDLL", "lib") + RawBlock("RTPX", "patch", "RTP3", 17) +
                       Block("PEXE", "exe");
    std::string carrier = Put(file);
    std::string got;
    EXPECT_EQ(Extract(carrier, "PEXE", &got), 0);
    EXPECT_EQ(got, "exe");
    EXPECT_EQ(Extract(carrier, "RTP3"), 6);
    EXPECT_EQ(Extract(carrier, "PDLL"), 6) << "unreachable behind the damaged block";
    Walk w = WalkFile(carrier, "PDLL");
    EXPECT_EQ(w.tag, "PEXE") << "outputs keep the previous block's values";
    EXPECT_EQ(w.start, w.end);
}

TEST_F(Container, RepeatedTagNearestTheEndWins) {
    std::string carrier = Put(Image() + Block("RTP1", "older") + Block("PEXE", "e") + Block("RTP1", "newer"));
    std::string got;
    EXPECT_EQ(Extract(carrier, "RTP1", &got), 0);
    EXPECT_EQ(got, "newer");
}

TEST_F(Container, EmptyPayloadAndLastBlock) {
    std::string carrier = Put(Image() + Block("PDLL", "library") + Block("NULL", ""));
    std::string got;
    EXPECT_EQ(Extract(carrier, "NULL", &got), 0);
    EXPECT_EQ(got, "");
    EXPECT_EQ(Extract(carrier, "PDLL", &got), 0);
    EXPECT_EQ(got, "library");
}

TEST_F(Container, WantedTagIsExactText) {
    std::string carrier = Put(Image() + Block("PEXE", "e"));
    EXPECT_EQ(Extract(carrier, "PEXEX"), 6);
    EXPECT_EQ(Extract(carrier, "pexe"), 6) << "tags are case-sensitive";
    EXPECT_EQ(Extract(carrier, ""), 6);
}

TEST_F(Container, TruncatedAtEveryOffset) {
    std::string blocks[] = {Block("PDLL", Filler(40, 1)), Block("RTP3", Filler(5, 2)), Block("PEXE", Filler(30, 3))};
    const char* tags[] = {"PDLL", "RTP3", "PEXE"};
    std::string file = Image();
    std::vector<size_t> ends;
    for (auto& b : blocks) { file += b; ends.push_back(file.size()); }
    for (size_t cut = 0; cut <= file.size(); ++cut) {
        std::string carrier = Put(file.substr(0, cut));
        for (int i = 0; i < 3; ++i) {
            // A block is reachable only when the cut falls on a block boundary
            // at or after its end: the shorter file is then a sound container.
            bool onBoundary = false;
            for (int j = i; j < 3; ++j) onBoundary |= cut == ends[j];
            EXPECT_EQ(Extract(carrier, tags[i]), onBoundary ? 0 : 6) << "cut " << cut << " tag " << tags[i];
        }
    }
}

TEST_F(Container, HostileTrailersNeverReadOutOfBounds) {
    // Fixed seed: damaged trailers in a small container must give 0 with the
    // exact payload length or 6, whatever the bytes.
    std::mt19937 rng(1234);
    std::string good = Image() + Block("PDLL", Filler(17, 4)) + Block("PEXE", Filler(9, 5));
    for (int round = 0; round < 150; ++round) {
        std::string file = good;
        for (int k = 0; k < 3; ++k) {
            size_t at = file.size() - 1 - rng() % 40;
            file[at] = static_cast<char>(rng() & 0xff);
        }
        std::string carrier = Put(file);
        for (const char* tag : {"PDLL", "PEXE"}) {
            Walk w = WalkFile(carrier, tag);
            std::string got;
            int code = Extract(carrier, tag, &got);
            ASSERT_TRUE(code == 0 || code == 6) << round;
            if (code == 0) {
                EXPECT_GE(w.start, 0);
                EXPECT_LE(w.end, w.size);
                EXPECT_EQ(static_cast<int64_t>(got.size()), w.end - w.start - 12);
            }
        }
    }
}

TEST_F(Container, OutputIsCreatedFreshNeverOverAnExistingFile) {
    std::string carrier = Put(Image() + Block("PEXE", "short"));
    std::string existing = dir_ + "\\existing";
    WriteBytes(existing, "a much longer file that was here first");
    EXPECT_EQ(ExtractPayloadBlock(carrier.c_str(), "PEXE", existing.c_str()), 2);
    EXPECT_EQ(ReadBytes(existing), "a much longer file that was here first") << "left alone, not deleted";
}

TEST_F(Container, UnreadableCarrierOrUncreatableOutput) {
    std::string carrier = Put(Image() + Block("PEXE", "e"));
    std::string out = dir_ + "\\out";
    EXPECT_EQ(ExtractPayloadBlock((dir_ + "\\missing.exe").c_str(), "PEXE", out.c_str()), 2);
    EXPECT_EQ(ExtractPayloadBlock("", "PEXE", out.c_str()), 2);
    EXPECT_EQ(ExtractPayloadBlock(carrier.c_str(), "PEXE", (dir_ + "\\no\\such\\folder\\out").c_str()), 2);
    EXPECT_FALSE(Exists(out));
    EXPECT_EQ(ExtractPayloadBlock(carrier.c_str(), "MISS", out.c_str()), 6);
    EXPECT_FALSE(Exists(out)) << "no output for a missing block";
}
