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

// The packets of a run, one per pass.  Apart from its Timestamp, a packet and
// its trace lines follow from the file's contents alone, so while the file
// is unchanged a pass sends the packet of the pass before with the new time.
class PacketSource {
 public:
  PacketSource(const SenderConfig& config, const packet::Kind& kind, platform::ProfileFile& ini);

  // Refreshes the file and returns the packet of calendar time `now`, as
  // build_packet() makes it, or an empty span with `failure` set to the
  // kind's limit message.  Valid until the next call.
  std::span<const std::uint8_t> next(std::int64_t now, std::string& failure);

  // The trace lines of the last packet.
  const std::string& trace() const { return trace_; }

 private:
  const SenderConfig& config_;
  const packet::Kind& kind_;
  platform::ProfileFile& ini_;
  std::vector<std::uint8_t> packet_;
  std::size_t length_ = 0;    // of the last packet; 0 when there is none
  std::uint64_t version_ = 0;  // of the file contents it was built from
  std::string trace_;
};

// Builds and sends packets, pausing UpdateRate seconds after each send, until
// a table is over its limit or a send fails; returns that failure's message.
std::string run_transmit_loop(const SenderConfig& config, const packet::Kind& kind,
                              platform::ProfileFile& ini, platform::UdpSocket& socket,
                              const Destination& destination, std::FILE* trace);

}  // namespace feedcast
