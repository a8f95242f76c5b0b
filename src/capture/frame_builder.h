// The frame a datagram arrived in, rebuilt for a recording: Ethernet to the
// group's multicast address, IPv4 and UDP with correct checksums.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "capture/network_headers.h"
#include "capture/udp_datagram.h"

namespace capture {

// The source address of every rebuilt frame, 02:00:00:00:00:01: a locally
// administered unicast address, since the sender's own is not known.
inline constexpr std::array<std::uint8_t, ethernet::kAddressSize> kSourceMac = {0x02, 0, 0,
                                                                                0,    0, 1};

// The time-to-live of every rebuilt packet: the one it arrived with is not known.
inline constexpr std::uint8_t kRebuiltTimeToLive = 1;

// The headers in front of the payload: Ethernet, IPv4 without options, UDP.
inline constexpr std::size_t kFrameHeadersSize =
    ethernet::kHeaderSize + ipv4::kMinHeaderSize + udp::kHeaderSize;

// The Ethernet address of an IPv4 multicast group: 01:00:5e and the group's
// low 23 bits.
std::array<std::uint8_t, ethernet::kAddressSize> multicast_mac(std::uint32_t group);

// Writes the headers of the frame that carries `datagram` (its payload at
// most udp::kMaxPayload bytes) into out[0..kFrameHeadersSize): the group's
// multicast address, IPv4 with don't-fragment clear, time-to-live 1 and
// `identification`, UDP with its checksum (0 written as 0xffff).
void write_frame_headers(const UdpDatagram& datagram, std::uint16_t identification,
                         std::uint8_t* out);

}  // namespace capture
