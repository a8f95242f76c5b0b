// When, whence and how long: what the monitor notes about each datagram as
// it arrives, for the JSON display and the feed statistics.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/sockets.h"

namespace feedwatch {

// The clock for intervals and run times: it never jumps.
using SteadyClock = std::chrono::steady_clock;

// One datagram's arrival.
struct Arrival {
  std::chrono::system_clock::time_point received{};  // the calendar time
  SteadyClock::time_point at{};                      // the same moment, for intervals
  platform::Endpoint source{};                       // the sender
  std::size_t length = 0;                            // the bytes the datagram carried
  std::optional<std::uint64_t> kernel_drops;  // the system's drops so far, where it counts them
};

}  // namespace feedwatch
