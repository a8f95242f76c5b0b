// The monitor's packet buffer: one Statistics Packet at its start, with room
// behind it for any UDP datagram and for a record area expanded in place.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace feedwatch {

// The size of a packet buffer: room for any UDP datagram.
inline constexpr std::size_t kPacketBufferSize = 65536;

// A packet buffer; its size is part of its type, so whatever receives one
// knows how far it may read and write.
using PacketBuffer = std::array<std::uint8_t, kPacketBufferSize>;

}  // namespace feedwatch
