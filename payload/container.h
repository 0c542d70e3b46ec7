// The payload container: tagged blocks appended after the executable image,
// found by walking backwards from the container's end (core::container::Walker in
// engine/core/container_walk.h holds the layout and the walk; this is its
// use on the updater's own file).
//
//   offset 0      4 bytes  head tag (ASCII letters or digits, zero-padded)
//   offset 4      N bytes  payload, stored as is
//   offset 4+N    4 bytes  tail tag, the same four bytes as the head tag
//   offset 8+N    4 bytes  block length N + 12, signed 32-bit little-endian
//
// The last block ends at the end of the file, or in a signed file where its
// certificate table begins (less up to 7 zero bytes of alignment); the walk
// stops at the first trailer that is not valid (the image's own last bytes).
#pragma once
#include <windows.h>
#include <cstdint>

namespace payload {

// Tags are four raw bytes; as text they are those bytes plus a NUL, so a tag
// ends at its first zero byte. Buffers for tags hold kTagText bytes.
constexpr size_t kTagBytes = 4;
constexpr size_t kTagText = kTagBytes + 1;

// Walks the container of the open, seekable `file` from the container's end.
// `tag` (kTagText bytes) is in-out: on entry the wanted tag, on return the tag
// of the last valid block the walk examined (empty when none). The block was
// found exactly when the returned tag equals the wanted one; then *blockStart
// is the offset of its head tag and *blockEnd the offset just past its length
// field. Otherwise the two are equal and mean nothing (the container's end
// when no block was examined). *fileSize receives the file's length (0 when
// it is shorter than one trailer). A trailer is valid when its length is at
// least 12 (no block is shorter than its own tags and length field), reaches
// no further back than the file's start, and its tail tag is letters and
// digits as text; the head tag must repeat the tail tag's 4 bytes.
// The file position is left anywhere.
void FindPayloadBlock(HANDLE file, char* tag, int64_t* blockStart, int64_t* blockEnd, int64_t* fileSize);

// Results of ExtractPayloadBlock.
enum class ExtractCode {
    kOk,           // the output file holds exactly the payload
    kWrongSize,    // after the copy the output is not the payload's size
    kCannotOpen,   // executable not readable, or output not creatable
    kReadFailed,   // reading the executable failed (or it ended early)
    kWriteFailed,  // writing the output failed
    kNoBlock,      // the container has no block with this tag
};

// Writes the payload of the block tagged `tag` from `exePath` into a new
// file `outPath`. The output is created fresh and never opened over an
// existing file: an existing name gives kCannotOpen. Exactly the
// payload's bytes are copied. On every failure after the output was created,
// the output is deleted again.
ExtractCode ExtractPayloadBlock(const char* exePath, const char* tag, const char* outPath);

}  // namespace payload
