// The probability models of a delta stream, written once over the coder type
// (rc::Encoder or rc::Decoder) so that the builder and Apply cannot drift apart.
//
// Stream layout (all of it range coded, one stream, no side tables):
//   command*  until the new size is reached, then the coder's flush.
//   command = seek   signed: the old position moves by this before the copy
//             copy   unsigned: bytes made as old byte + diff byte
//             diff   `copy` diff bytes
//             extra  unsigned: bytes taken from the stream as they are
//             bytes  `extra` literal bytes
// Every command makes at least one byte. The old position starts at 0 and
// advances by `copy`; it stays within [0, old size] and copies stay inside it.
//
// Dirty spans go in groups of four diff bytes, one "all zero" bit each (see
// CodeDiffs). Format 3 told that bit by the zero pattern and a hash of the
// group's own old bytes; format 4 (Copies::groups4) by the pair of old
// bytes before each of the group's bytes, as the byte-by-byte zero flag is
// told: in x86-64 code, where every RIP-relative operand of moved code
// changes, the hash left a 47 MB library's patch 50% larger than coding
// byte by byte, the pairs 9% smaller.
//
// Contexts. Most diff bytes are zero (code that only moved); where code
// refers to something that moved, the displacement bytes change, the same way
// each time. So a diff byte is first coded zero/non-zero by three models
// mixed: the zero pattern of the last eight diff bytes, the last four with the
// old byte before, and the last two with the two old bytes before (which say
// "this is the operand of a call"). A non-zero diff byte is coded bitwise by
// three mixed trees: under the last non-zero diff byte, under the old byte it
// is added to (carries), and alone. Literal bytes mix three trees: order 1,
// order 0 and hashed order 2; in a new file of 4 MiB or more, a fourth, hashed
// order 3. The hashed tables grow with the new file's size (LiteralBits) so
// that small files neither pay for nor wait on the memory of large ones (on
// little data an order-3 model only adds noise).
#pragma once
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "mixer.h"
#include "rangecoder.h"

namespace core::delta {

// Zero runs shorter than this stay inside a dirty span (see Writer::CopyBody);
// the builder's default.
constexpr uint64_t kMinZeroRun = 256;

struct NumberModel {
    rc::Prob width[128];    // bit width of the value, 0..64, as a 7-bit tree
    rc::Prob high[65][16];  // the three bits below the leading one, per width
};

// log2 of the buckets of each hashed literal table for a new file of
// `newSize` bytes: 2^10 (1.1 MB a table) below 4 MiB, where order 3 is not
// used, up to 2^13 (8.9 MB a table) from 16 MiB on; 2^12 for an 11 MB
// program, 1% larger than 2^13 and half the memory. Both sides derive it
// from the size, so nothing is stored.
constexpr int kLiteralBitsLeast = 10;
inline int LiteralBits(uint64_t newSize) {
    int bits = 0;
    while (bits < 63 && (newSize >> (bits + 1)) != 0) bits++;  // floor(log2)
    bits -= 11;
    return bits < kLiteralBitsLeast ? kLiteralBitsLeast : (bits > 13 ? 13 : bits);
}

// Every byte tree is laid out in nibble order, so that a byte touches two
// 64-byte lines of a table larger than the caches, not five: the high
// nibble's 15 nodes in the first line, then one line per high nibble for
// the low nibble's 15 nodes (slot 0 of each line unused). Where a node
// lies is memory layout only; what is coded is the same 256-leaf tree.
constexpr size_t kBucketProbs = 17 * 16;
constexpr size_t kLineProbs = 64 / sizeof(rc::Prob);

// 2 MB plus the tables that grow with the new file (Layout; ModelBytes
// tells the whole): 2.5 MB for a new file under 4 MiB coded as zero runs,
// 23 MB from 16 MiB on. Apply and Writer each hold one on the heap.
struct Model {
    Copies copies;
    bool sure;  // format 4: a sure first model codes without the mixer (mix::Code)
    // The group bit's tables (see CodeDiffs), in quietStore; none for
    // byte-by-byte copies. groups3: quietByHistory 2^12 models by the zero pattern
    // and the old byte before, quietByOld 2^quietBits hashed. groups4:
    // quietByHistory by the zero pattern and the two old bytes before,
    // masked to quietMask, quietByPair three 2^16 tables, one per byte after
    // the first, by the two old bytes before it.
    std::vector<rc::Prob> quietStore;
    rc::Prob* quietByHistory;
    rc::Prob* quietByOld;
    rc::Prob* quietByPair;
    unsigned quietMask;
    int quietShift;  // groups3: 32 - quietBits
    mix::Weights quietMix[16];
    rc::Prob zeroByHistory[512];
    rc::Prob zeroByOld[4096];
    rc::Prob zeroByOld2[1 << 18];
    mix::Weights zeroMix[16];
    mix::Weights diffMix[256];
    // The byte trees, kBucketProbs each, all in treeStore and line-aligned
    // there; each pointer is its first tree.
    std::vector<rc::Prob> treeStore;
    rc::Prob* diffByLast;  // 256 trees, by the last non-zero diff byte
    rc::Prob* diffByOld;   // 256 trees, by the old byte
    rc::Prob* diffAlone;
    rc::Prob* literal1;  // 256 trees, by the last new byte
    rc::Prob* literal0;
    rc::Prob* literal2;  // 2^LiteralBits trees, hashed
    rc::Prob* literal3;  // as many, or null: no order 3 below 4 MiB
    int literalShift;    // 32 - LiteralBits
    mix::Weights literalMix[256];
    rc::Prob seekSign;
    NumberModel seek, copy, extra, zeroRun, dirtyRun;
    unsigned zeroHistory;  // 1 bits for the non-zero diff bytes, newest lowest
    uint8_t lastNew, lastNew2, lastNew3, lastDiff, prevOld, prevOld2;

