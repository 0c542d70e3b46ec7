// A delta stream made on the build machine (64-bit) must decode the same in
// the engine (32-bit Windows): the coder and the mixer are integer-only so
// this holds; these fixed bytes pin it, and pin the stream layout.
#include <gtest/gtest.h>

#include "deltawriter.h"
#include "streams.h"

using enginetest::ApplyBytes;
using enginetest::Bytes;
using enginetest::BytesOut;

namespace {

Bytes OldFile() {
    Bytes b(3000);
    for (size_t i = 0; i < b.size(); i++) b[i] = uint8_t((i * 37) ^ (i >> 3));
    return b;
}

// The old file moved by 5 bytes, with a displacement changed every 50
// bytes up to 1000 (then a zero run longer than kMinZeroRun), 20 bytes
// inserted, and a tail copied from the start.
Bytes NewFile(const Bytes& old) {
    Bytes b;
    for (size_t i = 5; i < 2000; i++) b.push_back(uint8_t(old[i] + (i % 50 == 0 && i < 1000 ? 4 : 0)));
    for (int i = 0; i < 20; i++) b.push_back(uint8_t('a' + i));
    b.insert(b.end(), old.begin(), old.begin() + 700);
    return b;
}

Bytes Encode(const Bytes& old, const Bytes& nu) {
    BytesOut out;
    core::delta::Writer w(out, nu.size());
    w.Command(5, old.data() + 5, nu.data(), 1995, nu.data() + 1995, 20);
    w.Command(0, old.data(), nu.data() + 2015, 700, nullptr, 0);
    EXPECT_TRUE(w.Finish());
    return out.b;
}

const uint8_t kGolden[] = {
#include "golden_delta.inc"
};

TEST(Golden, SameBytesOnEveryBuild) {
    Bytes old = OldFile(), nu = NewFile(old);
    Bytes d = Encode(old, nu);
    std::string dump;
    for (uint8_t x : d) dump += std::to_string(x) + ",";
    EXPECT_EQ(d, Bytes(kGolden, kGolden + sizeof kGolden)) << dump;
    Bytes out;
    ASSERT_EQ(ApplyBytes(old, kGolden, sizeof kGolden, nu.size(), &out), core::delta::Result::ok);
    EXPECT_EQ(out, nu);
}

}  // namespace
