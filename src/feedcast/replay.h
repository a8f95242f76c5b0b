// The replay of a capture: every UDP datagram of a pcap or pcapng file that
// is addressed to one of the feed's twelve ports, whatever it holds, sent
// again through the generator's socket at the times it was captured, scaled
// by a speed, once, several times or for ever.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/udp_datagram.h"
#include "feedcast/options.h"
#include "feedcast/replay_schedule.h"
#include "feedcast/trace_output.h"
#include "platform/profile.h"
#include "platform/sockets.h"
#include "portable/result.h"

namespace feedcast {

// What a first reading of the capture found: the datagrams of one pass and
// the Timestamp of the first one long enough to hold a header, if any.
struct CaptureScan {
  CaptureSpan span;
  std::optional<std::uint32_t> first_timestamp;
};

// Reads the capture at `path` through once.  Fails with "<path>: <reason>"
// when it cannot be opened; a fault inside it ends the scan there and is
// met again by the replay.
portable::Result<CaptureScan> scan_capture(const std::string& path);

// One captured datagram held until its message is complete.
struct HeldDatagram {
  std::vector<std::uint8_t> bytes;  // the captured payload
  std::int64_t time_ns = 0;
  std::uint32_t destination = 0;  // host order, as captured
  std::uint16_t port = 0;
};

// True when `next` is the next part of the message that `first` begins and
// that holds `held` parts so far: both are parts (PacketCount 2 or more) of
// the same PacketCount and Timestamp, to the same address and port, and the
// message is still short of PacketCount parts.  The fault injector reorders
// and names the parts of such a message together.
bool joins_message(const HeldDatagram& first, std::size_t held, const capture::UdpDatagram& next);

// True when the message held, whose last datagram is `last` and which
// holds `held` datagrams, is complete: a single datagram, or its PacketCount
// parts.
bool completes_message(const HeldDatagram& last, std::size_t held);

// The group a datagram captured to `captured` (host order) goes to: the
// configured one when there is one, else the captured one when it is a
// multicast address, else `fallback` (all in network order but `captured`).
platform::Ipv4 replay_group(std::uint32_t captured, std::optional<platform::Ipv4> configured,
                            platform::Ipv4 fallback);

// Adds `shift` seconds to the Timestamp of a datagram long enough to hold a
// header, modulo 2^32; shorter ones stay as they are.
void move_timestamp(std::vector<std::uint8_t>& bytes, std::uint32_t shift);

// Where a replay sends: the group configured with an IP key in a file that
// --config names, else the captured group; `fallback` for captured
// destinations that are no multicast address.
struct ReplayGroups {
  std::optional<platform::Ipv4> configured;
  platform::Ipv4 fallback;
};

// Replays the capture that `options` names as the schedule asks, with the
// faults of the [Faults] section of `ini`, until its passes are done or
// --count datagrams have been taken (a dropped one counts).  Traces a start
// line, the progress when `progress` is true and a summary line.  Fails
// with a fault of the file (after the datagrams before it went out), a
// failed send or an unwritable trace.
portable::Result<void> run_replay(const Options& options, const CaptureScan& scan,
                                  const ReplayGroups& groups, platform::ProfileFile& ini,
                                  platform::UdpSocket& socket, TraceOutput& trace, bool progress);

}  // namespace feedcast
