#include "feedcast/replay.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <span>

#include "capture/reader.h"
#include "feedcast/faults.h"
#include "packet/byte_order.h"
#include "packet/header.h"
#include "platform/precise_clock.h"
#include "platform/system.h"

namespace feedcast {
namespace {

constexpr std::int64_t kProgressInterval = 250'000'000;  // nanoseconds between progress lines

// The capture opened for one pass, or the failure "<path>: <reason>".
portable::Result<capture::CaptureFile> open_pass(const std::string& path) {
  int error = 0;
  capture::CaptureFile file = capture::open_capture(path, error);
  if (!file) return portable::Failure{path + ": " + platform::error_text(error)};
  return file;
}

// Seconds or milliseconds with a fixed number of decimals.
std::string decimal(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// The network-order form of a host-order address.
platform::Ipv4 network_order(std::uint32_t host) {
  std::uint8_t bytes[4];
  packet::store_be32(bytes, host);
  platform::Ipv4 address;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}

// The state of one replay: the schedule, what was taken and sent, and the
// message held until its last part.
class Replay {
 public:
  Replay(const Options& options, const CaptureScan& scan, const ReplayGroups& groups,
         platform::ProfileFile& ini, platform::UdpSocket& socket, TraceOutput& trace, bool progress)
      : options_(options),
        scan_(scan),
        groups_(groups),
        socket_(socket),
        trace_(trace),
        progress_(progress),
        start_(platform::steady_nanoseconds()),
        schedule_(scan.span, options.speed, start_) {
    faults_.update(ini);
  }

  // Runs every pass; see run_replay().
  portable::Result<void> run() {
    trace_.print("Replaying " + options_.replay_file + ": " + std::to_string(scan_.span.datagrams) +
                 " datagrams of the feed over " +
                 decimal(static_cast<double>(scan_.span.length()) / 1e9, 3) + " s\n");
    portable::Result<void> result;
    for (pass_ = 0; result && !done() && (options_.loops == 0 || pass_ < options_.loops); ++pass_) {
      result = run_pass();
      if (scan_.span.datagrams == 0) break;
    }
    clear_progress();
    trace_.print(summary());
    if (const int e = trace_.flush(); e != 0 && result) {
      return portable::Failure{platform::output_failure_text(e)};
    }
    return result;
  }

 private:
  bool done() const { return options_.count != 0 && taken_ == options_.count; }

  portable::Result<void> run_pass() {
    const portable::Result<capture::CaptureFile> file = open_pass(options_.replay_file);
    if (!file) return portable::Failure{file.failure()};
    capture::Reader reader(file->get(), capture::feed_ports());
    shift_.reset();
    held_ = 0;
    while (!done()) {
      const std::optional<capture::UdpDatagram> d = reader.next();
      if (!d) break;
      if (held_ > 0 && !joins_message(message_[0], held_, *d)) {
        if (portable::Result<void> sent = send_message(); !sent) return sent;
      }
      hold(*d);
      if (completes_message(message_[held_ - 1], held_)) {
        if (portable::Result<void> sent = send_message(); !sent) return sent;
      }
    }
    if (held_ > 0 && !done()) {
      if (portable::Result<void> sent = send_message(); !sent) return sent;
    }
    if (reader.error() && !done()) {
      return portable::Failure{options_.replay_file + ": " + reader.error()->text()};
    }
    return {};
  }

  // Copies a datagram into the message held, reusing the buffers of earlier ones.
  void hold(const capture::UdpDatagram& d) {
    if (message_.size() == held_) message_.emplace_back();
    HeldDatagram& h = message_[held_++];
    h.bytes.assign(d.payload.begin(), d.payload.end());
    h.time_ns = d.time_ns;
    h.destination = d.destination_address;
    h.port = d.destination_port;
  }

  // Sends the message held: each part at the deadline of the place it takes
  // in the capture, in the injector's order and with its faults.
  portable::Result<void> send_message() {
    const std::size_t parts = held_;
    held_ = 0;
    wait_for(message_[0].time_ns);
    if (options_.retime && scan_.first_timestamp) {
      if (!shift_) {
        shift_ = static_cast<std::uint32_t>(platform::current_time() - *scan_.first_timestamp);
      }
      for (std::size_t i = 0; i < parts; ++i) move_timestamp(message_[i].bytes, *shift_);
    }
    views_.clear();
    for (std::size_t i = 0; i < parts; ++i) views_.emplace_back(message_[i].bytes);
    std::string lines;
    const std::span<const std::size_t> order = faults_.order(views_, lines);
    std::optional<portable::Failure> failure;
    for (std::size_t i = 0; i < parts && !failure && !done(); ++i) {
      if (i > 0) wait_for(message_[i].time_ns);
      const HeldDatagram& h = message_[order[i]];
      const platform::Ipv4 group =
          replay_group(h.destination, groups_.configured, groups_.fallback);
      const Shipment shipment = faults_.shape(views_[order[i]], lines);
      for (int copy = 0; copy < shipment.copies && !failure; ++copy) {
        if (const int e =
                socket_.send_to(shipment.bytes.data(), shipment.bytes.size(), group, h.port)) {
          failure = portable::failed("sendto", e);
        }
      }
      sent_ += static_cast<std::uint64_t>(shipment.copies);
      ++taken_;
    }
    if (!lines.empty()) {
      clear_progress();
      trace_.print_faults(lines);
    }
    show_progress();
    if (failure) return *failure;
    return {};
  }

  // Waits for the deadline of a datagram captured at `time_ns` in this pass
  // and keeps the greatest lateness.
  void wait_for(std::int64_t time_ns) {
    if (options_.speed <= 0) return;
    const std::int64_t deadline = schedule_.deadline(pass_, time_ns);
    platform::wait_until(deadline);
    lateness_ = std::max(lateness_, platform::steady_nanoseconds() - deadline);
  }

  double elapsed_seconds() const {
    return static_cast<double>(platform::steady_nanoseconds() - start_) / 1e9;
  }

  // Rewrites the progress line, at most four times a second.
  void show_progress() {
    if (!progress_) return;
    const std::int64_t now = platform::steady_nanoseconds();
    if (now < next_progress_) return;
    next_progress_ = now + kProgressInterval;
    std::string line =
        "\rSent " + std::to_string(sent_) + " datagrams in " + decimal(elapsed_seconds(), 1) + " s";
    if (options_.loops != 1) {
      line += ", pass " + std::to_string(pass_ + 1);
      if (options_.loops != 0) line += " of " + std::to_string(options_.loops);
    }
    const std::size_t width = line.size();
    if (width < progress_width_) line.append(progress_width_ - width, ' ');
    progress_width_ = width;
    trace_.print(line);
    trace_.flush();
  }

  // Blanks the progress line, so that the next text takes its place.
  void clear_progress() {
    if (progress_width_ == 0) return;
    std::string blank(progress_width_ + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    trace_.print(blank);
    progress_width_ = 0;
    next_progress_ = 0;
  }

  std::string summary() const {
    std::string line =
        "Sent " + std::to_string(sent_) + " datagrams in " + decimal(elapsed_seconds(), 3) + " s";
    if (options_.speed > 0) {
      line += ", greatest lateness " + decimal(static_cast<double>(lateness_) / 1e6, 3) + " ms";
    }
    return line + "\n";
  }

  const Options& options_;
  const CaptureScan& scan_;
  const ReplayGroups& groups_;
  platform::UdpSocket& socket_;
  TraceOutput& trace_;
  const bool progress_;
  const std::int64_t start_;
  const ReplaySchedule schedule_;
  FaultInjector faults_;
  std::uint64_t pass_ = 0;
  std::optional<std::uint32_t> shift_;  // of the Timestamps of this pass, with --retime
  std::vector<HeldDatagram> message_;   // buffers of the message held, reused
  std::size_t held_ = 0;                // datagrams of the message held
  std::vector<packet::Datagram> views_;
  std::uint64_t taken_ = 0;  // datagrams of the capture taken, dropped ones too
  std::uint64_t sent_ = 0;   // datagrams sent, copies too
  std::int64_t lateness_ = 0;
  std::int64_t next_progress_ = 0;
  std::size_t progress_width_ = 0;
};

}  // namespace

portable::Result<CaptureScan> scan_capture(const std::string& path) {
  const portable::Result<capture::CaptureFile> file = open_pass(path);
  if (!file) return portable::Failure{file.failure()};
  capture::Reader reader(file->get(), capture::feed_ports());
  CaptureScan scan;
  while (const std::optional<capture::UdpDatagram> d = reader.next()) {
    if (scan.span.datagrams++ == 0) scan.span.first_ns = d->time_ns;
    scan.span.last_ns = d->time_ns;
    if (!scan.first_timestamp && d->payload.size() >= packet::kHeaderSize) {
      scan.first_timestamp = packet::timestamp(d->payload.data());
    }
  }
  return scan;
}

bool joins_message(const HeldDatagram& first, std::size_t held, const capture::UdpDatagram& next) {
  if (first.bytes.size() < packet::kHeaderSize || next.payload.size() < packet::kHeaderSize) {
    return false;
  }
  const std::uint8_t* a = first.bytes.data();
  const std::uint8_t* b = next.payload.data();
  const std::uint8_t count = packet::packet_count(a);
  return count >= 2 && packet::packet_count(b) == count && held < count &&
         packet::timestamp(a) == packet::timestamp(b) && first.port == next.destination_port &&
         first.destination == next.destination_address;
}

bool completes_message(const HeldDatagram& last, std::size_t held) {
  if (last.bytes.size() < packet::kHeaderSize) return true;
  const std::uint8_t count = packet::packet_count(last.bytes.data());
  return count < 2 || held >= count;
}

platform::Ipv4 replay_group(std::uint32_t captured, std::optional<platform::Ipv4> configured,
                            platform::Ipv4 fallback) {
  if (configured) return *configured;
  const bool multicast = (captured >> 28) == 0xe;
  return multicast ? network_order(captured) : fallback;
}

void move_timestamp(std::vector<std::uint8_t>& bytes, std::uint32_t shift) {
  if (bytes.size() < packet::kHeaderSize) return;
  constexpr const packet::HeaderField& field = packet::header_field("Timestamp");
  packet::write_number(bytes.data(), field, packet::read_number(bytes.data(), field) + shift);
}

portable::Result<void> run_replay(const Options& options, const CaptureScan& scan,
                                  const ReplayGroups& groups, platform::ProfileFile& ini,
                                  platform::UdpSocket& socket, TraceOutput& trace, bool progress) {
  return Replay(options, scan, groups, ini, socket, trace, progress).run();
}

}  // namespace feedcast
