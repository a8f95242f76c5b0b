// The generator's multicast socket, opened and configured in a fixed order.
#pragma once

#include <cstdint>
#include <string>

#include "feedcast/sender_config.h"
#include "platform/sockets.h"
#include "portable/result.h"

namespace feedcast {

// Where every packet goes.
struct Destination {
  platform::Ipv4 group;
  std::uint16_t port;
};

// Opens `socket`, binds it to the local address that `Source` selects, sets
// the time-to-live and, for a `Source` of more than 8 characters, the
// multicast interface.
portable::Result<void> open_sender_socket(const SenderConfig& config, platform::UdpSocket& socket);

// The group address (converted without a test) and the kind's port.
Destination destination_of(const SenderConfig& config, const packet::Kind& kind);

}  // namespace feedcast
