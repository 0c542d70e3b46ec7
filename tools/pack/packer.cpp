#include "packer.h"
#include "container.h"

namespace pack {

bool ParseEntry(const std::string& arg, std::string* tag, std::string* file, std::string* error) {
    size_t eq = arg.find('=');
    if (eq == std::string::npos || eq + 1 == arg.size()) {
        *error = "expected TAG=FILE, got \"" + arg + "\"";
        return false;
    }
    *tag = arg.substr(0, eq);
    *file = arg.substr(eq + 1);
    if (!ValidTag(*tag)) {
        *error = "tag \"" + *tag + "\" is not 1 to 4 ASCII letters or digits";
        return false;
    }
    return true;
}

bool BuildContainer(const std::string& image, const std::vector<Entry>& entries, std::string* out, bool* padded,
                    std::string* error) {
    for (const Entry& e : entries) {
        if (!ValidTag(e.tag)) {
            *error = "bad tag \"" + e.tag + "\"";
            return false;
        }
        if (static_cast<int64_t>(e.payload.size()) > kMaxPayload) {
            *error = "payload of " + e.tag + " is too large for a 32-bit length";
            return false;
        }
    }
    Walk had = WalkContainer(image);
    bool carries = had.table < 0 && Sound(had);
    for (const Entry& e : entries) {
        if (carries && FindBlock(had, e.tag)) {
            *error = "the file has a block " + e.tag + " already";
            return false;
        }
    }
    // The walk must stop at the image: its last 8 bytes must not pass for a
    // trailer, or the updater would read into the image as if it were a block.
    *padded = !carries && EndsOnValidTrailer(image);
    *out = image;
    if (*padded) out->append(kTrailerBytes, '\0');
    for (const Entry& e : entries) *out += MakeBlock(e.tag, e.payload);
    return true;
}

bool AlignForSigning(const std::string& packed, std::string* out, std::string* error) {
    Walk w = WalkContainer(packed);
    if (w.table >= 0) {
        *error = "the file is signed already";
        return false;
    }
    if (!Sound(w)) {
        *error = w.blocks.empty() ? "no blocks" : Describe(w.end);
        return false;
    }
    std::string image = packed.substr(0, static_cast<size_t>(w.endOffset));
    std::string gap((8 - packed.size() % 8) % 8, '\0');
    if (EndsOnValidTrailer(image + gap)) gap.append(kTrailerBytes, '\0');
    *out = image + gap + packed.substr(image.size());
    return true;
}

}  // namespace pack
