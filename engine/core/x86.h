// x86-aware deltas (entry method 2) for 32-bit Windows programs. When code
// moves, every call and jump into or across the moved part changes its
// rel32 operand, and every relocated pointer to it its absolute address; a
// byte delta pays for each. Instead the old file is first rewritten so that
// each such reference already points where the new program's does, and the
// delta codes the new file against that.
//
// The rewrite needs the old file's own layout (ReadImage: code section,
// sections, base relocations), the new file's sections and image base, and a
// map of old offsets to new ones (segments, from the builder's first
// byte-level match); the entry data carries the last two ahead of the delta
// stream (engine/FORMAT.md). The rewrite of any byte depends only on the
// layout and the old bytes within 9 before and 4 after it, so the old file
// can still be read at any offset in bounded memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "delta.h"
#include "segments.h"

namespace core::x86 {

// old[oldStart, oldStart + length) became new[newStart, newStart + length)
// (approximately: as a delta copy, bytes may differ).
struct Segment {
    uint64_t oldStart, newStart, length;
};

struct Section {
    uint32_t rawStart, rawSize, rva, virtualSize;
};

// What the rewrite needs to know of a PE32 image.
struct Image {
    uint64_t codeStart = 0, codeEnd = 0;  // file offsets of the first code section
    uint32_t base = 0;                    // ImageBase
    std::vector<Section> sections;        // in table order
    std::vector<uint32_t> relocs;         // file offsets of 32-bit absolute addresses, ascending, disjoint
};

struct Map {
    Image old;             // from the old file itself
    uint32_t newBase = 0;  // the new file's ImageBase and sections
    std::vector<Section> newSections;
    std::vector<Segment> segments;  // sorted by oldStart, disjoint
};

constexpr size_t kMaxSections = 96;
constexpr size_t kMaxSegments = 1 << 18;
constexpr size_t kMaxRelocs = 1 << 22;
constexpr size_t kMaxHeader = 16u << 20;
constexpr size_t kMaxHeaders = 64 * 1024;  // bytes of the file read for its headers

// Parses a PE32 (i386) image of `size` bytes: headers, section table and
// base relocations. False for anything else and anything malformed
// (sections outside the file or overlapping, relocation blocks that do not
// fit, too many of anything); every read is checked against the file.
bool ReadImage(delta::OldReader& file, uint64_t size, Image* out);

// Writes the rewritten old bytes [at, at + n) to out. raw holds the old
// file's bytes [rawStart, rawStart + rawLen), which must cover
// [at - 9, at + n + 4) clipped to the old file.
void Rewrite(const Map& map, const uint8_t* raw, uint64_t rawStart, size_t rawLen, uint64_t at, uint8_t* out, size_t n);

// The header as it goes before the delta stream, and back: new base, new
// sections, segments. Parse checks every field against oldSize and the
// limits above, and fills in everything but map->old.
std::vector<uint8_t> Serialize(const Map& map);
bool Parse(const uint8_t* p, size_t n, uint64_t oldSize, Map* map);

// Apply for method 2: reads the header from `data`, then decodes the rest
// of the deltaSize bytes, one stream coded with `copies`, against the
// rewritten old file.
delta::Result Apply(delta::OldReader& old, uint64_t oldSize, delta::InStream& data, uint64_t dataSize,
                    delta::OutStream& out, uint64_t newSize, delta::Copies copies);

// Method 2, segmented (format 4): the header, then a segmented delta
// (segments.h) against the rewritten old file, on up to maxThreads threads.
delta::Result ApplySegments(segments::Io& io, uint64_t oldSize, uint64_t dataOffset, uint64_t dataSize,
                            uint64_t newSize, unsigned maxThreads);

}  // namespace core::x86
