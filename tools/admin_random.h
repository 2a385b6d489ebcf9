// A small, fast pseudo-random generator (SplitMix64) whose sequence is the
// same on every platform and compiler, so that a generated board depends on
// its seed alone.
#pragma once

#include <cstdint>

namespace obrix::board::admin {

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}

  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // A whole number in 0..bound-1 (bound > 0).
  uint64_t Below(uint64_t bound) { return Next() % bound; }
  // A whole number in low..high.
  int64_t Between(int64_t low, int64_t high) {
    return low + static_cast<int64_t>(Below(static_cast<uint64_t>(high - low) + 1));
  }
  // True with the given probability (0..1).
  bool Chance(double probability) {
    return static_cast<double>(Next() >> 11) * 0x1.0p-53 < probability;
  }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  uint64_t state_;
};

}  // namespace obrix::board::admin
