#include "feedcast/sender_socket.h"

#include <optional>

#include "portable/dotted_address.h"

namespace feedcast {

using portable::failed;

namespace {

// The local address that Source selects: any address for 3 characters or
// fewer, else Source itself, or nothing when it is no dotted address.
std::optional<platform::Ipv4> local_address(const SenderConfig& config) {
  if (config.source.size() < 4) return platform::kAnyAddress;
  return portable::strict_dotted_address(config.source);
}

}  // namespace

// A Source that is no address cannot be bound: it fails as an address that
// is not one of the host's, instead of binding whatever a lax conversion
// makes of it (255.255.255.255 for a typing error).
portable::Result<void> open_sender_socket(const SenderConfig& config, platform::UdpSocket& socket) {
  const std::optional<platform::Ipv4> local = local_address(config);
  if (const int e = socket.open()) return failed("Allocating socket", e);
  if (!local) return failed("Binding socket", platform::kAddressNotAvailable);
  if (const int e = socket.bind(*local, 0)) return failed("Binding socket", e);
  if (const int e = socket.set_multicast_ttl(effective_ttl(config))) return failed("setsockopt", e);
  if (config.source.size() > 8) {
    if (const int e = socket.set_multicast_interface(*local)) return failed("setsockopt", e);
  }
  return {};
}

Destination destination_of(const SenderConfig& config, const packet::Kind& kind) {
  return {platform::parse_dotted(config.group),
          static_cast<std::uint16_t>(kind.port(static_cast<std::uint8_t>(config.stat_scheme)))};
}

}  // namespace feedcast
