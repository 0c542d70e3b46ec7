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
    // What counts is what the updater's walk finds: every block just added,
    // with its payload. An image whose header names a certificate table that
    // is no longer there (a stale entry ending where the file now ends) would
    // send the walk elsewhere, and the updater would find no payload.
    Walk got = WalkContainer(*out);
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        bool repeated = false;  // a later block of the same tag is the one found
        for (size_t j = i + 1; j < entries.size(); ++j) repeated |= entries[j].tag == e.tag;
        if (repeated) continue;
        const core::container::Block* b = got.table < 0 ? FindBlock(got, e.tag) : nullptr;
        if (!b || out->compare(static_cast<size_t>(b->offset) + 4, e.payload.size(), e.payload) != 0 ||
            b->payload != static_cast<int64_t>(e.payload.size())) {
            *error = "the packed file's walk does not find block " + e.tag +
                     (got.table >= 0 ? " (the image's header names a certificate table: clear its security "
                                       "directory entry, or sign after packing)"
                                     : "");
            return false;
        }
    }
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
