// The recording that --write makes: every datagram received, as it arrived,
// in a pcapng file that capture tools and --read take.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "capture/writer.h"
#include "feedwatch/arrival.h"
#include "platform/sockets.h"

namespace feedwatch {

// A pcapng file of received datagrams, flushed at least once a second.
class Recording {
 public:
  // The longest a recorded datagram waits in the buffer before a flush.
  static constexpr SteadyClock::duration kFlushInterval = std::chrono::seconds(1);

  // Creates the file at `path`, replacing an existing one; the recording
  // names `interface_name` as the interface listened on.  Returns 0 or the
  // platform's error number.
  int create(const std::string& path, const std::string& interface_name);

  // Appends one datagram that arrived for `group` (network byte order) on
  // `port`, as the frame it arrived in.  Returns 0 or the error number.
  int record(std::span<const std::uint8_t> datagram, const Arrival& arrival, platform::Ipv4 group,
             int port);

  // Flushes when something recorded has waited kFlushInterval at `now`.
  // Returns 0 or the error number.
  int flush_if_due(SteadyClock::time_point now);

  // Milliseconds from `now` until flush_if_due() has something to flush;
  // -1 when nothing waits.
  int milliseconds_to_flush(SteadyClock::time_point now) const;

  // Writes out everything recorded.  Returns 0 or the error number.
  int flush();

 private:
  capture::Writer writer_;
  bool waiting_ = false;                   // recorded, not yet flushed
  SteadyClock::time_point first_waiting_;  // when the oldest of those came
};

// The milliseconds of the shorter of two waits, -1 standing for no limit.
int shorter_wait(int a_ms, int b_ms);

}  // namespace feedwatch
