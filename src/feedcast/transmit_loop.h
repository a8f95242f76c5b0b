// The transmit loop: one message per pass, built afresh from the kind's
// section of feedcast.ini, sent to the group, then a pause.  A message is one
// Statistics Packet, or the parts of a multi-packet message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "feedcast/multipacket.h"
#include "feedcast/sender_config.h"
#include "feedcast/sender_socket.h"
#include "feedcast/simulation.h"
#include "feedcast/trace_output.h"
#include "platform/profile.h"
#include "portable/result.h"

namespace feedcast {

// The messages of a run, one per pass.  Apart from its Timestamp, a message
// and its trace lines follow from the file's contents alone, so while the
// file is unchanged a pass sends the message of the pass before with the new
// time; unless values move (Simulate 1): then each pass moves them and makes
// the message again, without reading the file again while it is unchanged.
class PacketSource {
 public:
  PacketSource(const SenderConfig& config, const packet::Kind& kind, platform::ProfileFile& ini);

  // Refreshes the file and returns the message of calendar time `now`: the
  // header filled, the kind's trace lines made, the table checked against the
  // kind's limit, the records built (the values that move at their
  // positions of this pass) and, when Encoding is 1, compressed; a
  // table of more than MaxRecordsPerPacket records is sliced into parts, in
  // part order.  Fails with the refusal of a table over the kind's limit or
  // one that needs too many parts.  Valid until the next call.
  portable::Result<std::span<const Datagram>> next(std::int64_t now);

  // The trace lines of the last message.
  const std::string& trace() const { return trace_; }

  // The length of the zlib streams of the last message, its parts together;
  // 0 when it went plain.
  std::size_t stream_bytes() const { return stream_bytes_; }

  // The values that move, or nothing without simulation.
  const Simulation* simulation() const { return simulation_ ? &*simulation_ : nullptr; }

  // The seed of the values that move, or 0 without simulation.
  std::uint32_t simulate_seed() const { return simulation_ ? simulation_->seed() : 0; }

 private:
  portable::Result<void> fill(std::int64_t now);

  const SenderConfig& config_;
  const packet::Kind& kind_;
  platform::ProfileFile& ini_;
  std::vector<std::uint8_t> packet_;              // a single packet, or the whole table
  std::vector<std::vector<std::uint8_t>> parts_;  // the packets of a multi-packet message
  std::vector<Datagram> message_;                 // empty when there is none
  std::uint64_t version_ = 0;                     // of the file contents it was built from
  std::string trace_;
  std::size_t stream_bytes_ = 0;
  std::optional<Simulation> simulation_;  // with Simulate 1
};

// Builds and sends messages, with the faults that the file's [Faults] section
// asks for, pausing PauseBetweenMultiPacket milliseconds between two parts
// and UpdateRate seconds after each message, until `count` messages have
// gone (0: no end; a dropped one counts), a table is refused, a send fails
// or the trace cannot be written; returns once `count` is reached.  The
// trace lines and the warnings about the file go to `trace`.
portable::Result<void> run_transmit_loop(const SenderConfig& config, const packet::Kind& kind,
                                         platform::ProfileFile& ini, platform::UdpSocket& socket,
                                         const Destination& destination, std::uint64_t count,
                                         TraceOutput& trace);

}  // namespace feedcast
