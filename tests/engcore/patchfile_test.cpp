// Patch file header and table parsing, on files put together here byte by
// byte, valid and crafted.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "patchfile.h"

using core::patchfile::Entry;
using core::patchfile::Error;
using core::patchfile::Kind;
using core::patchfile::Method;

namespace {

using Bytes = std::vector<uint8_t>;

Entry Make(Kind k, const char* path, uint64_t oldSize = 0, uint64_t newSize = 0, Method m = Method::stored) {
    Entry e{};
    e.kind = k;
    e.method = m;
    e.path = path;
    e.oldSize = oldSize;
    e.newSize = newSize;
    if (oldSize) memset(e.oldSha, 0x11, 32);
    if (k == Kind::addFile || k == Kind::changeFile) memset(e.newSha, 0x22, 32);
    return e;
}

// A patch file with each data-carrying entry's data laid out in order; a
// dataLength left at 0 means "newSize bytes". The hash field stays zero: the
// parser does not check it.
Bytes Build(std::vector<Entry> entries, uint64_t extraData = 0) {
    uint64_t at = core::patchfile::DataStart(entries);
    for (Entry& e : entries) {
        bool data = e.kind == Kind::addFile || e.kind == Kind::changeFile;
        if (data && e.dataOffset == 0) {
            if (e.dataLength == 0) e.dataLength = e.newSize;
            e.dataOffset = at;
            if (e.dataLength < (1u << 20)) at += e.dataLength;  // hostile lengths are not laid out
        }
    }
    Bytes f = core::patchfile::WriteHead(entries, at + extraData - core::patchfile::DataStart(entries));
    f.resize(at + extraData, 0x5A);
    return f;
}

Error Parse(const Bytes& f, std::vector<Entry>* out = nullptr) {
    core::patchfile::Header h;
    Error e = core::patchfile::ParseHeader(f.data(), f.size(), f.size(), &h);
    if (e != Error::none) return e;
    std::vector<Entry> entries;
    e = core::patchfile::ParseTable(f.data() + core::patchfile::kHeaderSize, h.tableSize, h, &entries);
    if (out) *out = entries;
    return e;
}

std::vector<Entry> Sample() {
    return {Make(Kind::removeFile, "old.dll", 5),
            Make(Kind::removeFolder, "olddir"),
            Make(Kind::makeFolder, "bin"),
            Make(Kind::addFile, "bin\\new.exe", 0, 12),
            Make(Kind::changeFile, "App.exe", 40, 30, Method::delta),
            Make(Kind::addFile, "empty.txt", 0, 0)};
}

TEST(PatchFile, ParsesWhatWasBuilt) {
    std::vector<Entry> in = Sample(), out;
    Bytes f = Build(in);
    ASSERT_EQ(Parse(f, &out), Error::none);
    ASSERT_EQ(out.size(), in.size());
    for (size_t i = 0; i < in.size(); i++) {
        EXPECT_EQ(out[i].kind, in[i].kind);
        EXPECT_EQ(out[i].path, in[i].path);
        EXPECT_EQ(out[i].oldSize, in[i].oldSize);
        EXPECT_EQ(out[i].newSize, in[i].newSize);
    }
    EXPECT_EQ(out[3].dataLength, 12u);
    EXPECT_EQ(out[4].dataLength, 30u);
}

TEST(PatchFile, HeaderAndTableFaults) {
    const Bytes good = Build(Sample());
    core::patchfile::Header h;
    EXPECT_EQ(core::patchfile::ParseHeader(good.data(), 55, good.size(), &h), Error::badSize);
    EXPECT_EQ(core::patchfile::ParseHeader(good.data(), good.size(), good.size() - 1, &h), Error::badSize);
    EXPECT_EQ(core::patchfile::ParseHeader(good.data(), good.size(), good.size() + 1, &h), Error::badSize);
    // clang-format off
    struct Row {
        size_t at;
        uint8_t value;
        Error expected;
    } rows[] = {
            {0, 0x4C, Error::badMagic}, {3, 0x02, Error::badMagic},  {4, 1, Error::badVersion},
            {4, 2, Error::badVersion},  {4, 5, Error::badVersion},   {4, 3, Error::none},  // 3 is still read
            {7, 1, Error::badVersion},  {8, 0xFF, Error::badSize},    {15, 1, Error::badSize},
            {51, 0x01, Error::badTable},                                // 16M+ entries
            {55, 0x04, Error::badTable},                                // table above 64 MiB
            {54, 0x10, Error::badTable},                                // table beyond the file
            {48, 0xFF, Error::badTable},                                // entries cannot fit the table
            {59, 0x03, Error::badTable},                                // a path length past the table
            {48, uint8_t(good[48] - 1), Error::badTable},               // one entry fewer leaves bytes over
    };
    // clang-format on
    for (const Row& r : rows) {
        Bytes f = good;
        f[r.at] = r.value;
        EXPECT_EQ(Parse(f), r.expected) << r.at;
    }
    Bytes f = good;
    f[48]++;  // one entry more runs out of table
    EXPECT_NE(Parse(f), Error::none);
    f = good;
    f.pop_back();  // the data runs past the end, the header's size agreeing
    f[8] = uint8_t(f.size()), f[9] = uint8_t(f.size() >> 8);
    EXPECT_EQ(Parse(f), Error::badData);
}

TEST(PatchFile, EntryFaults) {
    auto with = [](std::function<void(std::vector<Entry>&)> edit) {
        std::vector<Entry> v = Sample();
        edit(v);
        return Parse(Build(v));
    };
    EXPECT_EQ(with([](auto& v) { v[0].kind = Kind(0); }), Error::badEntry);
    EXPECT_EQ(with([](auto& v) { v[0].kind = Kind(6); }), Error::badEntry);
    EXPECT_EQ(with([](auto& v) { v[3].method = Method::x86; }), Error::badEntry);  // x86 only changes a file
    EXPECT_EQ(with([](auto& v) { v[4].method = Method(4); }), Error::badEntry);
    EXPECT_EQ(with([](auto& v) { v[2].method = Method::delta; }), Error::badEntry);
    EXPECT_EQ(with([](auto& v) { v[3].segmented = true; }), Error::badEntry);  // stored data has no segments
    EXPECT_EQ(with([](auto& v) { v[4].segmented = true; }), Error::none);
    EXPECT_EQ(with([](auto& v) { v[3].oldSize = 1; }), Error::badEntry);
    EXPECT_EQ(with([](auto& v) { v[3].oldSha[5] = 1; }), Error::badEntry);
    EXPECT_EQ(with([](auto& v) { v[0].newSize = 1; }), Error::badEntry);
    EXPECT_EQ(with([](auto& v) { v[2].newSha[0] = 1; }), Error::badEntry);
    EXPECT_EQ(with([](auto& v) { v[0].dataLength = 1; }), Error::badData);
    EXPECT_EQ(with([](auto& v) { v[1].dataOffset = 60; }), Error::badData);
    EXPECT_EQ(with([](auto& v) { v[3].dataOffset = 10; }), Error::badData);              // inside the header
    EXPECT_EQ(with([](auto& v) { v[3].dataOffset = 60; }), Error::badData);              // inside the table
    EXPECT_EQ(with([](auto& v) { v[3].dataOffset = UINT64_MAX - 4; }), Error::badData);  // wraps around
    EXPECT_EQ(with([](auto& v) { v[4].dataLength = UINT64_MAX; }), Error::badData);
    EXPECT_EQ(with([](auto& v) { v[3].dataLength = 11; }), Error::badData);  // stored, but not newSize bytes
    EXPECT_EQ(with([](auto& v) { v[3].path = "..\\x"; }), Error::badPath);
    EXPECT_EQ(with([](auto& v) { v[3].path = ""; }), Error::badPath);
    EXPECT_EQ(with([](auto& v) { v[3].path = std::string(1025, 'a'); }), Error::badPath);
}

// Letter case folds for ASCII only; a path may change kind once.
TEST(PatchFile, DuplicatePaths) {
    const std::pair<std::vector<Entry>, Error> rows[] = {
        {{Make(Kind::addFile, "A.txt", 0, 1), Make(Kind::addFile, "a.TXT", 0, 1)}, Error::duplicatePath},
        {{Make(Kind::makeFolder, "Dir"), Make(Kind::makeFolder, "dir")}, Error::duplicatePath},
        {{Make(Kind::changeFile, "x", 1, 1), Make(Kind::removeFile, "X", 1)}, Error::duplicatePath},
        {{Make(Kind::addFile, "\xC3\xA9", 0, 1), Make(Kind::addFile, "\xC3\x89", 0, 1)}, Error::none},
        {{Make(Kind::removeFile, "x", 1), Make(Kind::makeFolder, "X")}, Error::none},
        {{Make(Kind::removeFolder, "y"), Make(Kind::addFile, "y", 0, 1)}, Error::none},
        {{Make(Kind::makeFolder, "y"), Make(Kind::removeFolder, "y")}, Error::duplicatePath},
        {{Make(Kind::removeFile, "z", 1), Make(Kind::addFile, "z", 0, 1), Make(Kind::removeFile, "z", 1)},
         Error::duplicatePath},
    };
    for (const auto& [entries, expected] : rows) EXPECT_EQ(Parse(Build(entries)), expected) << entries[0].path;
}

// Damaged files: the parser must neither crash nor read out of bounds
// (the sanitizers watch), whatever it decides.
TEST(PatchFile, EveryTruncationAndFlip) {
    Bytes good = Build(Sample(), 7);
    for (size_t n = 0; n < good.size(); n++) {
        Bytes f(good.begin(), good.begin() + long(n));
        EXPECT_NE(Parse(f), Error::none) << n;
    }
    for (size_t i = 0; i < good.size(); i++) {
        for (uint8_t mask : {0x01, 0x80, 0xFF}) {
            Bytes f = good;
            f[i] ^= mask;
            std::vector<Entry> out;
            Parse(f, &out);
        }
    }
}

}  // namespace
