// Apply's memory does not grow with the file: a 1 MiB and a 40 MiB file are
// rebuilt with the same peak heap. The heap is counted by replacing the
// global allocation functions in this test program only.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
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

struct CheckingOut : core::delta::OutStream {
    uint64_t at = 0;
    bool same = true;
    bool Write(const void* buf, size_t n) override {
        for (size_t k = 0; k < n; k++) same = same && static_cast<const uint8_t*>(buf)[k] == NewByte(at + k);
        at += n;
        return true;
    }
};

// Peak heap during Apply of a file of `size` bytes (one long copy).
size_t ApplyPeak(uint64_t size) {
    BytesOut coded;
    {
        core::delta::Writer w(coded, size);
        std::vector<uint8_t> oldChunk(1 << 20), newChunk(1 << 20);
        for (uint64_t at = 0; at < size; at += oldChunk.size()) {
            size_t n = size_t(std::min<uint64_t>(oldChunk.size(), size - at));
            for (size_t k = 0; k < n; k++) {
                oldChunk[k] = OldByte(at + k);
                newChunk[k] = NewByte(at + k);
            }
            w.Command(at, oldChunk.data(), newChunk.data(), n, nullptr, 0);
        }
        EXPECT_TRUE(w.Finish());
    }
    GeneratedOld old;
    old.size = size;
    BytesIn in(coded.b.data(), coded.b.size());
    CheckingOut out;
    size_t base = g_live.load();
    g_peak = base;
    EXPECT_EQ(core::delta::Apply(old, size, in, coded.b.size(), out, size), core::delta::Result::ok);
    EXPECT_TRUE(out.same);
    EXPECT_EQ(out.at, size);
    return g_peak.load() - base;
}

// The literal tables grow with the new file up to 16 MiB (deltamodel.h's
// LiteralBits), and not beyond.
TEST(Memory, ApplyPeakDoesNotGrowWithTheFile) {
    size_t small = ApplyPeak(16 << 20);
    size_t large = ApplyPeak(40ull << 20);
    EXPECT_EQ(small, large);
    EXPECT_LT(large, 24u << 20);
    printf("apply peak heap: %zu bytes for 16 MiB and for 40 MiB\n", large);
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
