// The socket address of an IPv4 address and port, as both platforms' socket
// interfaces take it.  For the platform's own sources only.
#pragma once

#ifdef _WIN32
#include <winsock.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <cstdint>

#include "platform/sockets.h"

namespace platform {

// The socket address of `address` (network byte order) and `port` (host order).
inline sockaddr_in ipv4_address(Ipv4 address, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = address;
  return a;
}

}  // namespace platform
