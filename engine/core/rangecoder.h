// Adaptive binary range coder (carry-propagating, in the manner of LZMA).
// Encoder and Decoder share one calling shape, Code(prob, bit): the encoder
// codes `bit` and returns it, the decoder ignores `bit` and returns what it
// decoded. Models written once as templates over the coder therefore encode
// and decode alike by construction (see deltamodel.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "delta.h"

namespace core::rc {

// A bit model: the probability that the next bit is 0, in 1/65536ths, in the
// low 16 bits, and how many bits it has seen (up to 63) above them. A model
// learns fast while young (it moves by 1/2, 1/3, ... of the way) and then
// settles at 1/2^kMaxShift; small files, which have little to learn from,
// gain the most from that.
using Prob = uint32_t;
constexpr int kProbBits = 16;
constexpr Prob kProbHalf = 1u << (kProbBits - 1);
constexpr int kMaxShift = 5;
constexpr uint32_t kTop = 1u << 24;

inline void Init(Prob* p, size_t n) {
    for (size_t i = 0; i < n; i++) p[i] = kProbHalf;
}

// Shift for a model that has seen n bits: about log2(n + 1.5), capped.
constexpr uint8_t kShiftForCount[64] = {1, 1, 2, 2, 2, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4,
                                        4, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5,
                                        5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 7};

inline uint32_t Probability(Prob p) { return p & 0xFFFFu; }

// kShiftForCount capped at kMaxShift.
struct ShiftTable {
    uint8_t v[64] = {};
    constexpr ShiftTable() {
        for (int i = 0; i < 64; i++) v[i] = kShiftForCount[i] < kMaxShift ? kShiftForCount[i] : kMaxShift;
    }
};
inline constexpr ShiftTable kShift{};

// The shift is at least 1, so q stays within [1, 0xFFFF] whatever the bits:
// q + ((0x10000 - q) >> s) <= (0x10000 + q) / 2 and q - (q >> s) >= q / 2.
// Both ways are computed and one is picked, as the bit is rarely
// predictable.
inline void Update(Prob& p, unsigned bit) {
    uint32_t count = p >> 16, q = p & 0xFFFFu;
    int shift = kShift.v[count];
    uint32_t up = q + ((0x10000u - q) >> shift), down = q - (q >> shift);
    p = (count + (count < 63)) << 16 | (bit == 0 ? up : down);
}

// Writes the coded bytes to an OutStream through a fixed buffer.
class Encoder {
public:
    explicit Encoder(delta::OutStream& out);
    unsigned Code(Prob& p, unsigned bit) {
        uint32_t bound = (range_ >> kProbBits) * Probability(p);
        if (bit == 0) {
            range_ = bound;
        } else {
            low_ += bound;
            range_ -= bound;
        }
        Update(p, bit);
        while (range_ < kTop) {
            range_ <<= 8;
            ShiftLow();
        }
        return bit;
    }
    // Codes a bit with a probability of 0 given in 1/65536ths (1..65535),
    // for callers that keep their own models.
    unsigned CodeFixed(uint32_t p0, unsigned bit) {
        uint32_t bound = (range_ >> kProbBits) * p0;
        if (bit == 0) {
            range_ = bound;
        } else {
            low_ += bound;
            range_ -= bound;
        }
        while (range_ < kTop) {
            range_ <<= 8;
            ShiftLow();
        }
        return bit;
    }
    // count (<= 32) equiprobable bits, most significant first.
    uint32_t Direct(uint32_t value, int count);
    // Flushes the coder's state; false when any write failed. The stream
    // leaves out the byte every such coder starts with (always 0) and the
    // three zero bytes its flush ends with: the decoder supplies them.
    bool Finish();
    uint64_t BytesWritten() const { return written_ + fill_; }
    static constexpr int kLeftOut = 3;  // zero bytes after the last one written

private:
    void ShiftLow();
    void Put(uint8_t b);
    delta::OutStream& out_;
    std::vector<uint8_t> buf_;
    size_t fill_ = 0;
    uint64_t written_ = 0;
    bool failed_ = false;
    uint64_t low_ = 0;
    uint32_t range_ = 0xFFFFFFFFu;
    uint8_t cache_ = 0;
    uint64_t cacheSize_ = 1;
    bool first_ = true;  // the first byte, always 0, is not written
};

// Reads exactly the `size` coded bytes it is given, never more, then the
// Encoder::kLeftOut zero bytes it left out; asking past those sets overrun()
// and yields zero bytes, which the caller treats as a damaged stream at its
// next check.
class Decoder {
public:
    Decoder(delta::InStream& in, uint64_t size);
    // Reads the first four bytes; false when the stream is empty, cannot be
    // read, or starts with a value no encoder writes.
    bool Start();
    unsigned Code(Prob& p, unsigned /*bit*/) {
        uint32_t bound = (range_ >> kProbBits) * Probability(p);
        unsigned bit;
        if (code_ < bound) {
            range_ = bound;
            bit = 0;
        } else {
            range_ -= bound;
            code_ -= bound;
            bit = 1;
        }
        Update(p, bit);
        while (range_ < kTop) {
            range_ <<= 8;
            code_ = (code_ << 8) | NextByte();
        }
        return bit;
    }
    unsigned CodeFixed(uint32_t p0, unsigned /*bit*/) {
        uint32_t bound = (range_ >> kProbBits) * p0;
        unsigned bit = code_ >= bound;
        if (bit == 0) {
            range_ = bound;
        } else {
            range_ -= bound;
            code_ -= bound;
        }
        while (range_ < kTop) {
            range_ <<= 8;
            code_ = (code_ << 8) | NextByte();
        }
        return bit;
    }
    uint32_t Direct(uint32_t /*value*/, int count);
    bool readFailed() const { return readFailed_; }
    bool overrun() const { return overrun_; }
    // True when every coded byte and every left-out byte has been consumed,
    // as after a whole stream.
    bool AtEnd() const { return left_ == 0 && pos_ == fill_ && padded_ == Encoder::kLeftOut; }

private:
    uint8_t NextByte() {
        if (pos_ < fill_) return buf_[pos_++];
        return Refill();
    }
    uint8_t Refill();
    delta::InStream& in_;
    std::vector<uint8_t> buf_;
    size_t pos_ = 0, fill_ = 0;
    uint64_t left_;   // coded bytes not yet read from in_
    int padded_ = 0;  // left-out zero bytes supplied so far
    bool readFailed_ = false, overrun_ = false;
    uint32_t range_ = 0xFFFFFFFFu;
    uint32_t code_ = 0;
};

}  // namespace core::rc
