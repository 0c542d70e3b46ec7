// Delta streams coded with core::delta::Writer and read back with core::delta::Apply,
// then damaged every way a file can be damaged.
#include <gtest/gtest.h>

#include <random>

#include "deltawriter.h"
#include "streams.h"

using enginetest::ApplyBytes;
using enginetest::ApplySegmented;
using enginetest::Bytes;
using enginetest::BytesOut;

namespace {

struct Cmd {
    uint64_t oldPos, copy, extra;
};

using core::delta::Copies;

// Codes new = commands over old; the copies' diff bytes come from newBytes.
// segments: 0 for one stream (format 3's layout), else a segmented delta
// of that many segments (format 4's).
template <class W>
Bytes Code(W& w, BytesOut& out, const Bytes& old, const Bytes& nu, const std::vector<Cmd>& cmds) {
    uint64_t at = 0;
    for (const Cmd& c : cmds) {
        w.Command(c.oldPos, old.data() + c.oldPos, nu.data() + at, c.copy, nu.data() + at + c.copy, c.extra);
        at += c.copy + c.extra;
    }
    EXPECT_EQ(at, nu.size());
    EXPECT_TRUE(w.Finish());
    EXPECT_EQ(w.BytesWritten(), out.b.size());
    return out.b;
}

Bytes Encode(const Bytes& old, const Bytes& nu, const std::vector<Cmd>& cmds, Copies how = Copies::groups4,
             uint32_t segments = 0) {
    BytesOut out;
    if (segments != 0) {
        core::delta::SegmentWriter w(out, nu.size(), how, segments);
        return Code(w, out, old, nu, cmds);
    }
    core::delta::Writer w(out, nu.size(), how);
    return Code(w, out, old, nu, cmds);
}

constexpr Copies kAll[] = {Copies::groups4, Copies::bytes, Copies::groups3, Copies::bytes3};

Bytes Random(std::mt19937& rng, size_t n) {
    Bytes b(n);
    for (auto& x : b) x = uint8_t(rng());
    return b;
}

// An old file, a new one made from pieces of it with some bytes changed and
// some inserted, and the commands that say so.
struct Case {
    Bytes old, nu;
    std::vector<Cmd> cmds;
};

Case MakeCase(uint32_t seed, size_t oldSize, int pieces) {
    std::mt19937 rng(seed);
    Case c;
    c.old = Random(rng, oldSize);
    for (int i = 0; i < pieces; i++) {
        uint64_t pos = oldSize ? rng() % oldSize : 0;
        uint64_t copy = oldSize ? rng() % (oldSize - pos + 1) : 0;
        uint64_t extra = rng() % 50;
        if (copy + extra == 0) extra = 1;
        for (uint64_t k = 0; k < copy; k++) c.nu.push_back(uint8_t(c.old[pos + k] + (rng() % 16 == 0 ? rng() : 0)));
        Bytes lit = Random(rng, extra);
        c.nu.insert(c.nu.end(), lit.begin(), lit.end());
        c.cmds.push_back({pos, copy, extra});
    }
    return c;
}

// Random commands with every copy coding, edge sizes, and lengths of every
// width through the number coder, forward and backward seeks; each also
// cut into segments (commands cut across them), decoded on one thread and
// on three with the same result.
TEST(Delta, RoundTrips) {
    std::vector<Case> cases;
    for (uint32_t seed = 1; seed <= 30; seed++) cases.push_back(MakeCase(seed, 1 + seed * 977, int(seed % 7) + 1));
    Bytes empty, one{7}, ten(10, 0xAB);
    cases.push_back({empty, empty, {}});
    cases.push_back({ten, empty, {}});
    cases.push_back({empty, one, {{0, 0, 1}}});
    cases.push_back({ten, ten, {{9, 1, 0}, {0, 9, 0}}});
    cases.push_back({ten, ten, {{5, 0, 3}, {3, 0, 0}, {3, 7, 0}}});  // a command that makes nothing is dropped
    std::mt19937 rng(5);
    Case c{Random(rng, 200000), {}, {}};
    for (uint64_t len :
         {1ull, 2ull, 3ull, 4ull, 7ull, 8ull, 9ull, 255ull, 256ull, 65535ull, 65536ull, 65537ull, 131071ull}) {
        uint64_t pos = c.old.size() - len - (len % 3);
        c.nu.insert(c.nu.end(), c.old.begin() + long(pos), c.old.begin() + long(pos + len));
        c.cmds.push_back({pos, len, 0});
    }
    cases.push_back(c);
    for (size_t i = 0; i < cases.size(); i++) {
        Copies how = kAll[i % 4];
        Bytes d = Encode(cases[i].old, cases[i].nu, cases[i].cmds, how), out;
        if (cases[i].nu.empty()) {
            EXPECT_EQ(d.size(), 1u);  // the flush alone
        }
        ASSERT_EQ(ApplyBytes(cases[i].old, d.data(), d.size(), cases[i].nu.size(), &out, how), core::delta::Result::ok)
            << i;
        EXPECT_EQ(out, cases[i].nu) << i;
        Bytes s = Encode(cases[i].old, cases[i].nu, cases[i].cmds, how, uint32_t(i % 5 + 1)), one, three;
        ASSERT_EQ(ApplySegmented(cases[i].old, s.data(), s.size(), cases[i].nu.size(), 1, &one, how),
                  core::delta::Result::ok)
            << i;
        ASSERT_EQ(ApplySegmented(cases[i].old, s.data(), s.size(), cases[i].nu.size(), 3, &three, how),
                  core::delta::Result::ok)
            << i;
        EXPECT_EQ(one, cases[i].nu) << i;
        EXPECT_EQ(three, cases[i].nu) << i;
    }
}

TEST(Delta, RefusesSizesThatDoNotFit) {
    Case c = MakeCase(77, 3000, 4);
    Bytes d = Encode(c.old, c.nu, c.cmds), out;
    EXPECT_EQ(ApplyBytes(c.old, d.data(), d.size(), c.nu.size() - 1, &out), core::delta::Result::corrupt);
    EXPECT_EQ(ApplyBytes(c.old, d.data(), d.size(), c.nu.size() + 1, &out), core::delta::Result::corrupt);
    Bytes longer = d;
    longer.push_back(0);
    EXPECT_EQ(ApplyBytes(c.old, longer.data(), longer.size(), c.nu.size(), &out), core::delta::Result::corrupt);
    // The last old byte is read: an old file one byte short must be refused.
    Bytes ten(10, 3), nine(9, 3);
    Bytes tail = Encode(ten, ten, {{9, 1, 0}, {0, 9, 0}});
    EXPECT_EQ(ApplyBytes(nine, tail.data(), tail.size(), 10, &out), core::delta::Result::corrupt);
}

// Every copy coding, one stream and three segments, every byte flipped three
// ways and every truncation. A damaged delta may decode to something, but
// never outside the sizes it was given (the streams in streams.h fail the
// test if it does), and nearly always it is refused; a truncated one always.
// A segmented one decodes alike on one thread and on three.
TEST(Delta, EveryByteFlippedAndEveryTruncation) {
    Case c = MakeCase(11, 2000, 4);
    for (Copies how : kAll) {
        for (uint32_t segments : {0u, 3u}) {
            Bytes d = Encode(c.old, c.nu, c.cmds, how, segments), out, again;
            auto apply = [&](const Bytes& bad, size_t n, unsigned threads, Bytes* to) {
                return segments == 0 ? ApplyBytes(c.old, bad.data(), n, c.nu.size(), to, how)
                                     : ApplySegmented(c.old, bad.data(), n, c.nu.size(), threads, to, how);
            };
            // Each of the first 128 bytes (the segment table and the coders'
            // starts), then every 13th, each with one of three flips in turn:
            // a decoder's tables are megabytes, and every flip of every byte
            // took minutes. The threads' result is held against one
            // thread's on every seventh.
            const uint8_t masks[] = {0x01, 0x80, 0xFF};
            auto next = [](size_t i) { return i < 128 ? i + 1 : i + 13; };
            int refused = 0, tries = 0;
            for (size_t i = 0; i < d.size(); i = next(i)) {
                Bytes bad = d;
                bad[i] ^= masks[i % 3];
                core::delta::Result r = apply(bad, bad.size(), 1, &out);
                refused += r != core::delta::Result::ok;
                EXPECT_TRUE(r != core::delta::Result::ok || out.size() == c.nu.size());
                if (segments != 0 && i % 7 == 0) {
                    core::delta::Result r3 = apply(bad, bad.size(), 3, &again);
                    EXPECT_EQ(r3 == core::delta::Result::ok, r == core::delta::Result::ok) << i;
                    if (r == core::delta::Result::ok) {
                        EXPECT_EQ(again, out) << i;
                    }
                }
                tries++;
            }
            EXPECT_GT(refused, tries / 2);
            for (size_t n = 0; n < d.size(); n = next(n)) EXPECT_NE(apply(d, n, 3, &out), core::delta::Result::ok) << n;
        }
    }
}

}  // namespace