    Model() = default;
    Model(const Model&) = delete;  // points into its own store
    Model& operator=(const Model&) = delete;
    void Reset(uint64_t newSize, Copies copies);
};

template <class T, size_t N>
inline void InitAll(T (&a)[N]) {
    rc::Init(reinterpret_cast<rc::Prob*>(&a[0]), sizeof a / sizeof(rc::Prob));
}

// How large a model's tables are for a new file of newSize bytes; both sides
// derive it from the size, so nothing is stored.
struct Layout {
    int bits;                // LiteralBits
    size_t hashed, hashed3;  // trees of literal2 and literal3
    // The group bit's tables, in models. groups3: as format 3 sized them,
    // quietByOld 2^(LiteralBits + 6) hashed models, at most 2^18. groups4:
    // quietByHistory 2^20 models from 8 MiB on, down to 2^18 below 4 MiB
    // (high bits of the second old byte dropped), so that a small file does
    // not pay for setting up 4 MB. None for byte-by-byte copies.
    size_t history, second;
    int quietBits;  // groups3: log2 of quietByOld's models
    size_t treeProbs() const { return (256 + 256 + 1 + 256 + 1 + hashed + hashed3) * kBucketProbs + kLineProbs; }
    size_t quietProbs() const { return history + second + kLineProbs; }
};

inline Layout LayoutFor(uint64_t newSize, Copies how) {
    Layout l;
    l.bits = LiteralBits(newSize);
    l.hashed = size_t(1) << l.bits;
    l.hashed3 = l.bits > kLiteralBitsLeast ? l.hashed : 0;
    l.quietBits = l.bits + 6 < 18 ? l.bits + 6 : 18;
    l.history = how == Copies::groups3 ? size_t(1) << 12 : size_t(1) << (l.bits + 8 < 20 ? l.bits + 8 : 20);
    l.second = how == Copies::groups3 ? size_t(1) << l.quietBits : size_t(3) << 16;
    if (!Runs(how)) l.history = l.second = 0;
    return l;
}

// The heap a model takes for a new file of newSize bytes.
inline size_t ModelBytes(uint64_t newSize, Copies how) {
    Layout l = LayoutFor(newSize, how);
    return sizeof(Model) + (l.treeProbs() + l.quietProbs()) * sizeof(rc::Prob);
}

inline rc::Prob* LineAligned(rc::Prob* p) {
    return p + (kLineProbs - reinterpret_cast<uintptr_t>(p) / sizeof(rc::Prob) % kLineProbs) % kLineProbs;
}

inline void Model::Reset(uint64_t newSize, Copies how) {
    copies = how;
    sure = Format4(how);
    InitAll(zeroByHistory);
    InitAll(zeroByOld);
    InitAll(zeroByOld2);
    Layout l = LayoutFor(newSize, how);
    literalShift = 32 - l.bits;
    treeStore.assign(l.treeProbs(), rc::kProbHalf);
    rc::Prob* next = LineAligned(treeStore.data());
    for (auto [table, trees] : {std::pair{&diffByLast, size_t(256)},
                                {&diffByOld, size_t(256)},
                                {&diffAlone, size_t(1)},
                                {&literal1, size_t(256)},
                                {&literal0, size_t(1)},
                                {&literal2, l.hashed},
                                {&literal3, l.hashed3}}) {
        *table = trees != 0 ? next : nullptr;
        next += trees * kBucketProbs;
    }
    quietStore.assign(l.quietProbs(), rc::kProbHalf);
    quietByHistory = LineAligned(quietStore.data());
    quietByOld = quietByPair = quietByHistory + l.history;
    quietMask = unsigned(l.history - 1);
    quietShift = 32 - l.quietBits;
    mix::InitWeights(quietMix, 16, how == Copies::groups3 ? 2 : 4);
    rc::Init(&seekSign, 1);
    for (NumberModel* m : {&seek, &copy, &extra, &zeroRun, &dirtyRun}) {
        InitAll(m->width);
        InitAll(m->high);
    }
    mix::InitWeights(zeroMix, 16, 3);
    mix::InitWeights(diffMix, 256, 3);
    mix::InitWeights(literalMix, 256, 3);  // order 3 starts unweighted: small files code as with three
    zeroHistory = 0;
    lastNew = lastNew2 = lastNew3 = lastDiff = prevOld = prevOld2 = 0;
}

// Codes a byte down N 256-leaf trees (kBucketProbs each, in nibble order)
// mixed, one weight set per node.
template <int N, class Coder>
inline uint8_t CodeByteMixed(Coder& c, rc::Prob* const (&trees)[N], mix::Weights* sets, uint8_t value, bool sure) {
    unsigned node = 1, line = 0, sub = 1;  // sub: the node within its nibble's tree, which starts at line
    for (int i = 7; i >= 0; i--) {
        rc::Prob* models[N];
        for (int k = 0; k < N; k++) models[k] = &trees[k][line + sub];
        unsigned bit = mix::Code(c, models, sets[node], (value >> i) & 1, sure);
        node = (node << 1) | bit;
        sub = (sub << 1) | bit;
        if (i == 4) {
            line = unsigned(kLineProbs) * (node - 15);  // the high nibble is node - 16
            sub = 1;
            for (int k = 0; k < N; k++) __builtin_prefetch(&trees[k][line]);
        }
    }
    return uint8_t(node);
}

inline int BitWidth(uint64_t v) {
    int w = 0;
    while (v != 0) {
        w++;
        v >>= 1;
    }
    return w;
}

// Codes an unsigned number: its width, then the three bits under the leading
// one through models, then the rest as plain bits. A damaged stream may
// decode a width above 64: it is clamped here, and the value that results is
// caught by the caller's range checks.
template <class Coder>
inline uint64_t CodeNumber(Coder& c, NumberModel& m, uint64_t value) {
    int width = BitWidth(value);
    unsigned node = 1;
    for (int i = 6; i >= 0; i--) node = (node << 1) | c.Code(m.width[node], (unsigned(width) >> i) & 1);
    width = int(node - 128);
    if (width > 64) width = 64;
    if (width <= 1) return uint64_t(width);
    int rest = width - 1;
    int modelled = rest < 3 ? rest : 3;
    uint64_t result = 1;
    node = 1;
    for (int i = rest - 1; i >= rest - modelled; i--) {
        unsigned bit = c.Code(m.high[width][node], unsigned(value >> i) & 1);
        node = (node << 1) | bit;
        result = (result << 1) | bit;
    }
    for (int left = rest - modelled; left > 0;) {
        int n = left > 16 ? 16 : left;
        left -= n;
        result = (result << n) | c.Direct(uint32_t(value >> left) & ((1u << n) - 1), n);
    }
    return result;
}

// Seek distances as magnitude then sign; a damaged stream may give any
// magnitude up to 2^64-1, which the caller range-checks.
template <class Coder>
inline uint64_t CodeSeek(Coder& c, Model& m, uint64_t magnitude, bool negative, bool* outNegative) {
    uint64_t mag = CodeNumber(c, m.seek, magnitude);
    *outNegative = mag != 0 && c.Code(m.seekSign, negative ? 1 : 0) != 0;
    return mag;
}

// Codes the diff byte that turns oldByte into the new byte; returns it.
template <class Coder>
inline uint8_t CodeDiff(Coder& c, Model& m, uint8_t oldByte, uint8_t diff) {
    unsigned h = m.zeroHistory;
    rc::Prob* models[3] = {&m.zeroByHistory[(h & 255) | unsigned(m.prevOld == 0) << 8],
                           &m.zeroByOld[(h & 15) | unsigned(m.prevOld) << 4],
                           &m.zeroByOld2[(h & 3) | unsigned(m.prevOld) << 2 | unsigned(m.prevOld2) << 10]};
    unsigned nonZero = mix::Code(c, models, m.zeroMix[h & 15], diff != 0, m.sure);
    m.zeroHistory = (h << 1) | nonZero;
    uint8_t d = 0;
    if (nonZero) {
        rc::Prob* const trees[3] = {m.diffByLast + m.lastDiff * kBucketProbs, m.diffByOld + oldByte * kBucketProbs,
                                    m.diffAlone};
        d = CodeByteMixed(c, trees, m.diffMix, diff, m.sure);
        m.lastDiff = d;
    }
    m.prevOld2 = m.prevOld;
    m.prevOld = oldByte;
    m.lastNew3 = m.lastNew2;
    m.lastNew2 = m.lastNew;
    m.lastNew = uint8_t(oldByte + d);
    return d;
}

// Moves the diff contexts past a run of `n` (>= 1) zero diff bytes whose
// last old bytes were before[0..2] (newest last; those before the run are
// ignored), without coding anything.
inline void SkipZeros(Model& m, uint64_t n, const uint8_t (&before)[3]) {
    m.zeroHistory = n >= 32 ? 0 : m.zeroHistory << n;
    m.prevOld2 = n >= 2 ? before[1] : m.prevOld;
    m.prevOld = before[2];
    m.lastNew3 = n >= 3 ? before[0] : (n == 2 ? m.lastNew : m.lastNew2);
    m.lastNew2 = n >= 2 ? before[1] : m.lastNew;
    m.lastNew = before[2];
}

// The context of quietByOld (groups3) for the group of four at old[0..3].
inline unsigned QuietContext(const Model& m, const uint8_t* old, uint8_t prevOld) {
    uint32_t group = uint32_t(old[0]) | uint32_t(old[1]) << 8 | uint32_t(old[2]) << 16 | uint32_t(old[3]) << 24;
    return ((group * 0x9E3779B1u) ^ (unsigned(prevOld) * 0x85EBCA6Bu)) >> m.quietShift;
}

// groups4: the group bit's model by the zero pattern and the old bytes
// before the group, and the one by the two old bytes before its byte k
// (1..3; old[-1] must be readable for k = 1).
inline unsigned QuietHistory(const Model& m, unsigned history, uint8_t prevOld, uint8_t prevOld2) {
    return ((history & 15) | unsigned(prevOld) << 4 | unsigned(prevOld2) << 12) & m.quietMask;
}
inline unsigned QuietPair(const uint8_t* old, int k) {
    return unsigned(k - 1) << 16 | unsigned(old[k - 2]) << 8 | old[k - 1];
}

// The old bytes ahead are known, so are the lines the group at old[0..3]
// will use: fetched a group ahead, they are in cache by then.
inline void FetchGroup(const Model& m, const uint8_t* old) {
    if (m.copies == Copies::groups4) {
        __builtin_prefetch(&m.quietByHistory[QuietHistory(m, 0, old[-1], old[-2])]);
        for (int k = 1; k < 4; k++) __builtin_prefetch(&m.quietByPair[QuietPair(old, k)]);
    } else {
        __builtin_prefetch(&m.quietByOld[QuietContext(m, old, old[-1])]);
    }
    for (int k = 0; k < 4; k++)
        __builtin_prefetch(&m.zeroByOld2[unsigned(old[k - 1]) << 2 | unsigned(old[k - 2]) << 10]);
}

// Codes the `n` diff bytes of a dirty span that turn old[] into new bytes
// (written to out[] when decoding; `diffs` is read only when encoding).
// Each group of four starts with one bit, "all four are zero", under the
// recent zero pattern and the old bytes (see Model); only groups with a
// non-zero byte code their bytes one by one, so the quiet stretches of a
// span cost a quarter of the decisions. Groups are counted from old[0], so
// a caller that codes a span in pieces passes pieces of whole groups (only
// the span's last piece may end in a short tail, coded byte by byte).
template <class Coder>
inline void CodeDiffs(Coder& c, Model& m, const uint8_t* old, const uint8_t* diffs, uint8_t* out, size_t n) {
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        unsigned h = m.zeroHistory;
        unsigned quiet = 0;
        if (diffs != nullptr) quiet = (diffs[i] | diffs[i + 1] | diffs[i + 2] | diffs[i + 3]) == 0;
        if (i + 8 <= n) FetchGroup(m, old + i + 4);
        if (m.copies == Copies::groups4) {
            const uint8_t* g = old + i;
            rc::Prob* const models[4] = {&m.quietByHistory[QuietHistory(m, h, m.prevOld, m.prevOld2)],
                                         &m.quietByPair[unsigned(m.prevOld) << 8 | g[0]],
                                         &m.quietByPair[QuietPair(g, 2)], &m.quietByPair[QuietPair(g, 3)]};
            quiet = mix::Code(c, models, m.quietMix[h & 15], !quiet, true) == 0;
        } else {
            rc::Prob* const models[2] = {&m.quietByHistory[(h & 15) | unsigned(m.prevOld) << 4],
                                         &m.quietByOld[QuietContext(m, old + i, m.prevOld)]};
            quiet = mix::Code(c, models, m.quietMix[h & 15], !quiet, false) == 0;
        }
        if (quiet) {
            const uint8_t before[3] = {old[i + 1], old[i + 2], old[i + 3]};
            SkipZeros(m, 4, before);
            if (out != nullptr) std::memcpy(out + i, old + i, 4);
            continue;
        }
        for (size_t k = i; k < i + 4; k++) {
            uint8_t d = CodeDiff(c, m, old[k], diffs != nullptr ? diffs[k] : 0);
            if (out != nullptr) out[k] = uint8_t(old[k] + d);
        }
    }
    for (; i < n; i++) {
        uint8_t d = CodeDiff(c, m, old[i], diffs != nullptr ? diffs[i] : 0);
        if (out != nullptr) out[i] = uint8_t(old[i] + d);
    }
}

// Codes a literal byte; returns it.
template <class Coder>
inline uint8_t CodeLiteral(Coder& c, Model& m, uint8_t value) {
    unsigned h2 = (m.lastNew2 * 0x9E3779B1u) >> m.literalShift ^ m.lastNew;
    uint8_t b;
    if (m.literal3 == nullptr) {
        rc::Prob* const trees[3] = {m.literal1 + m.lastNew * kBucketProbs, m.literal0, m.literal2 + h2 * kBucketProbs};
        b = CodeByteMixed(c, trees, m.literalMix, value, m.sure);
    } else {
        unsigned h3 = (m.lastNew3 * 0x2545F491u ^ m.lastNew2 * 0x9E3779B1u) >> m.literalShift ^ m.lastNew;
        rc::Prob* const trees[4] = {m.literal1 + m.lastNew * kBucketProbs, m.literal0, m.literal2 + h2 * kBucketProbs,
                                    m.literal3 + h3 * kBucketProbs};
        b = CodeByteMixed(c, trees, m.literalMix, value, m.sure);
    }
    m.lastNew3 = m.lastNew2;
    m.lastNew2 = m.lastNew;
    m.lastNew = b;
    return b;
}

}  // namespace core::delta
