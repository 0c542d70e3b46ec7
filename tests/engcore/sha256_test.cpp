// SHA-256, each block function this CPU can run (portable, SHA-NI), against
// the shared vectors and against each other. Runs on the host and, built for
// Windows, under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sha256.h"
#include "sha256_vectors.h"

namespace {

namespace sha = core::sha256;

// Every block function this CPU can run, the portable one first.
std::vector<sha::Path> Paths() {
    if (sha::CpuHasShaNi()) return {sha::Path::portable, sha::Path::shaNi};
    return {sha::Path::portable};
}

TEST(Sha256, EachPathMatchesSharedVectors) {
    for (sha::Path path : Paths()) {
        for (const auto& v : core::sha256vectors::kVectors) {
            std::string unit(v.unit, v.unitLength), message;
            for (uint32_t i = 0; i < v.repeat; i++) message += unit;
            // Uneven pieces, so block boundaries fall inside updates.
            sha::Sha256 h(path);
            for (size_t at = 0, piece = 1; at < message.size(); at += piece, piece = piece * 3 % 1000 + 1)
                h.Update(message.data() + at, std::min(piece, message.size() - at));
            EXPECT_EQ(h.Finish().Hex(), v.hexDigest) << "path " << int(path) << ", '" << unit << "' x" << v.repeat;
        }
    }
}

// Every length up to five blocks of fixed pseudo-random bytes: the portable
// path fed in two pieces against each path fed whole, each object reused.
TEST(Sha256, PathsAgreeOnEveryShortLength) {
    std::string bytes(320, '\0');
    uint32_t x = 1;
    for (char& c : bytes) c = char((x = x * 1103515245u + 12345u) >> 23);
    sha::Sha256 split(sha::Path::portable);
    for (sha::Path path : Paths()) {
        sha::Sha256 whole(path);
        for (size_t n = 0; n <= bytes.size(); n++) {
            split.Update(bytes.data(), n / 3);
            split.Update(bytes.data() + n / 3, n - n / 3);
            whole.Update(bytes.data(), n);
            ASSERT_EQ(split.Finish().Hex(), whole.Finish().Hex()) << "path " << int(path) << ", length " << n;
        }
    }
}

}  // namespace
