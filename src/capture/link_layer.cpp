// Stripping the link-layer header of a captured frame.
#include "capture/link_layer.h"

#include "capture/network_headers.h"
#include "packet/byte_order.h"

namespace capture {

namespace {

// The Linux cooked headers: length and where each keeps the EtherType of
// what follows.
constexpr std::size_t kCookedHeaderSize = 16;
constexpr std::size_t kCookedProtocol = 14;
constexpr std::size_t kCooked2HeaderSize = 20;
constexpr std::size_t kCooked2Protocol = 0;

// The BSD loopback header: the address family, whose IPv4 value is 2 on
// every system, in the byte order of the machine that wrote the file.
constexpr std::size_t kLoopbackHeaderSize = 4;
constexpr std::uint32_t kFamilyInet = 2;

// The packet behind an EtherType at `type_at`, past any VLAN tags.
std::span<const std::uint8_t> behind_ether_type(std::span<const std::uint8_t> frame,
                                                std::size_t type_at) {
  while (type_at + 2 <= frame.size()) {
    const std::uint16_t type = packet::load_be16(&frame[type_at]);
    if (type == ethernet::kIpv4) return frame.subspan(type_at + 2);
    if (type != ethernet::kVlanTag && type != ethernet::kServiceTag &&
        type != ethernet::kOldServiceTag) {
      break;
    }
    type_at += ethernet::kTagSize;
  }
  return {};
}

// The frame itself when it holds IPv4 (raw IP may hold IPv6).
std::span<const std::uint8_t> raw_ipv4(std::span<const std::uint8_t> frame) {
  if (frame.empty() || frame[0] >> 4 != 4) return {};
  return frame;
}

}  // namespace

std::span<const std::uint8_t> ipv4_packet(std::uint32_t link_type,
                                          std::span<const std::uint8_t> frame) {
  switch (link_type) {
    case link_type::kEthernet: return behind_ether_type(frame, ethernet::kEtherType);
    case link_type::kLinuxCooked:
      return frame.size() < kCookedHeaderSize ? std::span<const std::uint8_t>{}
                                              : behind_ether_type(frame, kCookedProtocol);
    case link_type::kLinuxCooked2:
      if (frame.size() < kCooked2HeaderSize ||
          packet::load_be16(&frame[kCooked2Protocol]) != ethernet::kIpv4) {
        return {};
      }
      return frame.subspan(kCooked2HeaderSize);
    case link_type::kRawOld:
    case link_type::kRaw:
    case link_type::kIpv4: return raw_ipv4(frame);
    case link_type::kBsdLoopback:
      if (frame.size() < kLoopbackHeaderSize || (packet::load_le32(frame.data()) != kFamilyInet &&
                                                 packet::load_be32(frame.data()) != kFamilyInet)) {
        return {};
      }
      return frame.subspan(kLoopbackHeaderSize);
    default: return {};
  }
}

}  // namespace capture
