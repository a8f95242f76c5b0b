#include "feedcast/random_source.h"

#include <chrono>

namespace feedcast {
namespace {

std::uint64_t rotate_left(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

// One step of splitmix64, which spreads a seed over the four words of state.
std::uint64_t splitmix(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

}  // namespace

std::uint32_t clock_seed() {
  const auto t = static_cast<std::uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count());
  const auto folded = static_cast<std::uint32_t>(t ^ (t >> 32));
  return folded != 0 ? folded : 1;
}

RandomSource::RandomSource(std::uint64_t seed) {
  if (seed == 0) seed = clock_seed();
  for (std::uint64_t& word : state_) word = splitmix(seed);
}

std::uint64_t RandomSource::next() {
  const std::uint64_t result = rotate_left(state_[1] * 5, 7) * 9;
  const std::uint64_t t = state_[1] << 17;
  state_[2] ^= state_[0];
  state_[3] ^= state_[1];
  state_[1] ^= state_[2];
  state_[0] ^= state_[3];
  state_[2] ^= t;
  state_[3] = rotate_left(state_[3], 45);
  return result;
}

// Rejects the draws of the incomplete last block of `bound` values, so that
// every result is equally likely.
std::uint64_t RandomSource::below(std::uint64_t bound) {
  if (bound == 0) return 0;
  const std::uint64_t limit = UINT64_MAX - UINT64_MAX % bound;
  std::uint64_t x = next();
  while (x >= limit) x = next();
  return x % bound;
}

bool RandomSource::chance(std::uint32_t percent) { return below(100) < percent; }

}  // namespace feedcast
