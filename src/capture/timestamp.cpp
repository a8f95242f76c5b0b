// Conversion of capture times to nanoseconds, with no floating point and no
// overflow.
#include "capture/timestamp.h"

#include <cstdint>
#include <limits>

namespace capture {

namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr unsigned kDigitsOfNanoseconds = 9;
constexpr unsigned kMaxPowerOfTen = 19;  // 10^19 is the largest power of ten in 64 bits

std::uint64_t power_of_ten(unsigned n) {
  std::uint64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// floor(a * b / 2^shift), with the product taken in 128 bits from 32-bit
// halves (no 128-bit type exists on every target); held at the maximum when
// the result does not fit.
std::uint64_t multiply_shift(std::uint64_t a, std::uint64_t b, unsigned shift) {
  const std::uint64_t a_low = a & 0xffffffff, a_high = a >> 32;
  const std::uint64_t b_low = b & 0xffffffff, b_high = b >> 32;
  const std::uint64_t low_low = a_low * b_low, high_low = a_high * b_low;
  const std::uint64_t low_high = a_low * b_high, high_high = a_high * b_high;
  const std::uint64_t cross = (low_low >> 32) + (high_low & 0xffffffff) + low_high;
  const std::uint64_t high = high_high + (high_low >> 32) + (cross >> 32);
  const std::uint64_t low = (cross << 32) | (low_low & 0xffffffff);
  if (shift >= 128) return 0;
  if (shift >= 64) return high >> (shift - 64);
  if (shift == 0) return high != 0 ? std::numeric_limits<std::uint64_t>::max() : low;
  if (high >> shift != 0) return std::numeric_limits<std::uint64_t>::max();
  return (low >> shift) | (high << (64 - shift));
}

// Whole seconds and the nanoseconds of the fraction, for units of 10^-n s.
void split_decimal(std::uint64_t units, unsigned n, std::uint64_t& seconds,
                   std::uint64_t& nanoseconds) {
  seconds = n <= kMaxPowerOfTen ? units / power_of_ten(n) : 0;
  const std::uint64_t fraction = n <= kMaxPowerOfTen ? units % power_of_ten(n) : units;
  if (n <= kDigitsOfNanoseconds) {
    nanoseconds = fraction * power_of_ten(kDigitsOfNanoseconds - n);
  } else {
    const unsigned finer = n - kDigitsOfNanoseconds;
    nanoseconds = finer <= kMaxPowerOfTen ? fraction / power_of_ten(finer) : 0;
  }
}

// The same for units of 2^-n s.
void split_binary(std::uint64_t units, unsigned n, std::uint64_t& seconds,
                  std::uint64_t& nanoseconds) {
  seconds = n < 64 ? units >> n : 0;
  const std::uint64_t fraction = n < 64 ? units & ((std::uint64_t{1} << n) - 1) : units;
  nanoseconds = multiply_shift(fraction, kNanosecondsPerSecond, n);
}

// a * b + c, held at the ends of the 64-bit range.
std::int64_t saturated(std::int64_t a, std::int64_t b, std::int64_t c) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  std::int64_t product = 0, sum = 0;
  if (__builtin_mul_overflow(a, b, &product)) return (a < 0) == (b < 0) ? kMax : kMin;
  if (__builtin_add_overflow(product, c, &sum)) return c > 0 ? kMax : kMin;
  return sum;
}

}  // namespace

std::int64_t to_nanoseconds(std::uint64_t units, Resolution resolution,
                            std::int64_t offset_seconds) {
  std::uint64_t seconds = 0, nanoseconds = 0;
  const unsigned n = resolution & 0x7f;
  if (resolution & 0x80) {
    split_binary(units, n, seconds, nanoseconds);
  } else {
    split_decimal(units, n, seconds, nanoseconds);
  }
  constexpr std::uint64_t kMax = std::numeric_limits<std::int64_t>::max();
  if (seconds > kMax) return std::numeric_limits<std::int64_t>::max();
  const std::int64_t time = saturated(static_cast<std::int64_t>(seconds), kNanosecondsPerSecond,
                                      static_cast<std::int64_t>(nanoseconds));
  return saturated(offset_seconds, kNanosecondsPerSecond, time);
}

}  // namespace capture
