#include "rangecoder.h"

namespace core::rc {

namespace {
constexpr size_t kBufferSize = 64 * 1024;
}

Encoder::Encoder(delta::OutStream& out) : out_(out), buf_(kBufferSize) {}

void Encoder::Put(uint8_t b) {
    if (first_) {
        first_ = false;  // always 0: the decoder knows it
        return;
    }
    if (fill_ == buf_.size()) {
        if (!failed_ && !out_.Write(buf_.data(), fill_)) failed_ = true;
        written_ += fill_;
        fill_ = 0;
    }
    buf_[fill_++] = b;
}

// Holds back a byte (and any run of 0xFF after it) until it is known whether
// a carry from the low end will still change it.
void Encoder::ShiftLow() {
    if (uint32_t(low_) < 0xFF000000u || (low_ >> 32) != 0) {
        uint8_t carry = uint8_t(low_ >> 32);
        uint8_t held = cache_;
        do {
            Put(uint8_t(held + carry));
            held = 0xFF;
        } while (--cacheSize_ != 0);
        cache_ = uint8_t(low_ >> 24);
    }
    cacheSize_++;
    low_ = (low_ & 0x00FFFFFFu) << 8;
}

uint32_t Encoder::Direct(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; i--) {
        range_ >>= 1;
        if ((value >> i) & 1) low_ += range_;
        while (range_ < kTop) {
            range_ <<= 8;
            ShiftLow();
        }
    }
    return value;
}

bool Encoder::Finish() {
    // Any value in [low, low + range) decodes what was coded. range is at
    // least 2^24 here, so one with three zero bytes at the end lies in it:
    // two shifts write what comes before them, and they are left out.
    low_ = (low_ + 0xFFFFFF) & ~uint64_t(0xFFFFFF);
    for (int i = 0; i < 5 - kLeftOut; i++) ShiftLow();
    if (fill_ != 0 && !failed_ && !out_.Write(buf_.data(), fill_)) failed_ = true;
    written_ += fill_;
    fill_ = 0;
    return !failed_;
}

Decoder::Decoder(delta::InStream& in, uint64_t size) : in_(in), buf_(kBufferSize), left_(size) {}

bool Decoder::Start() {
    if (left_ == 0) return false;
    for (int i = 0; i < 4; i++) code_ = (code_ << 8) | NextByte();
    return !readFailed_ && !overrun_ && code_ != 0xFFFFFFFFu;
}

uint8_t Decoder::Refill() {
    if (left_ == 0 && !readFailed_ && padded_ < Encoder::kLeftOut) {
        padded_++;
        return 0;
    }
    if (left_ == 0 || readFailed_) {
        overrun_ = true;
        return 0;
    }
    size_t n = left_ < buf_.size() ? size_t(left_) : buf_.size();
    if (!in_.Read(buf_.data(), n)) {
        readFailed_ = true;
        return 0;
    }
    left_ -= n;
    fill_ = n;
    pos_ = 1;
    return buf_[0];
}

uint32_t Decoder::Direct(uint32_t, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; i++) {
        range_ >>= 1;
        unsigned bit = code_ >= range_;
        if (bit) code_ -= range_;
        value = (value << 1) | bit;
        if (range_ < kTop) {
            range_ <<= 8;
            code_ = (code_ << 8) | NextByte();
        }
    }
    return value;
}

}  // namespace core::rc
