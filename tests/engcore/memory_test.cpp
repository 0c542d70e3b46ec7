// Apply's memory does not grow with the file: a 16 MiB and a 40 MiB file
// are rebuilt with the same peak heap, on one thread and on many. The heap is counted by replacing the
// global allocation functions in this test program only.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <memory>
#include <vector>

#include "deltawriter.h"
#include "streams.h"

using enginetest::BytesIn;
using enginetest::BytesOut;

namespace {

std::atomic<size_t> g_live{0}, g_peak{0};

void* Counted(size_t n) {
    // 16 bytes in front hold the size and keep the block 16-aligned.
    auto* b = static_cast<unsigned char*>(std::malloc(n + 16));
    if (b == nullptr) throw std::bad_alloc();
    *reinterpret_cast<size_t*>(b) = n;
    size_t live = g_live += n;
    size_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
    return b + 16;
}

void Uncounted(void* p) {
    if (p == nullptr) return;
    auto* b = static_cast<unsigned char*>(p) - 16;
    g_live -= *reinterpret_cast<size_t*>(b);
    std::free(b);
}

}  // namespace

void* operator new(size_t n) { return Counted(n); }
void* operator new[](size_t n) { return Counted(n); }
void operator delete(void* p) noexcept { Uncounted(p); }
void operator delete[](void* p) noexcept { Uncounted(p); }
void operator delete(void* p, size_t) noexcept { Uncounted(p); }
void operator delete[](void* p, size_t) noexcept { Uncounted(p); }

