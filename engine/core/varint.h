// LEB128 varints, as the x86 map and the segment table store their numbers:
// seven bits a byte, least significant first, the top bit set on every byte
// but the last.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace core::varint {

inline void Put(std::vector<uint8_t>* out, uint64_t v) {
    while (v >= 0x80) {
        out->push_back(uint8_t(v | 0x80));
        v >>= 7;
    }
    out->push_back(uint8_t(v));
}

// Reads from bytes it was given, never past them.
struct Cursor {
    const uint8_t* p;
    size_t left;
    // False when the bytes end first or the value does not fit 64 bits.
    bool Var(uint64_t* v) {
        *v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (left == 0) return false;
            uint8_t b = *p++;
            left--;
            *v |= uint64_t(b & 0x7F) << shift;
            if ((b & 0x80) == 0) return shift < 63 || b <= 1;
        }
        return false;
    }
};

}  // namespace core::varint
