// The one rule by which both programs read an integer from an
// initialisation-file value, on every platform: the header keys and every
// record value alike.  It is the rule of the Windows profile functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace portable {

// The longest prefix of a value that the rule looks at.
inline constexpr std::size_t kProfileIntegerChars = 29;

// What the rule makes of a value, for a program that reads it and for a
// check of how much of it was read.
struct ProfileIntegerReading {
  std::int32_t value;  // the low 32 bits of the number, as a signed value
  std::size_t start;   // where the number (its sign, prefix or digits) begins
  std::size_t end;     // where the rule stopped: the first character not read
  // The number with its sign, before the cut to 32 bits; a magnitude beyond
  // 2^32 - 1 is held as 2^32.
  std::int64_t whole;
};

// Reads a value's first 29 characters as an integer: leading control
// characters and spaces, an optional sign, an optional "0x", "0o" or "0b"
// (lower case) for hexadecimal, octal or binary, then the digits of that base
// up to the first other character ("12abc" reads 12, "abc" reads 0); the low
// 32 bits of a longer number are kept.
ProfileIntegerReading read_profile_integer(std::string_view value);

// The rule's integer; an empty value reads as `default_value`.
inline std::int32_t profile_integer(std::string_view value, std::int32_t default_value) {
  return value.empty() ? default_value : read_profile_integer(value).value;
}

}  // namespace portable
