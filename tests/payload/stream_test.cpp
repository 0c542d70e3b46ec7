// CopyStreamWithTimes: exactly `limit` bytes from the source's position, the
// times along, and a failed read or write told apart.
#include <gtest/gtest.h>
#include "blocks.h"
#include "payload/stream.h"
#include "platform/file.h"
#include "scratch.h"

using namespace payload;

using Stream = Scratch;

TEST_F(Stream, CopiesFromThePositionUpToTheLimitWithTheTimes) {
    std::string data = Filler(9000, 3);  // more than two 4096-byte chunks
    WriteText(At("src"), data);
    SetWriteTime(At("src"), 125000000000000000ULL);  // 1997: no copy gets it by chance
    // clang-format off
    struct { uint64_t from, limit; CopyCode code; size_t size; } rows[] = {
        {0, kCopyToEnd, CopyCode::kOk, 9000}, {0, 0, CopyCode::kOk, 0}, {0, 4097, CopyCode::kOk, 4097},
        {11, 8989, CopyCode::kOk, 8989}, {0, 9001, CopyCode::kReadFailed, 9000},
    };
    // clang-format on
    for (const auto& r : rows) {
        std::string out = At("out" + std::to_string(r.limit));
        platform::Handle src, dst;
        ASSERT_TRUE(platform::OpenRead(At("src").c_str(), src));
        ASSERT_TRUE(platform::CreateNew(out.c_str(), dst));
        ASSERT_TRUE(platform::Seek(src.Get(), static_cast<int64_t>(r.from), FILE_BEGIN));
        EXPECT_EQ(CopyStreamWithTimes(src.Get(), dst.Get(), r.limit), r.code) << r.limit;
        int64_t size = -1;
        EXPECT_TRUE(platform::Size(dst.Get(), &size) && size == int64_t(r.size)) << "the caller's handle stays open";
        dst.Reset();
        EXPECT_EQ(ReadText(out), data.substr(r.from, r.size)) << r.limit;
        EXPECT_EQ(WriteTime(out), 125000000000000000ULL) << r.limit;
    }
}

TEST_F(Stream, FailedReadAndWriteAreToldApart) {
    WriteText(At("s"), "abc");
    WriteText(At("ro"), "");
    platform::Handle src, readOnly, writeOnly, dst;
    ASSERT_TRUE(platform::OpenRead(At("s").c_str(), src));
    ASSERT_TRUE(platform::OpenRead(At("ro").c_str(), readOnly));
    EXPECT_EQ(CopyStreamWithTimes(src.Get(), readOnly.Get()), CopyCode::kWriteFailed);
    writeOnly.Reset(::CreateFileA(At("s").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(platform::CreateNew(At("d").c_str(), dst));
    EXPECT_EQ(CopyStreamWithTimes(writeOnly.Get(), dst.Get()), CopyCode::kReadFailed);
}
