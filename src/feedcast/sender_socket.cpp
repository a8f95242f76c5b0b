#include "feedcast/sender_socket.h"

namespace feedcast {

using portable::failed;

portable::Result<void> open_sender_socket(const SenderConfig& config, platform::UdpSocket& socket) {
  const platform::Ipv4 local =
      config.source.size() >= 4 ? platform::parse_dotted(config.source) : platform::kAnyAddress;
  if (const int e = socket.open()) return failed("Allocating socket", e);
  if (const int e = socket.bind(local, 0)) return failed("Binding socket", e);
  if (const int e = socket.set_multicast_ttl(effective_ttl(config))) return failed("setsockopt", e);
  if (config.source.size() > 8) {
    if (const int e = socket.set_multicast_interface(local)) return failed("setsockopt", e);
  }
  return {};
}

Destination destination_of(const SenderConfig& config, const packet::Kind& kind) {
  return {platform::parse_dotted(config.group),
          static_cast<std::uint16_t>(kind.port(static_cast<std::uint8_t>(config.stat_scheme)))};
}

}  // namespace feedcast
