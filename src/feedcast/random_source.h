// Repeatable pseudo-random numbers for the generator's random choices.
#pragma once

#include <cstdint>

namespace feedcast {

// A stream of pseudo-random numbers (xoshiro256**): the same seed gives the
// same numbers on every platform and with every compiler.
class RandomSource {
 public:
  // Starts the stream from `seed`, or from the clock when `seed` is 0.
  explicit RandomSource(std::uint64_t seed);

  // Returns the next 64 random bits.
  std::uint64_t next();

  // Returns a whole number from 0 to `bound` - 1, every one equally likely;
  // 0 when `bound` is 0.
  std::uint64_t below(std::uint64_t bound);

  // Returns true with a chance of `percent` in 100 (always from 100 on).
  bool chance(std::uint32_t percent);

 private:
  std::uint64_t state_[4];
};

// Returns a seed taken from the clock, never 0.
std::uint32_t clock_seed();

}  // namespace feedcast
