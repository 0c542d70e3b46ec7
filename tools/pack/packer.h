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
// + one block per entry, in the given order. False with a reason when a tag
// is not 1-4 letters or digits or a payload is too large for the length
// field. *padded tells whether the zero bytes were needed.
bool BuildContainer(const std::string& image, const std::vector<Entry>& entries, std::string* out,
                    bool* padded, std::string* error);

}  // namespace pack
