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

namespace rc {

using Prob = uint16_t;  // probability that the next bit is 0, in 1/4096ths
constexpr int kProbBits = 12;
constexpr Prob kProbHalf = 1u << (kProbBits - 1);
constexpr int kMoveBits = 5;  // adaptation speed: larger is slower, steadier
constexpr uint32_t kTop = 1u << 24;

inline void Init(Prob* p, size_t n) {
  for (size_t i = 0; i < n; i++) p[i] = kProbHalf;
}

// Writes the coded bytes to an OutStream through a fixed buffer.
class Encoder {
 public:
  explicit Encoder(delta::OutStream& out);
  unsigned Code(Prob& p, unsigned bit) {
    uint32_t bound = (range_ >> kProbBits) * p;
    if (bit == 0) {
      range_ = bound;
      p = Prob(p + (((1u << kProbBits) - p) >> kMoveBits));
    } else {
      low_ += bound;
      range_ -= bound;
      p = Prob(p - (p >> kMoveBits));
    }
    while (range_ < kTop) {
      range_ <<= 8;
      ShiftLow();
    }
    return bit;
  }
  // count (<= 32) equiprobable bits, most significant first.
  uint32_t Direct(uint32_t value, int count);
  // Flushes the coder's state; false when any write failed.
  bool Finish();
  uint64_t BytesWritten() const { return written_ + fill_; }

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
};

// Reads exactly the `size` coded bytes it is given, never more: asking past
// them sets overrun() and yields zero bytes, which the caller treats as a
// damaged stream at its next check.
class Decoder {
 public:
  Decoder(delta::InStream& in, uint64_t size);
  // Reads the first five bytes; false when the stream is too short, cannot
  // be read, or does not start as the encoder starts.
  bool Start();
  unsigned Code(Prob& p, unsigned /*bit*/) {
    uint32_t bound = (range_ >> kProbBits) * p;
    unsigned bit;
    if (code_ < bound) {
      range_ = bound;
      p = Prob(p + (((1u << kProbBits) - p) >> kMoveBits));
      bit = 0;
    } else {
      range_ -= bound;
      code_ -= bound;
      p = Prob(p - (p >> kMoveBits));
      bit = 1;
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
  // True when every coded byte has been consumed, as after a whole stream.
  bool AtEnd() const { return left_ == 0 && pos_ == fill_; }

 private:
  uint8_t NextByte() {
    if (pos_ < fill_) return buf_[pos_++];
    return Refill();
  }
  uint8_t Refill();
  delta::InStream& in_;
  std::vector<uint8_t> buf_;
  size_t pos_ = 0, fill_ = 0;
  uint64_t left_;  // coded bytes not yet read from in_
  bool readFailed_ = false, overrun_ = false;
  uint32_t range_ = 0xFFFFFFFFu;
  uint32_t code_ = 0;
};

}  // namespace rc
