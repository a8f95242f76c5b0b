#include "portable/profile_integer.h"

namespace portable {
namespace {

constexpr std::uint64_t kLow32 = 0xFFFF'FFFF;

// The value of a digit in bases up to 36, or 99 for any other character.
std::uint32_t digit_value(char c) {
  return c >= '0' && c <= '9'   ? static_cast<std::uint32_t>(c - '0')
         : c >= 'a' && c <= 'z' ? static_cast<std::uint32_t>(c - 'a' + 10)
         : c >= 'A' && c <= 'Z' ? static_cast<std::uint32_t>(c - 'A' + 10)
                                : 99;
}

}  // namespace

ProfileIntegerReading read_profile_integer(std::string_view value) {
  const std::string_view s = value.substr(0, kProfileIntegerChars);
  std::size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ') ++i;
  const std::size_t start = i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::uint32_t base = 10;
  if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'o' || s[i + 1] == 'b')) {
    base = s[i + 1] == 'x' ? 16 : s[i + 1] == 'o' ? 8 : 2;
    i += 2;
  }
  // The low 32 bits, and whether the number went past them.
  std::uint64_t low = 0;
  bool beyond = false;
  const auto add = [&](std::uint32_t digit) {
    low = low * base + digit;
    if (low > kLow32) {
      beyond = true;
      low &= kLow32;
    }
  };
  if (base == 10) {  // the usual case, without the letters of the other bases
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
      add(static_cast<std::uint32_t>(s[i] - '0'));
  }
  for (std::uint32_t digit = 0; i < s.size() && (digit = digit_value(s[i])) < base; ++i) add(digit);
  const std::int64_t magnitude = beyond ? std::int64_t{1} << 32 : static_cast<std::int64_t>(low);
  const auto bits = static_cast<std::uint32_t>(negative ? 0u - low : low);
  return {static_cast<std::int32_t>(bits), start, i, negative ? -magnitude : magnitude};
}

}  // namespace portable
