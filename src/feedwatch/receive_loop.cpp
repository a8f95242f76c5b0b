#include "feedwatch/receive_loop.h"

#include <algorithm>
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

// Reports output that could not be written; the loop ends with it.
LoopEnd output_failed(int error) {
  report_output_failure(error);
  return {LoopEnd::kOutputFailed};
}

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

// The stream of the packet in `buffer`, as the statistics name it.
StreamId stream_of(const std::uint8_t* buffer) {
  StreamId stream{{}, packet::message_type(buffer), packet::stat_scheme(buffer)};
  append_utf8(stream.server, packet::server_name(buffer));
  return stream;
}

}  // namespace

Monitor::Monitor(Console& console, JsonLines* json, FeedStatistics* stats, std::uint64_t limit,
                 std::size_t store_capacity)
    : console_(console),
      json_(json),
      stats_(stats),
      limit_(limit),
      store_(store_capacity),
      expansion_room_(std::make_unique_for_overwrite<PacketBuffer>()) {}

void Monitor::handle_datagram(PacketBuffer& buffer, const Arrival& received) {
  // The bytes the buffer holds, which is all a received datagram can have.
  Arrival arrival = received;
  arrival.length = std::min(received.length, kPacketBufferSize);
  if (stats_ != nullptr) stats_->count_datagram({buffer.data(), arrival.length}, arrival);
  // A byte value, so that the fill is one memset.
  std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(arrival.length), buffer.end(),
            std::uint8_t{0});
  if (json_ == nullptr) {
    print_identification(buffer.data(), console_);
    packet::write_number(buffer.data(), packet::header_field("NameTerminator"), 0);
  }
  if (packet::packet_count(buffer.data()) <= 1) {
    if (json_ == nullptr) console_.print("\nPrint single packet:\n");
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
  if (json_ == nullptr) {
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
    if (json_ == nullptr) console_.print("\nPrint packet %d:\n", static_cast<std::int32_t>(n + 1));
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
  if (json_ != nullptr || live_ != nullptr) {
    if (expansion == Expansion::kPlain) {
      area_bytes = arrival.length - std::min(arrival.length, packet::kHeaderSize);
    }
    std::string object = packet_json(buffer, arrival, part, expansion, area_bytes);
    if (json_ != nullptr) json_->write_line(object);
    if (live_ != nullptr) live_->publish_packet(std::move(object), stream_of(buffer.data()), part);
  }
  if (json_ == nullptr) print_packet(buffer, expansion, console_);
  ++displayed_;
  if (stats_ != nullptr) stats_->count_display(expansion);
}

void Monitor::serve_live_view(LiveView& live, SteadyClock::time_point first_summary) {
  live_ = &live;
  next_summary_ = first_summary;
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

int Monitor::report() {
  if (stats_ == nullptr) return 0;
  const SteadyClock::time_point now = SteadyClock::now();
  if (json_ != nullptr) json_->write_line(stats_->json_summary(store_, now));
  console_.print("%s", stats_->text_summary(store_, now));
  return flush();
}

LoopEnd run_receive_loop(platform::UdpSocket& socket, platform::Keyboard& keyboard,
                         platform::Signals& signals, Monitor& monitor,
                         std::optional<SteadyClock::time_point> deadline) {
  const auto buffer = std::make_unique<PacketBuffer>();
  const auto quit = [&socket] {
    socket.shutdown_receive();
    return LoopEnd{LoopEnd::kQuitKey};
  };
  for (;;) {
    if (!keyboard.is_terminal() && keyboard.poll() == kQuitKey) return quit();
    for (bool datagram = false; !datagram;) {
      const int wait = milliseconds_left(deadline, monitor.next_summary());
      switch (platform::wait_for_event(socket, keyboard, signals, wait)) {
        case platform::Event::kDatagram: datagram = true; break;
        case platform::Event::kTimeout:
          // Without a live view only the deadline can end the wait.
          if (!monitor.next_summary() || (deadline && SteadyClock::now() >= *deadline)) {
            return {LoopEnd::kTimeout};
          }
          monitor.publish_summary_if_due(SteadyClock::now());
          break;
        case platform::Event::kKey:
          if (keyboard.poll() == kQuitKey) return quit();
          break;
        case platform::Event::kSignal:
          if (const int s = signals.stop_signal()) return {LoopEnd::kSignal, s};
          if (signals.take_report_request()) {
            if (const int e = monitor.report()) return output_failed(e);
          }
          break;
      }
    }
    Arrival arrival;
    int error = 0;
    const long length = socket.receive(buffer->data(), buffer->size(), error, arrival.source);
    arrival.received = std::chrono::system_clock::now();
    arrival.kernel_drops = socket.kernel_drops();
    arrival.at = SteadyClock::now();
    if (length < 0) {
      monitor.console().print("%s", portable::failed("recvfrom", error).text);
      return {LoopEnd::kReceiveFailed};
    }
    arrival.length = static_cast<std::size_t>(length);
    monitor.handle_datagram(*buffer, arrival);
    if (const int e = monitor.flush()) return output_failed(e);
    monitor.publish_summary_if_due(arrival.at);
    if (monitor.limit_reached()) return {LoopEnd::kCount};
    if (const int s = signals.stop_signal()) return {LoopEnd::kSignal, s};
    if (signals.take_report_request()) {
      if (const int e = monitor.report()) return output_failed(e);
    }
    if (deadline && SteadyClock::now() >= *deadline) return {LoopEnd::kTimeout};
  }
}

}  // namespace feedwatch
