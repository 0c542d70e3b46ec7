// Segmented deltas (format 4, engine/FORMAT.md): a file's delta cut into
// segments, each a delta stream of its own whose models start fresh, so
// that Apply decodes them side by side on several threads and each thread
// writes its segment's part of the new file where it belongs.
//
// Memory: every decoding thread holds a model sized by its segment
// (delta::ModelBytes) and its buffers; Apply takes fewer threads rather
// than more than kDecodeBudget for all of them together.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "delta.h"

namespace core::segments {

constexpr uint32_t kMaxCount = 4096;
// The builder's segments: a file of at most kOneStreamBytes is one stream;
// a larger one is cut into an even count of segments of equal size (at
// least two, so that two threads get equal shares), as many as leave each
// at least kLeastBytes, which keeps each under 16 MiB. Such a segment gets
// a file's models of 8 to 16 MiB (hashed order-2 and order-3 literal
// tables of 2^12 trees, 15.8 MB), so two threads fit in kDecodeBudget.
// Models sized for under 4 MiB (2^10 trees, no order 3) were what cost
// the segments of 4 MiB (the 51 MB program's patch: 14 segments of 3.7 MB
// 2.8% larger than one stream; 6 segments of 8.6 MB 2.1% smaller than one,
// 12 of 4.3 MB 1.5% smaller; deltaprofile, engine/README.md).
constexpr uint64_t kOneStreamBytes = 4u << 20;
constexpr uint64_t kLeastBytes = 8u << 20;
constexpr size_t kDecodeBudget = 40u << 20;
// A decoding thread's buffers besides its model: delta::Apply's two, the
// coder's, and what the caller's readers hold (the engine's: 1 MiB for the
// patch data, 256 KiB for the old file).
constexpr size_t kThreadBuffers = 2u << 20;

// How many segments the builder cuts a new file of newSize bytes into.
uint32_t CountFor(uint64_t newSize);

struct Segment {
    uint64_t newSize;    // new bytes it makes
    uint64_t codedSize;  // bytes of its delta stream
};

// The table in front of the streams (varints): the count, then the new and
// the coded size of each segment but the last, which takes what is left of
// both. One segment costs one byte.
std::vector<uint8_t> WriteTable(const std::vector<Segment>& segments);
constexpr size_t kMaxTableBytes = 10 + (kMaxCount - 1) * 20;

// What the decoding threads need from the caller; every function may be
// called from several threads at once.
struct Io {
    // A reader of the old file for one thread (its own buffers).
    virtual std::unique_ptr<delta::OldReader> Old() = 0;
    // The patch's bytes [offset, offset + n), in order, for one reader.
    virtual std::unique_ptr<delta::InStream> Data(uint64_t offset, uint64_t n) = 0;
    // Writes n new bytes at `offset` of the new file; false on failure.
    virtual bool WriteAt(uint64_t offset, const void* buf, size_t n) = 0;

protected:
    ~Io() = default;
};

// Rebuilds the new file from the segmented delta at [dataOffset, dataOffset
// + dataSize) of the patch, on up to maxThreads threads (at least one: the
// caller's own). The table must account for every byte: its new sizes add up
// to newSize and its streams fill the data exactly, else corrupt before
// anything is decoded. Each segment is checked as delta::Apply checks a
// stream, and writes only its own range of [0, newSize). On failure, one
// segment's failure (readError, writeError or corrupt) is returned, and
// parts of the new file may have been written. The result and the bytes
// written do not depend on the number of threads.
delta::Result Apply(Io& io, uint64_t oldSize, uint64_t dataOffset, uint64_t dataSize, uint64_t newSize,
                    delta::Copies copies, unsigned maxThreads);

// The threads Apply takes for a largest segment of `largest` new bytes.
unsigned ThreadsFor(uint64_t largest, delta::Copies copies, unsigned count, unsigned maxThreads);

}  // namespace core::segments
