// Building a container onto an executable image, in memory.
#pragma once
#include <string>
#include <vector>

namespace pack {

struct Entry {
    std::string tag;
    std::string payload;
};

// Parses "TAG=FILE"; false with a reason when malformed.
bool ParseEntry(const std::string& arg, std::string* tag, std::string* file, std::string* error);

// image + (8 zero bytes when the image's own end would pass for a trailer)
// + one block per entry, in the given order. An image that carries blocks
// already (an unsigned, sound walk) gets the new ones after them, unpadded,
// so the walk still finds the earlier ones. False with a reason when a tag
// is not 1-4 letters or digits, is in the image already, or a payload is
// too large for the length field, or when the walk of the result (as the
// updater walks it) would not find every new block with its payload. *padded
// tells whether the zero bytes were needed.
bool BuildContainer(const std::string& image, const std::vector<Entry>& entries, std::string* out, bool* padded,
                    std::string* error);

// The packed file with zero bytes put between the image and its first block
// so that its length is a multiple of 8 (and, as BuildContainer does, 8 more
// when the image's end with those would pass for a trailer). A signer then
// puts the certificate table right after the last block, with no alignment
// bytes of its own between. False with a reason when the container is not
// sound or the file is signed already.
bool AlignForSigning(const std::string& packed, std::string* out, std::string* error);

}  // namespace pack
