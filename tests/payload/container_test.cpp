#include <gtest/gtest.h>
#include <cstring>
#include "payload/container.h"
#include "platform/file.h"
#include "blocks.h"
#include "scratch.h"

using namespace payload;

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

class Container : public Scratch {
protected:
    std::string Put(const std::string& bytes, const char* name = "carrier.exe") {
        std::string p = root + "\\" + name;
        WriteText(p, bytes);
        return p;
    }
    // Extracts into a fresh name and returns the code; *out gets the bytes.
    ExtractCode Extract(const std::string& carrier, const char* tag, std::string* out = nullptr) {
        std::string o = root + "\\out" + std::to_string(++outs_);
        ExtractCode code = ExtractPayloadBlock(carrier.c_str(), tag, o.c_str());
        if (out) *out = ReadText(o);
        if (code != ExtractCode::kOk) {
            EXPECT_FALSE(Exists(o)) << "a failed extraction leaves no output";
        }
        return code;
    }
    int outs_ = 0;
};

}  // namespace

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
        EXPECT_EQ(Extract(carrier, tags[i], &got), ExtractCode::kOk);
        EXPECT_EQ(got, Filler(1000 * i + 3, static_cast<unsigned char>(i))) << tags[i];
    }
    Walk none = WalkFile(carrier, "NONE");
    EXPECT_EQ(none.tag, "PDLL") << "the last valid block examined";
    EXPECT_EQ(none.start, none.end);
    EXPECT_EQ(Extract(carrier, "NONE"), ExtractCode::kNoBlock);
}

TEST_F(Container, WantedTagIsExactText) {
    std::string two = std::string("AB\0\0", 4);
    std::string carrier = Put(Image() + RawBlock(two, "pay", two, 15) + Block("PEXE", "e"));
    std::string got;
    EXPECT_EQ(Extract(carrier, "AB", &got), ExtractCode::kOk) << "a two-letter tag is stored zero-padded";
    EXPECT_EQ(got, "pay");
    EXPECT_EQ(Extract(carrier, "PEXEX"), ExtractCode::kNoBlock);
    EXPECT_EQ(Extract(carrier, "pexe"), ExtractCode::kNoBlock) << "tags are case-sensitive";
    EXPECT_EQ(Extract(carrier, ""), ExtractCode::kNoBlock);
}

TEST_F(Container, SignedCarrierWalksFromItsCertificateTable) {
    // PE32 headers whose directory entry 4 names a 16-byte table, after 2
    // zero bytes that align it to 8.
    std::string file(512, '\0');
    file.replace(0, 2, "MZ");
    file.replace(0x3c, 4, Le32(64));
    file.replace(64, 4, std::string("PE\0\0", 4));
    file.replace(84, 2, std::string("\xe0\0", 2));    // SizeOfOptionalHeader
    file.replace(88, 2, std::string("\x0b\x01", 2));  // magic
    file.replace(180, 4, Le32(16));                   // NumberOfRvaAndSizes
    file.replace(216, 8, Le32(544) + Le32(16));
    file += Block("PDLL", "lib") + Block("PEXE", "exe") + std::string(2, '\0') + Le32(16) + Le32(0x20200) + "xxxxxxxx";
    std::string carrier = Put(file), got;
    EXPECT_EQ(Extract(carrier, "PEXE", &got), ExtractCode::kOk);
    EXPECT_EQ(got, "exe");
    EXPECT_EQ(Extract(carrier, "PDLL", &got), ExtractCode::kOk);
    EXPECT_EQ(got, "lib");
    Walk none = WalkFile(carrier, "NONE");
    EXPECT_EQ(none.tag, "PDLL");
    EXPECT_EQ(none.start, 512);
    EXPECT_EQ(none.size, static_cast<int64_t>(file.size()));
}

TEST_F(Container, OutputIsCreatedFreshNeverOverAnExistingFile) {
    std::string carrier = Put(Image() + Block("PEXE", "short"));
    std::string existing = root + "\\existing";
    WriteText(existing, "a much longer file that was here first");
    EXPECT_EQ(ExtractPayloadBlock(carrier.c_str(), "PEXE", existing.c_str()), ExtractCode::kCannotOpen);
    EXPECT_EQ(ReadText(existing), "a much longer file that was here first") << "left alone, not deleted";
}

TEST_F(Container, UnreadableCarrierOrUncreatableOutput) {
    std::string carrier = Put(Image() + Block("PEXE", "e"));
    std::string out = root + "\\out";
    EXPECT_EQ(ExtractPayloadBlock((root + "\\missing.exe").c_str(), "PEXE", out.c_str()), ExtractCode::kCannotOpen);
    EXPECT_EQ(ExtractPayloadBlock("", "PEXE", out.c_str()), ExtractCode::kCannotOpen);
    EXPECT_EQ(ExtractPayloadBlock(carrier.c_str(), "PEXE", (root + "\\no\\such\\folder\\out").c_str()),
              ExtractCode::kCannotOpen);
    EXPECT_FALSE(Exists(out));
    EXPECT_EQ(ExtractPayloadBlock(carrier.c_str(), "MISS", out.c_str()), ExtractCode::kNoBlock);
    EXPECT_FALSE(Exists(out)) << "no output for a missing block";
}
