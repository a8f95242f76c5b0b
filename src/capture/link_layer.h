// The link layers a capture may record frames in, and finding the IPv4
// packet inside a frame of each.
#pragma once

#include <cstdint>
#include <span>

namespace capture {

// Link-layer header types (LINKTYPE_ numbers) that the reader understands.
namespace link_type {
inline constexpr std::uint32_t kBsdLoopback = 0;  // a 4-byte address family in the writer's order
inline constexpr std::uint32_t kEthernet = 1;
inline constexpr std::uint32_t kRawOld = 12;  // raw IP, as some systems numbered it
inline constexpr std::uint32_t kRaw = 101;    // raw IPv4 or IPv6
inline constexpr std::uint32_t kLinuxCooked = 113;
inline constexpr std::uint32_t kIpv4 = 228;
inline constexpr std::uint32_t kLinuxCooked2 = 276;
}  // namespace link_type

// The bytes of the IPv4 packet that `frame`, recorded with `link_type`,
// carries (with whatever padding follows it); an empty view when the frame
// carries another protocol, has a link type not listed above, or is too
// short for its link-layer header.
std::span<const std::uint8_t> ipv4_packet(std::uint32_t link_type,
                                          std::span<const std::uint8_t> frame);

}  // namespace capture
