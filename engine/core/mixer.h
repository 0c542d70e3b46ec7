// Logistic mixing of several bit models (as in the PAQ family of
// compressors): each model's probability is stretched, ln(p/(1-p)), the
// stretched values are weighted and summed, and the sum squashed back into a
// probability. The weights learn online which model to trust. Everything is
// integer arithmetic so that every build (x87 or SSE, 32 or 64 bit) codes
// bit-identically.
#pragma once
#include <cstdint>

#include "rangecoder.h"

namespace core::mix {

// Squash sampled at x = -2048, -1920, ..., 2048 and interpolated between.
constexpr int kSquashPoints[33] = {1,    2,    3,    6,    10,   16,   27,   45,   73,   120,  194,
                                   310,  488,  747,  1101, 1546, 2047, 2549, 2994, 3348, 3607, 3785,
                                   3901, 3975, 4022, 4050, 4068, 4079, 4085, 4089, 4092, 4093, 4094};

// 1 / (1 + e^-x): x in 1/256ths, clamped to +-2047; result in 1/4096ths,
// never 0.
constexpr int Squash(int x) {
    if (x > 2047) return 4095;
    if (x < -2047) return 1;
    int frac = x & 127;
    int i = (x >> 7) + 16;
    return (kSquashPoints[i] * (128 - frac) + kSquashPoints[i + 1] * frac + 64) >> 7;
}

// The inverse of Squash for p in [0, 4095], tabulated at compile time.
struct StretchTable {
    int16_t v[4096] = {};
    constexpr StretchTable() {
        int next = 0;
        for (int x = -2047; x <= 2047; x++) {
            int p = Squash(x);
            for (int i = next; i <= p; i++) v[i] = int16_t(x);
            next = p + 1;
        }
        for (int i = next; i < 4096; i++) v[i] = 2047;
    }
};
inline constexpr StretchTable kStretch{};

inline int Stretch(int p) { return kStretch.v[p]; }

// Squash at every x in [-2047, 2047], so the coder's inner loop looks it up.
struct SquashTable {
    int16_t v[4095] = {};
    constexpr SquashTable() {
        for (int x = -2047; x <= 2047; x++) v[x + 2047] = int16_t(Squash(x));
    }
};
inline constexpr SquashTable kSquash{};

// Weights are fixed point with 14 fraction bits, within +-16: four stretched
// inputs (each within +-2047) times their weights sum to less than 2^31, so
// the 32-bit engine mixes in plain 32-bit arithmetic.
constexpr int kMaxInputs = 4;
constexpr int kWeightBits = 14;
constexpr int kWeightOne = 1 << kWeightBits;
constexpr int32_t kWeightLimit = 16 * kWeightOne - 1;

struct Weights {
    int32_t w[kMaxInputs];
};

inline void InitWeights(Weights* sets, int count, int inputs) {
    for (int s = 0; s < count; s++)
        for (int i = 0; i < kMaxInputs; i++) sets[s].w[i] = i < inputs ? kWeightOne / inputs : 0;
}

// A first model this sure (its probability within kSure/65536 of 0 or 1,
// after at least kSureBits bits) codes the bit alone when the caller allows
// it (format 4): no stretching, mixing or weight training for the most
// predictable decisions, 11% fewer instructions to decode the 11 MB
// program for 0.3% more bytes.
constexpr uint32_t kSure = 64;
constexpr uint32_t kSureBits = 30;

// Codes one bit from N models (N <= kMaxInputs) mixed with weight set w, then
// trains the models and the weights on the bit coded; with `sure`, see kSure
// (the models are trained, the weights left).
template <int N, class Coder>
inline unsigned Code(Coder& c, rc::Prob* const (&models)[N], Weights& w, unsigned bit, bool sure) {
    static_assert(N <= kMaxInputs, "weights hold kMaxInputs");
    uint32_t first = rc::Probability(*models[0]);
    if (sure && (first < kSure || first > 0x10000u - kSure) && (*models[0] >> 16) >= kSureBits) {
        bit = c.CodeFixed(first, bit);
        for (int i = 0; i < N; i++) rc::Update(*models[i], bit);
        return bit;
    }
    int st[N];
    int32_t dot = 0;
    for (int i = 0; i < N; i++) {
        st[i] = Stretch(int(rc::Probability(*models[i]) >> 4));
        dot += w.w[i] * st[i];
    }
    int x = dot >> kWeightBits;
    x = x > 2047 ? 2047 : (x < -2047 ? -2047 : x);
    int p = kSquash.v[x + 2047];  // Squash(x): the chance of a 0 bit, 1/4096ths
    uint32_t p16 = uint32_t(p) * 16 + 8;
    bit = c.CodeFixed(p16, bit);
    int err = ((bit == 0) << 12) - p;
    for (int i = 0; i < N; i++) {
        // Clamped: a crafted stream chooses every bit and could otherwise push
        // a weight until it overflows.
        int32_t next = w.w[i] + ((st[i] * err) >> (25 - kWeightBits));
        w.w[i] = next > kWeightLimit ? kWeightLimit : (next < -kWeightLimit ? -kWeightLimit : next);
        rc::Update(*models[i], bit);
    }
    return bit;
}

}  // namespace core::mix
