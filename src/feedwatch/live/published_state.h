// What the server shows, kept on its own thread: the events of /events, the
// streams' tables, the latest summary and counters, and the rates of the
// last ten seconds.  It changes only when the server takes in what the loop
// handed over.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <string>

#include "feedwatch/live/event_ring.h"
#include "feedwatch/live/inbox.h"
#include "feedwatch/live/live_view.h"
#include "feedwatch/live/stream_tables.h"
#include "feedwatch/packet_buffer.h"

namespace feedwatch {

// The published state.
class PublishedState {
 public:
  explicit PublishedState(LiveInfo info);
  ~PublishedState();

  // Takes in what the loop handed over, at `now`: each packet, shown as
  // JSON, and each summary becomes an event, and each summary is followed
  // by a "status" event.
  void take_in(Taken taken, std::chrono::steady_clock::time_point now);

  // The events for /events.
  const EventRing& events() const { return events_; }

  // The JSON object of /api/streams at `now`: "status", "summary" (null
  // before the first) and "streams".
  std::string streams_json(std::chrono::steady_clock::time_point now) const;

  // The text of /metrics.
  std::string metrics() const;

 private:
  // One reading of the counts for the rates.
  struct Reading {
    std::chrono::steady_clock::time_point at;
    std::uint64_t datagrams;
    std::uint64_t displayed;
  };

  std::string status_json(std::chrono::steady_clock::time_point now) const;
  std::shared_ptr<const std::string> packet_json(const HandedOver& item);

  LiveInfo info_;
  EventRing events_;
  StreamTables tables_;
  std::shared_ptr<const std::string> summary_;
  MetricsSnapshot counters_;
  std::deque<Reading> readings_;        // the last ten seconds' and one before
  std::uint64_t skipped_ = 0;           // the messages the loop skipped so far
  std::unique_ptr<PacketBuffer> room_;  // where a packet is shown from
};

}  // namespace feedwatch
