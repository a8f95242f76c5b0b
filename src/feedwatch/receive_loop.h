// The receive loop: wait for a datagram, the quit key, a signal or the
// deadline; show each datagram at once or hold it as a part of a multi-packet
// message until its group is complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "feedwatch/arrival.h"
#include "feedwatch/console_output.h"
#include "feedwatch/feed_statistics.h"
#include "feedwatch/json_output.h"
#include "feedwatch/live/live_view.h"
#include "feedwatch/multipacket_store.h"
#include "feedwatch/packet_buffer.h"
#include "feedwatch/recording.h"
#include "feedwatch/save_ini.h"
#include "platform/events.h"
#include "platform/keyboard.h"
#include "platform/sockets.h"

namespace feedwatch {

// What the loop keeps from datagram to datagram: where packets are shown,
// the Multipacket Store, and the counts.
class Monitor {
 public:
  // Shows packets as text on `console`, or, with `json`, as JSON lines there
  // (`console` then takes only the other lines); counts the feed in `stats`
  // when given; displays at most `limit` packets.  With `quiet` no packet
  // is shown, but each is handled and counted as a displayed one would be.
  explicit Monitor(Console& console, JsonLines* json = nullptr, FeedStatistics* stats = nullptr,
                   std::uint64_t limit = UINT64_MAX, bool quiet = false);

  // Handles one datagram of `arrival.length` bytes (no more than the buffer
  // holds count) received into `buffer`: clears the bytes behind it, then
  // shows it as a single packet or stores it, showing its whole group once
  // that is complete.  The text display prints the identification lines
  // first and zeroes NameTerminator.
  void handle_datagram(PacketBuffer& buffer, const Arrival& received);

  // True once `limit` packets have been displayed.
  bool limit_reached() const { return displayed_ >= limit_; }

  // The packets displayed so far.
  std::uint64_t displayed() const { return displayed_; }

  // Prints the feed statistics at `now`, when they are counted: as text on
  // the console and, in JSON mode, as one JSON line as well.  Returns what
  // flush() returns.
  int report(SteadyClock::time_point now = SteadyClock::now());

  // Writes out what the console holds.  Returns 0, or the error number of
  // the first write of the console or of the JSON lines that failed.
  int flush();

  // Hands every displayed packet to `live` from now on, and once a second the
  // statistics, which the monitor must count (`stats` given); report() prints
  // them only when they are `reported` too.
  void serve_live_view(LiveView& live, SteadyClock::time_point first_summary, bool reported);

  // When the live view is next due for the statistics; none without one.
  std::optional<SteadyClock::time_point> next_summary() const;

  // Hands the statistics to the live view when they are due at `now`.
  void publish_summary_if_due(SteadyClock::time_point now);

  // The console, for the loop's own lines.
  Console& console() { return console_; }

  // Keeps every complete table shown in `tables` from now on.
  void keep_tables(SavedTables& tables) { saved_ = &tables; }

  // The parts of multi-packet messages held.
  const MultipacketStore& store() const { return store_; }

 private:
  void store_part(PacketBuffer& buffer, const Arrival& arrival);
  void display(PacketBuffer& buffer, const Arrival& arrival, const MessagePart* part);

  Console& console_;
  JsonLines* json_;
  bool text_;  // packets shown as text
  bool quiet_;
  FeedStatistics* stats_;
  std::uint64_t limit_;
  std::uint64_t displayed_ = 0;
  MultipacketStore store_;
  SavedTables* saved_ = nullptr;
  // The room a compressed record area expands into, kept from packet to packet.
  std::unique_ptr<PacketBuffer> expansion_room_;
  LiveView* live_ = nullptr;
  SteadyClock::time_point next_summary_{};
  bool stats_reported_ = true;  // report() prints the statistics
};

// Why the loop ended.
struct LoopEnd {
  enum Reason {
    kQuitKey,
    kCount,
    kTimeout,
    kSignal,
    kReceiveFailed,
    kOutputFailed,
    kEndOfInput,
    kInputFault
  };
  Reason reason;
  int signal = 0;  // the stop signal, for kSignal
};

// Where the loop listens: one socket per port, all joined to one group.
struct Listeners {
  std::span<platform::UdpSocket> sockets;
  std::span<const int> ports;  // the port of each socket
  platform::Ipv4 group;        // network byte order
};

// Runs the loop until `q` is pressed, the monitor's limit is reached, the
// `deadline` passes, a stop signal arrives, a receive fails (the failure
// printed) or the output cannot be written (reported).  Output is flushed after every datagram; a
// report signal prints the statistics between two datagrams, and a live view gets them once a
// second, datagrams or not.  On a terminal a key takes effect at once; any other standard input
// gives one key per datagram, before it.  Datagrams that wait are taken several at once where
// the platform allows, then each stamped, recorded and handled in turn (those behind a stop are
// dropped).  With `recording`, every datagram is recorded before it is handled, and the
// recording is flushed at least once a second and at a report; a failed write ends the loop as
// output that cannot be written does.
LoopEnd run_receive_loop(const Listeners& listeners, platform::Keyboard& keyboard,
                         platform::Signals& signals, Monitor& monitor,
                         std::optional<SteadyClock::time_point> deadline,
                         Recording* recording = nullptr);

// Reports output that could not be written; the loop ends with it.
LoopEnd output_failed(int error);

}  // namespace feedwatch
