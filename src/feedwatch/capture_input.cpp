#include "feedwatch/capture_input.h"

#include <algorithm>
#include <memory>

namespace feedwatch {
LoopEnd run_capture_loop(capture::Reader& reader, platform::Signals& signals, Monitor& monitor,
                         std::optional<SteadyClock::time_point> deadline,
                         SteadyClock::time_point start, SteadyClock::time_point& last_arrival) {
  const auto buffer = std::make_unique<PacketBuffer>();
  std::optional<std::int64_t> first_ns;
  last_arrival = start;
  while (const std::optional<capture::UdpDatagram> d = reader.next()) {
    if (!first_ns) first_ns = d->time_ns;
    Arrival arrival;
    const std::chrono::nanoseconds time(d->time_ns);
    arrival.received = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(time));
    arrival.at = start + std::chrono::duration_cast<SteadyClock::duration>(
                             std::chrono::nanoseconds(d->time_ns - *first_ns));
    arrival.source = {platform::from_host_order(d->source_address), d->source_port};
    arrival.length = std::min(d->payload.size(), buffer->size());
    std::copy_n(d->payload.begin(), arrival.length, buffer->begin());
    last_arrival = std::max(last_arrival, arrival.at);
    monitor.handle_datagram(*buffer, arrival);
    if (const int e = monitor.flush()) return output_failed(e);
    if (monitor.limit_reached()) return {LoopEnd::kCount};
    if (const int s = signals.stop_signal()) return {LoopEnd::kSignal, s};
    if (signals.take_report_request()) {
      if (const int e = monitor.report(last_arrival)) return output_failed(e);
    }
    if (deadline && SteadyClock::now() >= *deadline) return {LoopEnd::kTimeout};
  }
  return {reader.error() ? LoopEnd::kInputFault : LoopEnd::kEndOfInput};
}

}  // namespace feedwatch
