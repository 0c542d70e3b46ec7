// The payload container: tagged blocks appended after an executable image,
// found by walking backwards from the container's end. One walk, shared by
// the updater (reading its own file through Windows handles) and the host's
// pack tool (reading from memory), so that what `pack` accepts the updater
// finds. Each block:
//
//   offset 0      4 bytes  head tag (ASCII letters or digits, zero-padded)
//   offset 4      N bytes  payload, stored as is
//   offset 4+N    4 bytes  tail tag, the same four bytes as the head tag
//   offset 8+N    4 bytes  block length N + 12, signed 32-bit little-endian
//
// The container ends at the end of the file, or, in a signed file, where the
// PE header's certificate table begins (less the zero bytes a signer puts
// before the table to align it to 8 bytes). The walk stops at the first
// trailer that is not valid (the image's own last bytes).
#pragma once
#include <cstddef>
#include <cstdint>

namespace core::container {

constexpr int64_t kTagBytes = 4;
constexpr size_t kTagText = 5;                                // the four bytes and a NUL
constexpr int64_t kTrailerBytes = 8;                          // tail tag and length
constexpr int64_t kBlockOverhead = 12;                        // head tag, tail tag and length: the smallest sound block
constexpr int64_t kMaxPayload = 0x7fffffff - kBlockOverhead;  // the length is a signed 32-bit field

// Where the bytes come from. ReadAt reads exactly `n` bytes at `offset`;
// false when it cannot (a short read included). Offsets given are never
// negative.
class Source {
public:
    virtual bool ReadAt(int64_t offset, void* buf, size_t n) = 0;

protected:
    ~Source() = default;
};

// True when `text` is not empty and holds only A-Z, a-z and 0-9.
bool IsTagText(const char* text);

struct Block {
    char tag[kTagText];  // the four stored bytes and a NUL: as text, up to the first zero
    int64_t offset;      // of the head tag
    int64_t payload;     // payload length N
};

// Parses the 8 bytes before `end` as a trailer into *b (tag, offset,
// payload). A trailer is valid when its length is at least kBlockOverhead,
// reaches back no further than offset 0 (the length is at most `end`) and its
// tail tag is IsTagText. The head tag is not looked at.
bool ParseTrailer(const unsigned char raw[kTrailerBytes], int64_t end, Block* b);

// The certificate table of a signed PE file: data directory entry 4
// (IMAGE_DIRECTORY_ENTRY_SECURITY), whose address is a file offset. True
// with *offset when the headers are sound as far as that entry ("MZ",
// e_lfanew inside the file, "PE\0\0", optional header magic 0x10b or 0x20b,
// the entry inside both the declared optional header and the directory
// count) and the table holds at least one 8-byte certificate header and ends
// exactly at the file's end. Anything else means no table.
bool CertificateTable(Source& in, int64_t fileSize, int64_t* offset);

// How a walk ended.
enum class WalkEnd {
    notATrailer,  // on bytes that are no valid trailer: the sound ending
    tagMismatch,  // a valid trailer whose head tag differs: damaged
    tooShort,     // the file is shorter than one trailer
    readFailed,
};

// Walks block by block from the container's end towards the image.
class Walker {
public:
    // Reads the PE header for a certificate table and, when there is one,
    // steps back over up to 7 zero bytes before it if a whole block ends there.
    Walker(Source& in, int64_t fileSize);
    // The next block towards the file's start; false once the walk has ended.
    bool Next(Block* b);
    WalkEnd end() const { return end_; }       // once Next returned false
    int64_t position() const { return pos_; }  // the head of the last block given: where the walk stands
    int64_t containerEnd() const { return containerEnd_; }
    int64_t table() const { return table_; }  // the certificate table's offset, -1 when none

private:
    Source& in_;
    int64_t fileSize_;
    int64_t table_ = -1;
    int64_t containerEnd_;
    int64_t pos_;
    bool done_ = false;
    WalkEnd end_ = WalkEnd::notATrailer;
};

}  // namespace core::container
