// One datagram of the feed as it goes out or comes in: a view of its bytes.
#pragma once

#include <cstdint>
#include <span>

namespace packet {

// The bytes of one UDP datagram, owned elsewhere.
using Datagram = std::span<const std::uint8_t>;

}  // namespace packet
