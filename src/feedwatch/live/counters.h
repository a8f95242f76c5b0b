// The counters of the feed that the metrics show: a plain snapshot, taken by
// the receive loop once a second from its statistics and handed to the live
// view, which renders it on its own thread.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace feedwatch {

// One stream of the feed: a server name, a kind and a scheme, as its packets'
// headers carry them.
struct StreamId {
  std::string server;         // ServerName as UTF-8, up to its first zero unit
  std::uint8_t message_type;  // the kind; any value, 1 to 6 being the known ones
  std::uint8_t stat_scheme;   // the scheme; any value, 0 and 1 being the known ones

  // True when both name the same stream.
  bool operator==(const StreamId&) const = default;
};

// Upper bounds, in seconds, of the buckets that count a stream's intervals
// between two datagrams; one more bucket takes the longer ones.
inline constexpr std::array<double, 11> kIntervalBounds = {0.001, 0.01, 0.1, 0.25, 0.5, 1,
                                                           2,     5,    10,  30,   60};

// A histogram of intervals between two datagrams.
struct IntervalHistogram {
  // The intervals per bucket (not cumulative); the last counts those longer
  // than every bound.
  std::array<std::uint64_t, kIntervalBounds.size() + 1> buckets{};
  double sum_seconds = 0;  // all intervals counted, added up

  // Counts one interval of `seconds`.
  void add(double seconds) {
    std::size_t bucket = 0;
    while (bucket < kIntervalBounds.size() && seconds > kIntervalBounds[bucket]) ++bucket;
    ++buckets[bucket];
    sum_seconds += seconds;
  }

  // The number of intervals counted.
  std::uint64_t count() const {
    std::uint64_t n = 0;
    for (const std::uint64_t b : buckets) n += b;
    return n;
  }
};

// The counters of one stream.
struct StreamCounters {
  StreamId stream;
  std::uint64_t packets = 0;     // datagrams of the stream
  std::uint64_t duplicates = 0;  // datagrams equal to the stream's previous one
  std::uint64_t backwards = 0;   // Timestamps lower than the stream's previous one
  std::uint32_t last_timestamp = 0;
  std::chrono::system_clock::time_point last_arrival{};
  IntervalHistogram intervals;
  std::uint64_t mixed_groups =
      0;                          // completed groups whose parts are not 1 to PacketCount once each
  std::uint64_t gaps = 0;         // arrivals later than 1.5 times the median interval
  std::uint64_t gap_packets = 0;  // the packets those gaps would have held
};

// The counters of the whole run, as the statistics summary counts them.
struct MetricsSnapshot {
  std::uint64_t datagrams = 0;
  std::uint64_t bytes = 0;
  std::uint64_t displayed = 0;  // packets displayed
  std::uint64_t short_datagrams = 0;
  std::uint64_t bad_header_id = 0;
  std::uint64_t expansion_failures = 0;
  std::uint64_t completed_messages = 0;
  std::uint64_t incomplete_groups = 0;  // held now
  std::uint64_t parts_held = 0;         // held now
  std::uint64_t parts_dropped = 0;
  std::uint64_t mixed_groups = 0;
  std::uint64_t gaps = 0;
  std::uint64_t gap_packets = 0;
  std::optional<std::uint64_t> kernel_drops;  // none where the system does not count them
  std::vector<StreamCounters> streams;        // in the order of their first datagram
};

}  // namespace feedwatch
