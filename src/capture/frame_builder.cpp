// Rebuilding the Ethernet, IPv4 and UDP headers of a datagram.
#include "capture/frame_builder.h"

#include <algorithm>

#include "packet/byte_order.h"

namespace capture {

namespace {

constexpr std::uint8_t kVersion4NoOptions = 0x45;

// The IPv4 header, its checksum included, at `ip`.
void write_ipv4(const UdpDatagram& d, std::uint16_t identification, std::uint8_t* ip) {
  std::fill(ip, ip + ipv4::kMinHeaderSize, std::uint8_t{0});
  ip[ipv4::kVersionAndLength] = kVersion4NoOptions;
  packet::store_be16(&ip[ipv4::kTotalLength],
                     ipv4::kMinHeaderSize + udp::kHeaderSize + d.payload.size());
  packet::store_be16(&ip[ipv4::kIdentification], identification);
  ip[ipv4::kTimeToLive] = kRebuiltTimeToLive;
  ip[ipv4::kProtocol] = ipv4::kUdp;
  packet::store_be32(&ip[ipv4::kSource], d.source_address);
  packet::store_be32(&ip[ipv4::kDestination], d.destination_address);
  packet::store_be16(&ip[ipv4::kChecksum],
                     checksum_finish(checksum_add(0, {ip, ipv4::kMinHeaderSize})));
}

// The UDP header, its checksum over the pseudo-header, header and payload included.
void write_udp(const UdpDatagram& d, std::uint8_t* header) {
  const std::size_t length = udp::kHeaderSize + d.payload.size();
  packet::store_be16(&header[udp::kSourcePort], d.source_port);
  packet::store_be16(&header[udp::kDestinationPort], d.destination_port);
  packet::store_be16(&header[udp::kLength], length);
  packet::store_be16(&header[udp::kChecksum], 0);
  std::uint8_t pseudo[12] = {};
  packet::store_be32(&pseudo[0], d.source_address);
  packet::store_be32(&pseudo[4], d.destination_address);
  pseudo[9] = ipv4::kUdp;
  packet::store_be16(&pseudo[10], length);
  std::uint64_t sum = checksum_add(0, pseudo);
  sum = checksum_add(sum, {header, udp::kHeaderSize});
  const std::uint16_t checksum = checksum_finish(checksum_add(sum, d.payload));
  packet::store_be16(&header[udp::kChecksum], checksum == 0 ? 0xffff : checksum);
}

}  // namespace

std::array<std::uint8_t, ethernet::kAddressSize> multicast_mac(std::uint32_t group) {
  return {0x01,
          0x00,
          0x5e,
          static_cast<std::uint8_t>((group >> 16) & 0x7f),
          static_cast<std::uint8_t>(group >> 8),
          static_cast<std::uint8_t>(group)};
}

void write_frame_headers(const UdpDatagram& datagram, std::uint16_t identification,
                         std::uint8_t* out) {
  const auto destination = multicast_mac(datagram.destination_address);
  std::copy(destination.begin(), destination.end(), out + ethernet::kDestination);
  std::copy(kSourceMac.begin(), kSourceMac.end(), out + ethernet::kSource);
  packet::store_be16(out + ethernet::kEtherType, ethernet::kIpv4);
  write_ipv4(datagram, identification, out + ethernet::kHeaderSize);
  write_udp(datagram, out + ethernet::kHeaderSize + ipv4::kMinHeaderSize);
}

}  // namespace capture
