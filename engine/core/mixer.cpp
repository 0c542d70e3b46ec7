#include "mixer.h"

namespace mix {

namespace {

// Squash sampled at x = -2048, -1920, ..., 2048 and interpolated between.
constexpr int kSquashPoints[33] = {1,    2,    3,    6,    10,   16,   27,   45,   73,   120,  194,
                                   310,  488,  747,  1101, 1546, 2047, 2549, 2994, 3348, 3607, 3785,
                                   3901, 3975, 4022, 4050, 4068, 4079, 4085, 4089, 4092, 4093, 4094};

struct StretchTable {
  int16_t v[4096];
  StretchTable() {
    int next = 0;
    for (int x = -2047; x <= 2047; x++) {
      int p = Squash(x);
      for (int i = next; i <= p; i++) v[i] = int16_t(x);
      next = p + 1;
    }
    for (int i = next; i < 4096; i++) v[i] = 2047;
  }
};

const StretchTable& Table() {
  static const StretchTable table;  // built once, read-only afterwards
  return table;
}

}  // namespace

int Squash(int x) {
  if (x > 2047) return 4095;
  if (x < -2047) return 1;
  int frac = x & 127;
  int i = (x >> 7) + 16;
  return (kSquashPoints[i] * (128 - frac) + kSquashPoints[i + 1] * frac + 64) >> 7;
}

int Stretch(int p) { return Table().v[p]; }

}  // namespace mix
