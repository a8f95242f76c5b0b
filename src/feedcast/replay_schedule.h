// When each datagram of a replayed capture goes out: every deadline counted
// from one fixed start, so that no delay adds up from one datagram to the
// next or from one pass to the next.
#pragma once

#include <cstdint>

namespace feedcast {

// What one pass over a capture holds: its datagrams of the feed and the
// capture times of the first and the last (nanoseconds since 1970).
struct CaptureSpan {
  std::uint64_t datagrams = 0;
  std::int64_t first_ns = 0;
  std::int64_t last_ns = 0;

  // The time from the first datagram to the last; 0 when the times go back.
  std::int64_t length() const { return last_ns > first_ns ? last_ns - first_ns : 0; }
};

// The deadlines of a replay at a speed: datagram i of pass k goes out at
// start + (k × pass length + t_i − t_0) / speed, where a pass lasts from the
// first datagram to the last and one mean interval more (one second for a
// capture of a single datagram).  Speed 0 means as fast as possible: every
// deadline is the start.
class ReplaySchedule {
 public:
  // A schedule for `span` at `speed` from `start` on the steady clock.
  ReplaySchedule(const CaptureSpan& span, double speed, std::int64_t start);

  // The capture's time of one pass, in nanoseconds, before the speed applies.
  std::int64_t pass_length() const { return pass_length_; }

  // The steady-clock deadline of a datagram captured at `time_ns` in pass
  // `pass` (counted from 0).
  std::int64_t deadline(std::uint64_t pass, std::int64_t time_ns) const;

 private:
  std::int64_t first_ns_;
  std::int64_t pass_length_;
  double speed_;
  std::int64_t start_;
};

}  // namespace feedcast