namespace {

// Old and new content computed from the offset, so neither is ever held.
uint8_t OldByte(uint64_t i) { return uint8_t((i * 2654435761u) >> 13 ^ i >> 7); }
uint8_t NewByte(uint64_t i) { return uint8_t(OldByte(i) + (i % 4099 == 0 ? 3 : 0)); }

struct GeneratedOld : core::delta::OldReader {
    uint64_t size;
    bool ReadAt(uint64_t offset, void* buf, size_t n) override {
        EXPECT_LE(offset + n, size);
        for (size_t k = 0; k < n; k++) static_cast<uint8_t*>(buf)[k] = OldByte(offset + k);
        return true;
    }
};

// The new file as it is written, from any thread: each byte checked where
// it lands.
struct CheckingIo : core::segments::Io {
    CheckingIo(const enginetest::Bytes& coded, uint64_t size) : coded(coded), size(size) {}
    std::unique_ptr<core::delta::OldReader> Old() override {
        auto old = std::make_unique<GeneratedOld>();
        old->size = size;
        return old;
    }
    std::unique_ptr<core::delta::InStream> Data(uint64_t offset, uint64_t n) override {
        return std::make_unique<BytesIn>(coded.data() + offset, size_t(n));
    }
    bool WriteAt(uint64_t offset, const void* buf, size_t n) override {
        bool same = offset + n <= size;
        for (size_t k = 0; k < n && same; k++) same = static_cast<const uint8_t*>(buf)[k] == NewByte(offset + k);
        if (!same) wrong = true;
        written += n;
        return true;
    }
    const enginetest::Bytes& coded;
    uint64_t size;
    std::atomic<uint64_t> written{0};
    std::atomic<bool> wrong{false};
};

// Peak heap while a file of `size` bytes (one long copy) is rebuilt: as
// format 3 made it (one stream, threads 0), or segmented, on up to
// `threads` threads.
size_t ApplyPeak(uint64_t size, unsigned threads) {
    BytesOut coded;
    {
        core::delta::Writer one(coded, size, core::delta::Copies::groups3);
        core::delta::SegmentWriter segmented(coded, size);
        std::vector<uint8_t> oldChunk(1 << 20), newChunk(1 << 20);
        for (uint64_t at = 0; at < size; at += oldChunk.size()) {
            size_t n = size_t(std::min<uint64_t>(oldChunk.size(), size - at));
            for (size_t k = 0; k < n; k++) {
                oldChunk[k] = OldByte(at + k);
                newChunk[k] = NewByte(at + k);
            }
            if (threads == 0)
                one.Command(at, oldChunk.data(), newChunk.data(), n, nullptr, 0);
            else
                segmented.Command(at, oldChunk.data(), newChunk.data(), n, nullptr, 0);
        }
        EXPECT_TRUE(threads == 0 ? one.Finish() : segmented.Finish());
    }
    CheckingIo io(coded.b, size);
    size_t base = g_live.load();
    g_peak = base;
    core::delta::Result r;
    if (threads == 0) {
        std::unique_ptr<core::delta::OldReader> old = io.Old();
        BytesIn in(coded.b.data(), coded.b.size());
        struct : core::delta::OutStream {
            CheckingIo* io;
            uint64_t at = 0;
            bool Write(const void* buf, size_t n) override { return io->WriteAt((at += n) - n, buf, n); }
        } out;
        out.io = &io;
        r = core::delta::Apply(*old, size, in, coded.b.size(), out, size, core::delta::Copies::groups3);
    } else {
        r = core::segments::Apply(io, size, 0, coded.b.size(), size, core::delta::Copies::groups4, threads);
    }
    EXPECT_EQ(r, core::delta::Result::ok);
    EXPECT_FALSE(io.wrong);
    EXPECT_EQ(io.written, size);
    return g_peak.load() - base;
}

// The models grow with the new file, but the builder's segments stay under
// 16 MiB: a segmented delta's peak does not grow past that, per thread, and more
// threads are not taken than the budget holds (fewer threads rather than
// more memory). One stream of format 3 grows up to 16 MiB and not beyond.
TEST(Memory, ApplyPeakDoesNotGrowWithTheFile) {
    size_t small = ApplyPeak(16 << 20, 1), large = ApplyPeak(40ull << 20, 1);
    EXPECT_LT(large, small + 4096);  // the same, but for the longer segment table
    EXPECT_LT(large, 20u << 20);
    size_t many = ApplyPeak(40ull << 20, 64);
    EXPECT_GT(many, large);
    EXPECT_LT(many, 64u << 20);
    size_t small3 = ApplyPeak(16 << 20, 0), large3 = ApplyPeak(40ull << 20, 0);
    EXPECT_EQ(small3, large3);
    EXPECT_LT(large3, 24u << 20);
    printf("apply peak heap: %zu bytes on one thread, %zu on as many as fit, %zu for format 3\n", large, many, large3);
}

// Seeks and copies past 4 GiB in a 5 GiB old file, forward and back: the
// 32-bit engine must keep offsets in 64 bits all the way to ReadAt.
TEST(Memory, OldOffsetsBeyond4GiB) {
    const uint64_t oldSize = 5ull << 30;
    struct Piece {
        uint64_t oldPos, copy;
    } pieces[] = {{(4ull << 30) + 12345, 1 << 20}, {100, 1000}, {oldSize - 10, 10}};
    std::vector<uint8_t> expected;
    BytesOut coded;
    {
        core::delta::Writer w(coded, (1 << 20) + 1010);
        for (const Piece& p : pieces) {
            std::vector<uint8_t> o(p.copy), n(p.copy);
            for (size_t k = 0; k < p.copy; k++) {
                o[k] = OldByte(p.oldPos + k);
                n[k] = uint8_t(o[k] + (k % 1000 == 0 ? 1 : 0));
            }
            expected.insert(expected.end(), n.begin(), n.end());
            w.Command(p.oldPos, o.data(), n.data(), p.copy, nullptr, 0);
        }
        ASSERT_TRUE(w.Finish());
    }
    GeneratedOld old;
    old.size = oldSize;
    BytesIn in(coded.b.data(), coded.b.size());
    BytesOut out;
    ASSERT_EQ(core::delta::Apply(old, oldSize, in, coded.b.size(), out, expected.size()), core::delta::Result::ok);
    EXPECT_TRUE(out.b == expected);
    // The same stream against an old file one byte short must be refused.
    GeneratedOld shorter;
    shorter.size = oldSize - 1;
    BytesIn again(coded.b.data(), coded.b.size());
    BytesOut none;
    EXPECT_EQ(core::delta::Apply(shorter, oldSize - 1, again, coded.b.size(), none, expected.size()),
              core::delta::Result::corrupt);
}

}  // namespace
