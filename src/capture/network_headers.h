// The network headers a captured frame carries around a datagram: Ethernet,
// IPv4 and UDP.  The offset of every field both the reader and the writer
// use, reading an IPv4 header, and the Internet checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace capture::ethernet {

inline constexpr std::size_t kHeaderSize = 14;
inline constexpr std::size_t kDestination = 0;  // 6 bytes
inline constexpr std::size_t kSource = 6;       // 6 bytes
inline constexpr std::size_t kEtherType = 12;   // u16
inline constexpr std::size_t kAddressSize = 6;

// EtherTypes: IPv4, and the VLAN tags (802.1Q, 802.1ad and its older
// number) that put four bytes before the next EtherType.
inline constexpr std::uint16_t kIpv4 = 0x0800;
inline constexpr std::uint16_t kVlanTag = 0x8100;
inline constexpr std::uint16_t kServiceTag = 0x88a8;
inline constexpr std::uint16_t kOldServiceTag = 0x9100;
inline constexpr std::size_t kTagSize = 4;  // the tag's control field and the next EtherType

}  // namespace capture::ethernet

namespace capture::ipv4 {

inline constexpr std::size_t kMinHeaderSize = 20;
inline constexpr std::size_t kVersionAndLength = 0;  // u8: version 4, header length in words
inline constexpr std::size_t kTotalLength = 2;       // u16
inline constexpr std::size_t kIdentification = 4;    // u16
inline constexpr std::size_t kFlagsAndOffset = 6;    // u16
inline constexpr std::size_t kTimeToLive = 8;        // u8
inline constexpr std::size_t kProtocol = 9;          // u8
inline constexpr std::size_t kChecksum = 10;         // u16
inline constexpr std::size_t kSource = 12;           // u32
inline constexpr std::size_t kDestination = 16;      // u32

inline constexpr std::uint16_t kMoreFragments = 0x2000;
inline constexpr std::uint16_t kOffsetMask = 0x1fff;  // in units of 8 bytes
inline constexpr std::uint32_t kMaxPacketSize = 65535;
inline constexpr std::uint8_t kUdp = 17;

// The fields of an IPv4 header that a reader of datagrams needs.
struct Header {
  std::size_t header_length = 0;  // with the options
  std::size_t total_length = 0;   // header and payload; captured bytes beyond it are padding
  std::uint16_t identification = 0;
  bool more_fragments = false;
  std::uint32_t fragment_offset = 0;  // in bytes
  std::uint8_t protocol = 0;
  std::uint32_t source = 0;
  std::uint32_t destination = 0;

  // True when the packet is a fragment of a larger datagram.
  bool is_fragment() const { return more_fragments || fragment_offset != 0; }
};

// Reads the header of the IPv4 packet at the start of `bytes`; nothing when
// the bytes hold no well-formed IPv4 header or fewer bytes than its total
// length (a packet cut short by the capture).
std::optional<Header> read_header(std::span<const std::uint8_t> bytes);

}  // namespace capture::ipv4

namespace capture::udp {

inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kSourcePort = 0;       // u16
inline constexpr std::size_t kDestinationPort = 2;  // u16
inline constexpr std::size_t kLength = 4;           // u16, header and payload
inline constexpr std::size_t kChecksum = 6;         // u16

// The largest payload of a UDP datagram over IPv4:
// 65,535 less a 20-byte IPv4 header and the UDP header.
inline constexpr std::size_t kMaxPayload = 65507;

}  // namespace capture::udp

namespace capture {

// Adds `bytes`, as big-endian 16-bit words (an odd last byte padded with
// zero), to a running one's complement sum.
std::uint64_t checksum_add(std::uint64_t sum, std::span<const std::uint8_t> bytes);

// The Internet checksum (RFC 1071) of a running sum: its folded one's complement.
std::uint16_t checksum_finish(std::uint64_t sum);

}  // namespace capture
