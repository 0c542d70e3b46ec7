// Finds, for a window of the new file, the old bytes it can be made from:
// approximate matches found through a suffix array of the old window, in the
// manner of bsdiff, written out as delta commands.
#pragma once
#include <cstddef>
#include <cstdint>

#include <vector>

#include "deltawriter.h"
#include "x86.h"

namespace patchbuild {

// Codes newBytes[0, newSize) as commands against oldBytes[0, oldSize), which
// is the old file's range starting at oldBase. Needs 4 * oldSize bytes for
// the suffix array; oldSize must stay below 2 GiB (32-bit suffix indexes).
// With `copies`, also appends each copy as a segment (new offsets relative
// to newBytes), for the x86 rewrite's map.
void DiffWindow(const uint8_t* oldBytes, size_t oldSize, uint64_t oldBase, const uint8_t* newBytes, size_t newSize,
                core::delta::CommandSink& writer, std::vector<core::x86::Segment>* copies = nullptr);

}  // namespace patchbuild
