#include "portable/profile_integer.h"

namespace portable {

std::int32_t profile_integer(std::string_view s, std::int32_t default_value) {
  if (s.empty()) return default_value;
  s = s.substr(0, kProfileIntegerChars);
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  std::uint32_t base = 10;
  if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'o' || s[1] == 'b')) {
    base = s[1] == 'x' ? 16 : s[1] == 'o' ? 8 : 2;
    s.remove_prefix(2);
  }
  std::uint32_t value = 0;
  if (base == 10) {  // the usual case, without the letters of the other bases
    for (; !s.empty() && s.front() >= '0' && s.front() <= '9'; s.remove_prefix(1)) {
      value = value * 10 + static_cast<std::uint32_t>(s.front() - '0');
    }
  }
  for (; !s.empty(); s.remove_prefix(1)) {
    const char c = s.front();
    const std::uint32_t digit = c >= '0' && c <= '9'   ? static_cast<std::uint32_t>(c - '0')
                                : c >= 'a' && c <= 'z' ? static_cast<std::uint32_t>(c - 'a' + 10)
                                : c >= 'A' && c <= 'Z' ? static_cast<std::uint32_t>(c - 'A' + 10)
                                                       : 99;
    if (digit >= base) break;
    value = value * base + digit;
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

}  // namespace portable
