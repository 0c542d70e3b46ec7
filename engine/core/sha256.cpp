#include "sha256.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#define CORE_SHA256_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace core::sha256 {

namespace {

alignas(16) constexpr uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                  0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

inline uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

inline uint32_t LoadBig(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void CompressPortable(uint32_t state[8], const uint8_t* data, size_t blocks) {
    uint32_t w[64];
    for (; blocks > 0; blocks--, data += 64) {
        for (int i = 0; i < 16; i++) w[i] = LoadBig(data + 4 * i);
        for (int i = 16; i < 64; i++) {
            uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; i++) {
            uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
            uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#ifdef CORE_SHA256_X86
// The instructions keep the state as two vectors, ABEF and CDGH (a in the
// top lane), and take the message four words at a time, two rounds per
// sha256rnds2. On i686 Windows a thread's stack may be only 4-byte aligned,
// so the function realigns its own before it spills vectors.
#ifdef __i386__
#define CORE_SHA256_REALIGN __attribute__((force_align_arg_pointer))
#else
#define CORE_SHA256_REALIGN
#endif
__attribute__((target("sha,sse4.1"))) CORE_SHA256_REALIGN void CompressShaNi(uint32_t state[8], const uint8_t* data,
                                                                             size_t blocks) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
    for (; blocks > 0; blocks--, data += 64) {
        const __m128i abefBefore = abef, cdghBefore = cdgh;
        // w[j & 3] holds message words 4j..4j+3 of the 16-group schedule.
        __m128i w[4];
#pragma GCC unroll 16
        for (int j = 0; j < 16; j++) {
            if (j < 4) {
                w[j] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * j)), byteSwap);
            } else {
                // W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16], four at a time.
                __m128i back7 = _mm_alignr_epi8(w[(j + 3) & 3], w[(j + 2) & 3], 4);
                __m128i part = _mm_add_epi32(_mm_sha256msg1_epu32(w[j & 3], w[(j + 1) & 3]), back7);
                w[j & 3] = _mm_sha256msg2_epu32(part, w[(j + 3) & 3]);
            }
            __m128i wk = _mm_add_epi32(w[j & 3], _mm_load_si128(reinterpret_cast<const __m128i*>(kRound + 4 * j)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E));
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}
#endif

void Compress(Path path, uint32_t state[8], const uint8_t* data, size_t blocks) {
#ifdef CORE_SHA256_X86
    if (path == Path::shaNi) return CompressShaNi(state, data, blocks);
#else
    (void)path;
#endif
    CompressPortable(state, data, blocks);
}

}  // namespace

bool Digest::operator==(const Digest& o) const { return std::memcmp(bytes, o.bytes, 32) == 0; }

std::string Digest::Hex() const {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : bytes) {
        s += kDigits[b >> 4];
        s += kDigits[b & 15];
    }
    return s;
}

bool CpuHasShaNi() {
#ifdef CORE_SHA256_X86
    static const bool has = [] {
        unsigned a, b, c, d;
        if (__get_cpuid_max(0, nullptr) < 7 || !__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSE4_1)) return false;
        __cpuid_count(7, 0, a, b, c, d);
        return (b & (1u << 29)) != 0;
    }();
    return has;
#else
    return false;
#endif
}

Path FastestPath() { return CpuHasShaNi() ? Path::shaNi : Path::portable; }

Sha256::Sha256(Path path) : path_(path) { Restart(); }

void Sha256::Restart() {
    std::memcpy(state_, kInitial, sizeof(state_));
    length_ = 0;
    fill_ = 0;
}

void Sha256::Update(const void* data, size_t n) {
    auto* p = static_cast<const uint8_t*>(data);
    length_ += n;
    if (fill_ != 0) {
        size_t take = n < 64 - fill_ ? n : 64 - fill_;
        std::memcpy(block_ + fill_, p, take);
        fill_ += take;
        p += take;
        n -= take;
        if (fill_ < 64) return;
        Compress(path_, state_, block_, 1);
        fill_ = 0;
    }
    if (n >= 64) {
        Compress(path_, state_, p, n / 64);
        p += n / 64 * 64;
        n %= 64;
    }
    std::memcpy(block_, p, n);
    fill_ = n;
}

Digest Sha256::Finish() {
    // Padding: 0x80, zeros up to 56 mod 64, then the bit length big-endian.
    uint64_t bits = length_ * 8;
    block_[fill_++] = 0x80;
    if (fill_ > 56) {
        std::memset(block_ + fill_, 0, 64 - fill_);
        Compress(path_, state_, block_, 1);
        fill_ = 0;
    }
    std::memset(block_ + fill_, 0, 56 - fill_);
    for (int i = 0; i < 8; i++) block_[56 + i] = uint8_t(bits >> (56 - 8 * i));
    Compress(path_, state_, block_, 1);
    Digest d;
    for (int i = 0; i < 8; i++)
        for (int k = 0; k < 4; k++) d.bytes[4 * i + k] = uint8_t(state_[i] >> (24 - 8 * k));
    Restart();
    return d;
}

Digest Of(const void* data, size_t n) {
    Sha256 sha;
    sha.Update(data, n);
    return sha.Finish();
}

}  // namespace core::sha256
