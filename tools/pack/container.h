// The updater's payload container on the build machine: making blocks, and
// walking a packed file with the updater's own walk (core::container::Walker in
// engine/core/container_walk.h, which holds the layout), so that what `pack`
// accepts the updater finds.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "container_walk.h"

namespace pack {

using core::container::kBlockOverhead;
using core::container::kMaxPayload;
using core::container::kTrailerBytes;
using core::container::WalkEnd;

// A tag as given on the command line: 1 to 4 ASCII letters or digits.
bool ValidTag(const std::string& tag);
// The four stored bytes: the tag padded with zero bytes.
std::string StoredTag(const std::string& tag);

struct Walk {
    std::vector<core::container::Block> blocks;  // nearest the end first
    WalkEnd end;
    int64_t endOffset;  // where the walk stopped (the image's end when sound)
    int64_t fileSize;
    int64_t table;  // the certificate table's offset, -1 when unsigned
};

// Walks the whole file held in `bytes`.
Walk WalkContainer(const std::string& bytes);

// True when the walk ended soundly on the image after at least one block.
bool Sound(const Walk& w);

// True when the 8 bytes at the end of `image` would pass as a trailer, so
// an image ending on them would let the walk run into the image.
bool EndsOnValidTrailer(const std::string& image);

// One block's bytes. The tag must be ValidTag and the payload at most kMaxPayload.
std::string MakeBlock(const std::string& tag, const std::string& payload);

// The nearest-the-end block with this tag (all four stored bytes), or null.
const core::container::Block* FindBlock(const Walk& w, const std::string& tag);

const char* Describe(WalkEnd e);

}  // namespace pack
