#include "feedwatch/receive_loop.h"

#include <algorithm>
#include <array>
#include <climits>
#include <memory>
#include <string>
#include <utility>

#include "feedwatch/print_packet.h"
#include "feedwatch/record_expansion.h"
#include "packet/header.h"
#include "portable/result.h"

namespace feedwatch {
namespace {

constexpr int kQuitKey = 'q';

// The identifier, the four reserve bytes and the version of every datagram.
void print_identification(const std::uint8_t* buffer, Console& console) {
  using packet::header_field;
  const auto number = [buffer](const packet::HeaderField& field) {
    return packet::read_number(buffer, field);
  };
  console.print_wide(u"Packet header id -> %s\n",
                     packet::read_text(buffer, header_field("HeaderId")));
  console.print("Reserve bytes -> %x;%x;%x;%x\n", number(header_field("PacketNumber")),
                number(header_field("PacketCount")), number(header_field("Reserved1")),
                number(header_field("Reserved2")));
  console.print("Version -> %d;%d;%d\n", number(header_field("ReleaseNumber")),
                number(header_field("MinorVersion")), number(header_field("BuildNumber")));
}

// The most datagrams taken in one receive; each has a packet buffer of its own.
constexpr std::size_t kBatchSize = 16;

// Milliseconds until the earlier of `deadline` and `summary`, rounded up; -1
// without either.
int milliseconds_left(const std::optional<SteadyClock::time_point>& deadline,
                      const std::optional<SteadyClock::time_point>& summary) {
  if (!deadline && !summary) return -1;
  const SteadyClock::time_point wake = deadline && summary ? std::min(*deadline, *summary)
                                       : deadline          ? *deadline
                                                           : *summary;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(wake - SteadyClock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

}  // namespace

LoopEnd output_failed(int error) {
  report_output_failure(error);
  return {LoopEnd::kOutputFailed};
}

Monitor::Monitor(Console& console, JsonLines* json, FeedStatistics* stats, std::uint64_t limit,
                 bool quiet)
    : console_(console),
      json_(json),
      text_(json == nullptr && !quiet),
      quiet_(quiet),
      stats_(stats),
      limit_(limit),
      expansion_room_(std::make_unique_for_overwrite<PacketBuffer>()) {}

void Monitor::handle_datagram(PacketBuffer& buffer, const Arrival& received) {
  // The bytes the buffer holds, which is all a received datagram can have.
  Arrival arrival = received;
  arrival.length = std::min(received.length, kPacketBufferSize);
  if (stats_ != nullptr) stats_->count_datagram({buffer.data(), arrival.length}, arrival);
  // A byte value, so that the fill is one memset.
  std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(arrival.length), buffer.end(),
            std::uint8_t{0});
  if (text_) {
    print_identification(buffer.data(), console_);
    packet::write_number(buffer.data(), packet::header_field("NameTerminator"), 0);
  }
  if (packet::packet_count(buffer.data()) <= 1) {
    if (text_) console_.print("\nPrint single packet:\n");
    display(buffer, arrival, nullptr);
    return;
  }
  store_part(buffer, arrival);
}

// Stores a part and, when its group is complete, shows every part of the
// group in arrival order from `buffer`, which the stored copies overwrite.
void Monitor::store_part(PacketBuffer& buffer, const Arrival& arrival) {
  const std::uint32_t timestamp = packet::timestamp(buffer.data());
  const std::uint8_t count = packet::packet_count(buffer.data());
  if (text_) {
    console_.print("Storing Multipacket - time %lu, message %d of %d from %S\n", timestamp,
                   std::int32_t{packet::packet_number(buffer.data())}, std::int32_t{count},
                   packet::server_name(buffer.data()));
  }
  const std::size_t stored = std::max(arrival.length, packet::kHeaderSize);
  const MultipacketStore::Added added =
      store_.add(timestamp, count, {buffer.data(), stored}, arrival);
  if (added.dropped != 0) {
    console_.print("Multipacket store full - dropping %u stored packet(s) of time %lu\n",
                   static_cast<std::uint32_t>(added.dropped), added.dropped_timestamp);
    if (stats_ != nullptr) stats_->count_dropped_parts(added.dropped);
  }
  if (added.complete.empty()) return;
  if (stats_ != nullptr) stats_->count_completed_message(added.complete);
  for (std::size_t n = 0; n < added.complete.size() && !limit_reached(); ++n) {
    const MultipacketStore::Part& part = added.complete[n];
    if (text_) console_.print("\nPrint packet %d:\n", static_cast<std::int32_t>(n + 1));
    std::copy(part.bytes.begin(), part.bytes.end(), buffer.begin());
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(part.bytes.size()), buffer.end(),
              std::uint8_t{0});
    const MessagePart position{n + 1, added.complete.size(), timestamp};
    display(buffer, part.arrival, &position);
  }
}

void Monitor::display(PacketBuffer& buffer, const Arrival& arrival, const MessagePart* part) {
  std::size_t area_bytes = 0;
  const Expansion expansion = expand_record_area(buffer, *expansion_room_, &area_bytes);
  const bool json_shown = json_ != nullptr && !quiet_;
  if (json_shown || live_ != nullptr) {
    if (expansion == Expansion::kPlain) {
      area_bytes = arrival.length - std::min(arrival.length, packet::kHeaderSize);
    }
    if (json_shown) json_->write_packet(buffer, arrival, part, expansion, area_bytes);
    if (live_ != nullptr) live_->publish_packet(buffer, arrival, expansion, area_bytes, part);
  }
  if (text_) print_packet(buffer, expansion, console_);
  if (saved_ != nullptr) saved_->take(buffer.data(), arrival.length, expansion, area_bytes, part);
  ++displayed_;
  if (stats_ != nullptr) stats_->count_display(expansion);
}

void Monitor::serve_live_view(LiveView& live, SteadyClock::time_point first_summary,
                              bool reported) {
  live_ = &live;
  next_summary_ = first_summary;
  stats_reported_ = reported;
}

std::optional<SteadyClock::time_point> Monitor::next_summary() const {
  if (live_ == nullptr) return std::nullopt;
  return next_summary_;
}

void Monitor::publish_summary_if_due(SteadyClock::time_point now) {
  if (live_ == nullptr || stats_ == nullptr || now < next_summary_) return;
  live_->publish_summary(stats_->json_summary(store_, now), stats_->counters(store_));
  // The next second after `now`, without a burst after a long datagram.
  while (next_summary_ <= now) next_summary_ += std::chrono::seconds(1);
}

int Monitor::flush() {
  const int error = console_.flush();
  return error != 0 || json_ == nullptr ? error : json_->error();
}

int Monitor::report(SteadyClock::time_point now) {
  if (stats_ == nullptr || !stats_reported_) return 0;
  if (json_ != nullptr) json_->write_line(stats_->json_summary(store_, now));
  console_.print("%s", stats_->text_summary(store_, now));
  return flush();
}

namespace {

// The packet buffers of one batch receive.
struct Batch {
  Batch() : buffers(std::make_unique<PacketBuffer[]>(kBatchSize)) {
    for (std::size_t n = 0; n < kBatchSize; ++n) {
      slots[n].buffer = buffers[n].data();
      slots[n].capacity = kPacketBufferSize;
    }
  }
  std::unique_ptr<PacketBuffer[]> buffers;
  std::array<platform::ReceivedDatagram, kBatchSize> slots{};
};

// The datagrams the system dropped so far on all of `listeners`, where it
// counts them.
std::optional<std::uint64_t> kernel_drops(const Listeners& listeners) {
  std::optional<std::uint64_t> sum;
  for (const platform::UdpSocket& socket : listeners.sockets) {
    if (const auto drops = socket.kernel_drops()) sum = sum.value_or(0) + *drops;
  }
  return sum;
}

// Flushes the recording and prints the statistics, as a report signal asks.
// Returns 0 or the error number of the write that failed.
int report_now(Monitor& monitor, Recording* recording) {
  if (recording != nullptr) {
    if (const int e = recording->flush()) return e;
  }
  return monitor.report();
}

// What ends the loop after a datagram was handled, if anything.
std::optional<LoopEnd> end_after_datagram(Monitor& monitor, platform::Signals& signals,
                                          const std::optional<SteadyClock::time_point>& deadline,
                                          Recording* recording) {
  if (const int e = monitor.flush()) return output_failed(e);
  if (monitor.limit_reached()) return LoopEnd{LoopEnd::kCount};
  if (const int s = signals.stop_signal()) return LoopEnd{LoopEnd::kSignal, s};
  if (signals.take_report_request()) {
    if (const int e = report_now(monitor, recording)) return output_failed(e);
  }
  if (deadline && SteadyClock::now() >= *deadline) return LoopEnd{LoopEnd::kTimeout};
  return std::nullopt;
}

}  // namespace

LoopEnd run_receive_loop(const Listeners& listeners, platform::Keyboard& keyboard,
                         platform::Signals& signals, Monitor& monitor,
                         std::optional<SteadyClock::time_point> deadline, Recording* recording) {
  Batch batch;
  const auto quit = [&listeners] {
    for (platform::UdpSocket& socket : listeners.sockets) socket.shutdown_receive();
    return LoopEnd{LoopEnd::kQuitKey};
  };
  for (;;) {
    if (!keyboard.is_terminal() && keyboard.poll() == kQuitKey) return quit();
    std::uint64_t ready = 0;
    bool first = true;
    for (bool datagram = false; !datagram;) {
      const int flush_ms =
          recording != nullptr ? recording->milliseconds_to_flush(SteadyClock::now()) : -1;
      const int wait_ms =
          shorter_wait(milliseconds_left(deadline, monitor.next_summary()), flush_ms);
      switch (platform::wait_for_event(listeners.sockets, ready, keyboard, signals, wait_ms)) {
        case platform::Event::kDatagram: datagram = true; break;
        case platform::Event::kTimeout:
          // Without a recording or a live view only the deadline can end the wait.
          if ((recording == nullptr && !monitor.next_summary()) ||
              (deadline && SteadyClock::now() >= *deadline)) {
            return {LoopEnd::kTimeout};
          }
          if (recording != nullptr) {
            if (const int e = recording->flush_if_due(SteadyClock::now())) return output_failed(e);
          }
          monitor.publish_summary_if_due(SteadyClock::now());
          break;
        case platform::Event::kKey:
          if (keyboard.poll() == kQuitKey) return quit();
          break;
        case platform::Event::kSignal:
          if (const int s = signals.stop_signal()) return {LoopEnd::kSignal, s};
          if (signals.take_report_request()) {
            if (const int e = report_now(monitor, recording)) return output_failed(e);
          }
          break;
      }
    }
    for (std::size_t n = 0; n < listeners.sockets.size(); ++n) {
      if ((ready >> n & 1) == 0) continue;
      int error = 0;
      const int taken = listeners.sockets[n].receive_batch(batch.slots, error);
      if (taken < 0) {
        monitor.console().print("%s", portable::failed("recvfrom", error).text);
        return {LoopEnd::kReceiveFailed};
      }
      const std::optional<std::uint64_t> drops = kernel_drops(listeners);
      for (std::size_t i = 0; i < static_cast<std::size_t>(taken); ++i) {
        // Keys that are no terminal's count one per datagram, read before it.
        if (!first && !keyboard.is_terminal() && keyboard.poll() == kQuitKey) return quit();
        first = false;
        const platform::ReceivedDatagram& d = batch.slots[i];
        // Taken as the datagram is handled, as a receive of one datagram at a time would.
        const Arrival arrival{std::chrono::system_clock::now(), SteadyClock::now(), d.from,
                              d.length, drops};
        if (recording != nullptr) {
          if (const int e = recording->record({d.buffer, d.length}, arrival, listeners.group,
                                              listeners.ports[n])) {
            return output_failed(e);
          }
        }
        monitor.handle_datagram(batch.buffers[i], arrival);
        if (const auto end = end_after_datagram(monitor, signals, deadline, recording)) {
          return *end;
        }
        monitor.publish_summary_if_due(arrival.at);
      }
      if (recording != nullptr) {
        if (const int e = recording->flush_if_due(SteadyClock::now())) return output_failed(e);
      }
    }
  }
}

}  // namespace feedwatch
