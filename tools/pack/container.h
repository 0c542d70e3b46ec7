// The updater's payload container on the build machine: blocks appended
// after the executable image, each
//   head tag (4 bytes) | payload (N bytes) | tail tag (4 bytes) | N + 12 (int32 LE)
// and found by walking backwards from the end of the file, exactly as the
// updater does, so that what `pack` accepts the updater finds.
#pragma once
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace pack {

constexpr int64_t kTrailerBytes = 8;
constexpr int64_t kBlockOverhead = 12;
// The length field is a signed 32-bit integer.
constexpr int64_t kMaxPayload = 0x7fffffff - kBlockOverhead;

// A tag as given on the command line: 1 to 4 ASCII letters or digits.
bool ValidTag(const std::string& tag);
// The four stored bytes: the tag padded with zero bytes.
std::string StoredTag(const std::string& tag);

struct BlockInfo {
    std::string tag;      // as text: the stored bytes up to the first zero
    int64_t offset;       // of the head tag
    int64_t payloadLength;
};

// How a walk ended.
enum class WalkEnd {
    NotATrailer,   // on bytes that are no valid trailer: the sound ending
    TagMismatch,   // a valid trailer whose head tag differs: damaged
    TooShort,      // the file is shorter than one trailer
    ReadFailed,
};

struct Walk {
    std::vector<BlockInfo> blocks;  // nearest the end first
    WalkEnd end;
    int64_t endOffset;              // where the walk stopped (the image's end when sound)
    int64_t fileSize;
};

// Walks a seekable stream from its end, reading 12 bytes per block.
Walk WalkContainer(std::istream& in);

// True when the 8 bytes before `size` in `bytes` would pass as a trailer, so
// an image ending on them would let the walk run into the image.
bool EndsOnValidTrailer(const std::string& image);

// One block's bytes. The tag must be ValidTag and the payload at most kMaxPayload.
std::string MakeBlock(const std::string& tag, const std::string& payload);

// The nearest-the-end block with this tag, or null.
const BlockInfo* FindBlock(const Walk& w, const std::string& tag);

const char* Describe(WalkEnd e);

}  // namespace pack
