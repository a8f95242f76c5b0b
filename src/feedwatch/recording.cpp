#include "feedwatch/recording.h"

#include <algorithm>
#include <climits>

#include "portable/command_line.h"
#include "platform/system.h"

namespace feedwatch {
int Recording::create(const std::string& path, const std::string& interface_name) {
  return writer_.create(path, {"feedwatch " + std::string(portable::program_version()),
                               platform::system_description(), interface_name});
}

int Recording::record(std::span<const std::uint8_t> datagram, const Arrival& arrival,
                      platform::Ipv4 group, int port) {
  capture::UdpDatagram d;
  d.time_ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(arrival.received.time_since_epoch())
          .count();
  d.source_address = platform::host_order(arrival.source.address);
  d.source_port = arrival.source.port;
  d.destination_address = platform::host_order(group);
  d.destination_port = static_cast<std::uint16_t>(port);
  d.payload = datagram;
  if (!waiting_) first_waiting_ = arrival.at;
  waiting_ = true;
  return writer_.write(d);
}

int Recording::flush_if_due(SteadyClock::time_point now) {
  return waiting_ && now - first_waiting_ >= kFlushInterval ? flush() : 0;
}

int Recording::milliseconds_to_flush(SteadyClock::time_point now) const {
  if (!waiting_) return -1;
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(first_waiting_ + kFlushInterval - now).count();
  return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

int Recording::flush() {
  waiting_ = false;
  return writer_.flush();
}

int shorter_wait(int a_ms, int b_ms) {
  if (a_ms < 0) return b_ms;
  if (b_ms < 0) return a_ms;
  return std::min(a_ms, b_ms);
}

}  // namespace feedwatch
