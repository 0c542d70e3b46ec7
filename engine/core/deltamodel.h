// The probability models of a delta stream, written once over the coder type
// (rc::Encoder or rc::Decoder) so that the builder and Apply cannot drift apart.
//
// Stream layout (all of it range coded, one stream, no side tables):
//   command*  until the new size is reached, then the coder's 5-byte flush.
//   command = seek   signed: the old position moves by this before the copy
//             copy   unsigned: bytes made as old byte + diff byte
//             diff   `copy` diff bytes
//             extra  unsigned: bytes taken from the stream as they are
//             bytes  `extra` literal bytes
// Every command makes at least one byte. The old position starts at 0 and
// advances by `copy`; it stays within [0, old size] and copies stay inside it.
//
// Contexts: a diff byte is first coded as zero/non-zero, with the zero pattern
// of the last four diff bytes as context (most are zero: code that only moved);
// a non-zero diff byte is coded bitwise under the old byte it is added to (a
// changed address keeps changing the same way). Literal bytes are coded
// bitwise under the byte made just before them.
#pragma once
#include <cstdint>

#include "rangecoder.h"

namespace delta {

struct NumberModel {
  rc::Prob width[128];     // bit width of the value, 0..64, as a 7-bit tree
  rc::Prob high[65][16];   // the three bits below the leading one, per width
};

struct Model {
  rc::Prob zero[16];
  rc::Prob diff[256][256];
  rc::Prob literal[256][256];
  rc::Prob seekSign[2];
  NumberModel seek, copy, extra;
  unsigned zeroHistory = 0;
  uint8_t lastNew = 0;
  void Reset() {
    rc::Init(&zero[0], sizeof zero / sizeof(rc::Prob));
    rc::Init(&diff[0][0], sizeof diff / sizeof(rc::Prob));
    rc::Init(&literal[0][0], sizeof literal / sizeof(rc::Prob));
    rc::Init(&seekSign[0], 2);
    for (NumberModel* m : {&seek, &copy, &extra}) rc::Init(&m->width[0], sizeof(NumberModel) / sizeof(rc::Prob));
    zeroHistory = 0;
    lastNew = 0;
  }
};

// Codes a byte as 8 bits down a 256-leaf tree.
template <class Coder>
inline uint8_t CodeByte(Coder& c, rc::Prob* tree, uint8_t value) {
  unsigned node = 1;
  for (int i = 7; i >= 0; i--) node = (node << 1) | c.Code(tree[node], (value >> i) & 1);
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
// one through models, then the rest as plain bits. The decoder may return a
// width above 64 only as garbage from a damaged stream: it is clamped here and
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

// Seek distances as sign and magnitude; the magnitude may be up to 2^64-1
// from a damaged stream and is range-checked by the caller.
template <class Coder>
inline uint64_t CodeSeek(Coder& c, Model& m, uint64_t magnitude, bool negative, bool* outNegative) {
  uint64_t mag = CodeNumber(c, m.seek, magnitude);
  *outNegative = mag != 0 && c.Code(m.seekSign[0], negative ? 1 : 0) != 0;
  return mag;
}

template <class Coder>
inline uint8_t CodeDiff(Coder& c, Model& m, uint8_t oldByte, uint8_t diff) {
  unsigned ctx = m.zeroHistory & 15;
  unsigned nonZero = c.Code(m.zero[ctx], diff != 0);
  m.zeroHistory = (m.zeroHistory << 1) | nonZero;
  uint8_t d = 0;
  if (nonZero) d = CodeByte(c, m.diff[oldByte], diff);
  m.lastNew = uint8_t(oldByte + d);
  return d;
}

template <class Coder>
inline uint8_t CodeLiteral(Coder& c, Model& m, uint8_t value) {
  uint8_t b = CodeByte(c, m.literal[m.lastNew], value);
  m.lastNew = b;
  return b;
}

}  // namespace delta
