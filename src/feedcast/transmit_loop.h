// The transmit loop: one Statistics Packet per pass, built afresh from the
// kind's section of feedcast.ini, sent to the group, then a pause.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "feedcast/sender_config.h"
#include "feedcast/sender_socket.h"
#include "platform/profile.h"

namespace feedcast {

// The packet buffer of a kind: the header and room for the stream of its
// largest table, at least 2,048 bytes.
std::vector<std::uint8_t> make_packet_buffer(const packet::Kind& kind);

// Builds one packet in `packet` at calendar time `now`: refreshes the file,
// fills the header, prints the kind's trace lines to `trace`, checks the
// table against the kind's limit, builds the records and compresses them when
// Encoding is 1.  Returns the datagram's length, or 0 with `failure` set to
// the kind's limit message.
std::size_t build_packet(const SenderConfig& config, const packet::Kind& kind,
                         platform::ProfileFile& ini, std::span<std::uint8_t> packet,
                         std::int64_t now, std::FILE* trace, std::string& failure);

// Builds and sends packets, pausing UpdateRate seconds after each send, until
// a table is over its limit or a send fails; returns that failure's message.
std::string run_transmit_loop(const SenderConfig& config, const packet::Kind& kind,
                              platform::ProfileFile& ini, platform::UdpSocket& socket,
                              const Destination& destination, std::FILE* trace);

}  // namespace feedcast
