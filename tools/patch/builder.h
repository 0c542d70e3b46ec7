// Builds a patch file that turns the tree at oldRoot into the tree at newRoot.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "x86.h"

namespace patchbuild {

struct BuildOptions {
    // Files are diffed a window at a time so that neither a file's bytes nor
    // its 32-bit suffix array must be held whole: about 6 bytes of memory per
    // window byte.
    uint64_t window = 256ull << 20;
};

struct BuildStats {
    unsigned madeFolders = 0, added = 0, changed = 0, removedFiles = 0, removedFolders = 0, unchanged = 0;
    unsigned stored = 0, deltas = 0, x86 = 0;
    uint64_t dataBytes = 0, fileBytes = 0;
    std::vector<std::string> skipped;  // symbolic links and other non-files
};

// false with *error set on any failure; the output may then be incomplete.
bool BuildPatch(const std::string& oldRoot, const std::string& newRoot, const std::string& outPath,
                const BuildOptions& options, BuildStats* stats, std::string* error);

// The map for core::x86::Rewrite from a byte delta's copies: the long
// copies only, sorted by old offset, each cut to start after the one before.
std::vector<core::x86::Segment> Disjoint(std::vector<core::x86::Segment> copies);

}  // namespace patchbuild
