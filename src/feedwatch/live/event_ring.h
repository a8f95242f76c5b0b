// The recent events of /events, kept once for every client: a bounded ring
// in which each client has a place of its own.  A client that falls too far
// behind is let go rather than buffered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

namespace feedwatch {

// The most events, and the most bytes of events, kept; older ones give way.
inline constexpr std::size_t kMaxKeptEvents = 1024;
inline constexpr std::size_t kMaxKeptEventBytes = std::size_t{64} << 20;

// The most events a client may be behind the newest before it is let go.
inline constexpr std::uint64_t kMaxEventsBehind = 1000;

// The lines that begin each kind of event in the stream, up to its data.
inline constexpr std::string_view kPacketEvent = "event: packet\ndata: ";
inline constexpr std::string_view kSummaryEvent = "event: summary\ndata: ";
inline constexpr std::string_view kStatusEvent = "event: status\ndata: ";
inline constexpr std::string_view kStreamsEvent = "event: streams\ndata: ";

// One event: the lines that begin it, and its data, one line of JSON shared
// with whatever else holds it.  A blank line ends it in the stream.
struct Event {
  std::string_view head;
  std::shared_ptr<const std::string> data;
};

// The ring.  Events are numbered from 0 in the order added.
class EventRing {
 public:
  // Adds an event; the oldest give way beyond the limits above, keeping the newest.
  void add(Event event);

  // The number of the next event to be added.
  std::uint64_t end() const { return first_ + events_.size(); }

  // True when a client whose next event is `next` can still be served:
  // every event from `next` on is kept, and it is at most kMaxEventsBehind
  // behind.
  bool can_serve(std::uint64_t next) const {
    return next >= first_ && end() - next <= kMaxEventsBehind;
  }

  // The event numbered `n`, which must be kept.
  const Event& at(std::uint64_t n) const { return events_[n - first_]; }

 private:
  std::deque<Event> events_;
  std::uint64_t first_ = 0;  // the number of the oldest event kept
  std::size_t bytes_ = 0;
};

}  // namespace feedwatch
