// IPv4 addresses written as configuration files write them: four decimal
// numbers from 0 to 255 joined by dots, such as 10.0.0.15.
#pragma once

#include <optional>
#include <string_view>

#include "platform/sockets.h"

namespace portable {

// Reads `text` as a dotted IPv4 address and nothing else: exactly four
// numbers of 1 to 3 digits, each at most 255 and without leading zeros, and
// no blanks.  The short, octal and hexadecimal forms that the classic
// conversion takes ("10.9", "010.0.0.1", "0x7f.1") are refused, so a mistyped
// address never becomes another one.  Returns the address in network byte
// order, or nothing.
std::optional<platform::Ipv4> strict_dotted_address(std::string_view text);

}  // namespace portable
