// The hand-over between the receive loop's thread and the server's: the loop
// puts packets and summaries in, the server takes out all that waits.  The
// loop never waits for the server.  A stream's messages are handed over at
// most every kMessageSpacing, and only one at a time: a message that comes
// sooner, or while the stream's previous one waits for the server, is
// skipped (and counted).  That bounds the loop's work, the memory that waits
// and what the clients are sent when the feed comes faster than a page can
// show it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "feedwatch/arrival.h"
#include "feedwatch/json_output.h"
#include "feedwatch/live/counters.h"
#include "feedwatch/record_expansion.h"

namespace feedwatch {

// The least time between two messages of a stream that are handed over.
inline constexpr std::chrono::milliseconds kMessageSpacing{50};

// The most messages that may wait for the server, so that one take-in
// never puts a client that kept up near the limit of the events it may be
// behind.
inline constexpr std::size_t kMaxWaitingMessages = 256;

// The most bytes that may wait for the server before a new message is
// skipped whatever its stream; the parts of a message under way still go.
inline constexpr std::size_t kMaxWaitingBytes = std::size_t{16} << 20;

// A displayed packet as the loop saw it: the bytes of its packet buffer that
// were received or expanded (the rest of the buffer reads as zero), shown as
// JSON on the server's thread.
struct PacketCopy {
  std::vector<std::uint8_t> bytes;
  Arrival arrival;
  Expansion expansion;
  std::size_t area_bytes;  // the bytes of records received or expanded
};

// One packet or summary handed over.
struct HandedOver {
  enum class Type { kPacket, kSummary };
  Type type;
  std::shared_ptr<const std::string> json;  // a summary's, or a packet's once shown
  StreamId stream;                          // for a packet
  std::optional<MessagePart> part;          // for a part of a multi-packet message
  std::optional<PacketCopy> copy;           // a packet not yet shown as JSON
};

// What the server takes out at once.
struct Taken {
  std::deque<HandedOver> items;             // in the order handed over
  std::optional<MetricsSnapshot> counters;  // the latest, when one came
  std::uint64_t skipped = 0;                // the messages skipped since the run began
};

// The hand-over, safe to use from two threads.
class Inbox {
 public:
  // True when a new message of `stream` that arrived `at` may be put in:
  // the stream's last one came at least kMessageSpacing before and does not
  // wait, and fewer than kMaxWaitingMessages and kMaxWaitingBytes wait.  Then the
  // stream counts as waiting until the next take(); else the message counts
  // as skipped.
  bool admit(const StreamId& stream, SteadyClock::time_point at);

  // Puts an item in and, with a summary, the counters behind it, which
  // replace any that wait.  True when the server waits for a wake-up, which
  // the caller then gives it.
  bool put(HandedOver item, std::optional<MetricsSnapshot> counters = std::nullopt);

  // Takes out everything that waits; the next put() then asks for a wake-up.
  Taken take();

 private:
  std::mutex mutex_;
  Taken waiting_;
  std::size_t waiting_bytes_ = 0;
  std::vector<StreamId> waiting_streams_;
  // The streams handed a message within kMessageSpacing, and when.
  std::vector<std::pair<StreamId, SteadyClock::time_point>> recent_;
  bool asleep_ = true;
};

}  // namespace feedwatch
