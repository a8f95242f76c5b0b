// The hand-over between the receive loop's thread and the server's: the loop
// puts packets and summaries in, the server takes out all that waits.  The
// loop never waits for the server; when the server has fallen far behind,
// the oldest items give way, within the limits of the event ring.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "feedwatch/json_output.h"
#include "feedwatch/live/counters.h"
#include "feedwatch/live/event_ring.h"

namespace feedwatch {

// One packet or summary handed over, its JSON text shared with what shows it.
struct HandedOver {
  enum class Type { kPacket, kSummary };
  Type type;
  std::shared_ptr<const std::string> json;
  StreamId stream;                  // for a packet
  std::optional<MessagePart> part;  // for a part of a multi-packet message
};

// What the server takes out at once.
struct Taken {
  std::deque<HandedOver> items;             // in the order handed over
  std::optional<MetricsSnapshot> counters;  // the latest, when one came
  std::size_t bytes = 0;                    // the JSON text the items hold
};

// The hand-over, safe to use from two threads.
class Inbox {
 public:
  // Puts an item in and, with a summary, the counters behind it, which
  // replace any that wait.  True when the server waits for a wake-up, which
  // the caller then gives it.
  bool put(HandedOver item, std::optional<MetricsSnapshot> counters = std::nullopt);

  // Takes out everything that waits; the next put() then asks for a wake-up.
  Taken take();

 private:
  std::mutex mutex_;
  Taken waiting_;
  bool asleep_ = true;
};

}  // namespace feedwatch
