// Feed statistics: what arrived, what was displayed, and the health of each
// stream (one server name, kind and scheme), summed up in text or as one
// JSON object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "feedwatch/arrival.h"
#include "feedwatch/live/counters.h"
#include "feedwatch/multipacket_store.h"
#include "feedwatch/record_expansion.h"

namespace feedwatch {

// The most streams followed one by one; the datagrams of further streams
// count in the totals only.  A feed has a few; hostile traffic cannot make
// the statistics hold more than this many previous datagrams.
inline constexpr std::size_t kMaxStreams = 256;

// The counts of one run, from its start.
class FeedStatistics {
 public:
  // Counts from `start`, the moment the run began.
  explicit FeedStatistics(SteadyClock::time_point start);

  // Shows the datagrams the system drops from now on (0 until an arrival says
  // more); without this call they are unknown, as where the system does not
  // count them.
  void count_kernel_drops() { kernel_drops_ = 0; }

  // Counts a datagram as it arrived, before the monitor changes any byte of it.
  void count_datagram(std::span<const std::uint8_t> datagram, const Arrival& arrival);

  // Counts a displayed packet and what became of its record area.
  void count_display(Expansion expansion);

  // Counts a multi-packet message whose parts are all in, and whether its
  // parts' PacketNumbers are other than 1 to PacketCount once each (parts of
  // several messages merged by their Timestamp).
  void count_completed_message(std::span<const MultipacketStore::Part> parts);

  // Counts parts the full store dropped.
  void count_dropped_parts(std::size_t parts) { parts_dropped_ += parts; }

  // The summary as text, several lines, at `now`; `store` gives the parts held.
  std::string text_summary(const MultipacketStore& store, SteadyClock::time_point now) const;

  // The summary as one JSON object (schema 1), without a line end.
  std::string json_summary(const MultipacketStore& store, SteadyClock::time_point now) const;

  // The counters behind the summary, for the metrics; `store` gives the parts held.
  MetricsSnapshot counters(const MultipacketStore& store) const;

 private:
  struct Stream {
    std::u16string server;
    std::uint8_t message_type;
    std::uint8_t stat_scheme;
    std::uint64_t packets = 0;
    std::uint32_t first_timestamp = 0;
    std::uint32_t last_timestamp = 0;
    SteadyClock::time_point last_arrival;
    std::chrono::system_clock::time_point last_received;  // the same moment, calendar time
    IntervalHistogram intervals;
    std::optional<SteadyClock::duration> min_interval;
    SteadyClock::duration max_interval{};
    SteadyClock::duration total_interval{};
    std::uint64_t backwards = 0;
    std::uint64_t duplicates = 0;
    std::vector<std::uint8_t> last_datagram;
    std::uint64_t mixed_groups = 0;
    std::uint64_t gaps = 0;
    std::uint64_t gap_packets = 0;
    std::optional<SteadyClock::time_point> last_message_start;
    std::vector<SteadyClock::duration> message_intervals;  // the latest, oldest overwritten first
    std::vector<SteadyClock::duration> sorted_intervals;   // the same, in ascending order
    std::size_t next_interval = 0;                         // where the next one goes
  };

  Stream* find_stream(std::span<const std::uint8_t> datagram);
  void count_gap(Stream& s, std::span<const std::uint8_t> datagram, SteadyClock::time_point at);

  SteadyClock::time_point start_;
  std::uint64_t datagrams_ = 0;
  std::uint64_t bytes_ = 0;
  std::uint64_t displayed_ = 0;
  std::uint64_t short_ = 0;
  std::uint64_t bad_header_id_ = 0;
  std::uint64_t expansion_failures_ = 0;
  std::uint64_t completed_ = 0;
  std::uint64_t parts_dropped_ = 0;
  std::uint64_t mixed_groups_ = 0;
  std::uint64_t gaps_ = 0;
  std::uint64_t gap_packets_ = 0;
  std::optional<std::uint64_t> kernel_drops_;
  std::vector<Stream> streams_;  // in the order of their first datagram
};

}  // namespace feedwatch
