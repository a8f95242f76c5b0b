// One UDP datagram as a capture holds it: when it was seen, between which
// IPv4 addresses and ports, and its payload.
#pragma once

#include <bitset>
#include <cstdint>

#include "packet/catalogue.h"
#include "packet/datagram.h"

namespace capture {

// A UDP datagram read from or written to a capture file.  Addresses are in
// host order (192.0.2.1 is 0xc0000201).
struct UdpDatagram {
  std::int64_t time_ns = 0;  // capture time, nanoseconds since 1970-01-01 00:00:00 UTC
  std::uint32_t source_address = 0;
  std::uint16_t source_port = 0;
  std::uint32_t destination_address = 0;  // the group, for the feed
  std::uint16_t destination_port = 0;
  packet::Datagram payload;        // the bytes behind the UDP header
  std::uint64_t block_offset = 0;  // where the record or block that completed it begins
};

// A set of UDP ports, one bit per port.
using PortSet = std::bitset<65536>;

// Every UDP port.
inline PortSet all_ports() { return PortSet().set(); }

// The twelve ports of the Stat Port Table.
inline PortSet feed_ports() {
  PortSet ports;
  for (int port = packet::kFirstStatPort; port <= packet::kLastStatPort;
       port += packet::kStatPortStep) {
    ports.set(static_cast<std::size_t>(port));
  }
  return ports;
}

}  // namespace capture
