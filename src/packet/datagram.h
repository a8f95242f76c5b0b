// One datagram of the feed as it goes out or comes in: a view of its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace packet {

// The bytes of one UDP datagram, owned elsewhere.
using Datagram = std::span<const std::uint8_t>;

// The most bytes one UDP datagram over IPv4 carries: 65,535 less the IPv4
// and UDP headers.
inline constexpr std::size_t kMaxDatagramSize = 65507;

}  // namespace packet
