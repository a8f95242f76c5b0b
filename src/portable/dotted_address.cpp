#include "portable/dotted_address.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace portable {

std::optional<platform::Ipv4> strict_dotted_address(std::string_view text) {
  std::array<std::uint8_t, 4> bytes{};
  for (std::size_t part = 0; part < bytes.size(); ++part) {
    if (part > 0) {
      if (text.empty() || text.front() != '.') return std::nullopt;
      text.remove_prefix(1);
    }
    std::size_t digits = 0;
    unsigned value = 0;
    while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[digits] - '0');
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text.front() == '0')) {
      return std::nullopt;
    }
    bytes[part] = static_cast<std::uint8_t>(value);
    text.remove_prefix(digits);
  }
  if (!text.empty()) return std::nullopt;
  // The bytes in address order are the address in network byte order.
  platform::Ipv4 address = 0;
  std::memcpy(&address, bytes.data(), bytes.size());
  return address;
}

}  // namespace portable
