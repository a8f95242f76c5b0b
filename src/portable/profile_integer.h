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

// Reads a value's first 29 characters as an integer: leading control
// characters and spaces, an optional sign, an optional "0x", "0o" or "0b"
// (lower case) for hexadecimal, octal or binary, then the digits of that base
// up to the first other character ("12abc" reads 12, "abc" reads 0); the low
// 32 bits of a longer number are kept.  An empty value reads as
// `default_value`.
std::int32_t profile_integer(std::string_view value, std::int32_t default_value);

}  // namespace portable
