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

template <class W>
Bytes Encode(W&& w, BytesOut& out, const Bytes& old, const Bytes& nu) {
    w.Command(5, old.data() + 5, nu.data(), 1995, nu.data() + 1995, 20);
    w.Command(0, old.data(), nu.data() + 2015, 700, nullptr, 0);
    EXPECT_TRUE(w.Finish());
    return out.b;
}

// Format 3: one stream, groups told by the group's own old bytes; format 4:
// two segments (the first command cut in two), groups told by old pairs.
const uint8_t kGolden3[] = {
#include "golden_delta.inc"
};
const uint8_t kGolden4[] = {
#include "golden_delta4.inc"
};

TEST(Golden, SameBytesOnEveryBuild) {
    Bytes old = OldFile(), nu = NewFile(old);
    BytesOut out3, out4;
    Bytes d3 = Encode(core::delta::Writer(out3, nu.size(), core::delta::Copies::groups3), out3, old, nu);
    Bytes d4 = Encode(core::delta::SegmentWriter(out4, nu.size(), core::delta::Copies::groups4, 2), out4, old, nu);
    for (const Bytes* d : {&d3, &d4}) {
        std::string dump;
        for (uint8_t x : *d) dump += std::to_string(x) + ",";
        EXPECT_EQ(*d,
                  d == &d3 ? Bytes(kGolden3, kGolden3 + sizeof kGolden3) : Bytes(kGolden4, kGolden4 + sizeof kGolden4))
            << dump;
    }
    Bytes out;
    ASSERT_EQ(ApplyBytes(old, kGolden3, sizeof kGolden3, nu.size(), &out, core::delta::Copies::groups3),
              core::delta::Result::ok);
    EXPECT_EQ(out, nu);
    ASSERT_EQ(enginetest::ApplySegmented(old, kGolden4, sizeof kGolden4, nu.size(), 2, &out), core::delta::Result::ok);
    EXPECT_EQ(out, nu);
}

}  // namespace
