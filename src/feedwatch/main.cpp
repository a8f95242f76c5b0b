// feedwatch: joins the statistics feed's multicast group on every address of
// the host, listens on one port (or on all twelve) and shows every packet, as
// text or as JSON Lines, until `q` is pressed, a count or a time-out is
// reached, or a signal asks it to stop; it may record what arrives, or take
// the datagrams of a capture file instead of the network.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "capture/reader.h"
#include "feedwatch/capture_input.h"
#include "feedwatch/console_output.h"
#include "feedwatch/feed_statistics.h"
#include "feedwatch/json_output.h"
#include "feedwatch/listener.h"
#include "feedwatch/live/live_view.h"
#include "feedwatch/options.h"
#include "feedwatch/port_selection.h"
#include "feedwatch/receive_loop.h"
#include "feedwatch/recording.h"
#include "packet/catalogue.h"
#include "portable/command_line.h"
#include "platform/events.h"
#include "platform/keyboard.h"
#include "platform/profile.h"
#include "platform/sockets.h"
#include "platform/system.h"
#include "platform/terminal.h"

namespace {

// How a run ended: an exit status, or the stop signal that is to end the process.
struct RunEnd {
  int status = 0;
  int signal = 0;
};

// Writes "feedwatch: <text>" as a line of its own on standard error.
void program_line(const std::string& text) {
  const std::string line = "feedwatch: " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

// The status of a capture that cannot be read: "feedwatch: <file>: <why>"
// on standard error, after what the console holds.
int capture_failure(feedwatch::Console& console, const std::string& path, const std::string& why) {
  console.flush();
  program_line(path + ": " + why);
  return -1;
}

// The status of a failure, its lines printed on the console.
RunEnd failure_on(feedwatch::Console& console, const std::string& text) {
  console.print("%s", text);
  return {-1};
}

// Serves the live view on `http`, or prints why it cannot and returns null.
std::unique_ptr<feedwatch::LiveView> open_live_view(const feedwatch::HttpAddress& http,
                                                    const std::string& group,
                                                    const std::vector<int>& ports,
                                                    feedwatch::SteadyClock::time_point start) {
  feedwatch::HttpSettings settings;
  settings.address = http.address;
  settings.port = http.port;
  const feedwatch::LiveInfo info{std::string(portable::program_version()), group, ports, start};
  std::string reason;
  std::unique_ptr<feedwatch::LiveView> live = feedwatch::LiveView::open(settings, info, reason);
  if (!live) program_line("cannot serve HTTP on " + http.text() + ": " + reason);
  return live;
}

// How the loop ended, or the end of a run whose set-up failed; and the
// moment the statistics are reported for.
struct Outcome {
  std::optional<RunEnd> failed;
  feedwatch::LoopEnd loop{};
  feedwatch::SteadyClock::time_point report_at{};
};

// The interface a recording names: the one asked for, else the addresses joined on.
std::string listened_interfaces(const feedwatch::Options& options,
                                const std::vector<platform::Ipv4>& addresses) {
  if (options.interface_name) return *options.interface_name;
  std::string text;
  for (const platform::Ipv4 address : addresses) {
    text += (text.empty() ? "" : ", ") + platform::dotted(address);
  }
  return text;
}

// Chooses the port or ports, sets up their sockets and runs the receive loop,
// recording with --write and serving the live view with --http.
Outcome listen(const feedwatch::Options& options, feedwatch::Console& console,
               platform::Keyboard& keyboard, platform::Signals& signals,
               feedwatch::Monitor& monitor, feedwatch::FeedStatistics* stats,
               feedwatch::SteadyClock::time_point start,
               std::optional<feedwatch::SteadyClock::time_point> deadline) {
  const platform::ProfileFile ini(platform::path_in_current_directory(feedwatch::kConfigFileName));
  std::vector<int> ports(packet::kStatPorts.begin(), packet::kStatPorts.end());
  std::string group;
  if (options.all_ports) {
    group = feedwatch::select_all_ports(ini, console).group;
  } else {
    const portable::Result<feedwatch::PortChoice> choice =
        feedwatch::select_port(ini, options.arguments, console);
    if (!choice) return {failure_on(console, choice.failure())};
    ports = {choice->port};
    group = choice->group;
  }

  platform::SocketsSession session;
  if (session.error() != 0) {
    return {failure_on(console, portable::failed("WSAStartup", session.error()).text)};
  }
  // The live view is served before the group is joined, so that an address
  // that cannot be served fails the run at once.
  std::unique_ptr<feedwatch::LiveView> live;
  if (options.http) {
    platform::return_large_blocks_when_freed();
    live = open_live_view(*options.http, group, ports, start);
    if (!live) return {RunEnd{-1}};
    monitor.serve_live_view(*live, start + std::chrono::seconds(1), options.stats);
  }
  std::vector<platform::UdpSocket> sockets(ports.size());
  const portable::Result<std::vector<platform::Ipv4>> joined =
      feedwatch::set_up_listener(sockets, ports, group, options.interface_name, console);
  if (!joined) return {failure_on(console, joined.failure())};
  if (stats != nullptr) {
    // Datagrams lost because the monitor fell behind are then told from the network's.
    bool counted = false;
    for (platform::UdpSocket& socket : sockets) counted = socket.count_kernel_drops() || counted;
    if (counted) stats->count_kernel_drops();
  }
  if (const int e = console.flush()) return {RunEnd{feedwatch::report_output_failure(e)}};

  std::optional<feedwatch::Recording> recording;
  if (options.write_path) {
    if (const int e = recording.emplace().create(*options.write_path,
                                                 listened_interfaces(options, *joined))) {
      return {RunEnd{feedwatch::report_failure("cannot create " + *options.write_path + ": " +
                                               platform::error_text(e))}};
    }
  }
  const feedwatch::Listeners listeners{sockets, ports, platform::parse_dotted(group)};
  Outcome outcome;
  outcome.loop = feedwatch::run_receive_loop(listeners, keyboard, signals, monitor, deadline,
                                             recording ? &*recording : nullptr);
  outcome.report_at = feedwatch::SteadyClock::now();
  if (recording && outcome.loop.reason != feedwatch::LoopEnd::kOutputFailed) {
    if (const int e = recording->flush()) {
      feedwatch::report_output_failure(e);
      outcome.loop = {feedwatch::LoopEnd::kOutputFailed};
    }
  }
  return outcome;
}

// Chooses the port or ports by the rule without a file and hands the
// capture's datagrams to the monitor.
Outcome read_capture(const feedwatch::Options& options, feedwatch::Console& console,
                     platform::Signals& signals, feedwatch::Monitor& monitor,
                     std::optional<feedwatch::SteadyClock::time_point> deadline,
                     feedwatch::SteadyClock::time_point start) {
  const std::string& path = *options.read_path;
  console.print("Capture file: %s.\n", path);
  capture::PortSet ports = capture::feed_ports();
  if (options.all_ports) {
    feedwatch::print_all_ports(console);
  } else {
    const portable::Result<feedwatch::PortChoice> choice =
        feedwatch::select_port_without_file(options.arguments, console);
    if (!choice) return {failure_on(console, choice.failure())};
    ports.reset();
    ports.set(static_cast<std::size_t>(choice->port));
  }
  if (const int e = console.flush()) return {RunEnd{feedwatch::report_output_failure(e)}};
  int error = 0;
  const capture::CaptureFile file = capture::open_capture(path, error);
  if (!file) return {RunEnd{capture_failure(console, path, platform::error_text(error))}};
  capture::Reader reader(file.get(), ports);
  Outcome outcome;
  outcome.loop =
      feedwatch::run_capture_loop(reader, signals, monitor, deadline, start, outcome.report_at);
  if (outcome.loop.reason == feedwatch::LoopEnd::kInputFault) {
    if (const int e = monitor.report(outcome.report_at)) {
      return {RunEnd{feedwatch::report_output_failure(e)}};
    }
    return {RunEnd{capture_failure(console, path, reader.error()->text())}};
  }
  return outcome;
}

// Sets up and runs the monitor; everything it opened is closed, and the
// terminal restored, when it returns.
RunEnd run(const feedwatch::Options& options, feedwatch::SteadyClock::time_point start,
           platform::Signals& signals) {
  platform::Keyboard keyboard;
  std::FILE* const console_stream = options.json || options.quiet ? stderr : stdout;
  feedwatch::Console console(console_stream, platform::is_terminal(console_stream));
  std::optional<feedwatch::JsonLines> json;
  if (options.json) json.emplace(stdout);
  // The live view shows the statistics, whether the run reports them or not.
  std::optional<feedwatch::FeedStatistics> stats;
  if (options.stats || options.http) stats.emplace(start);
  feedwatch::Monitor monitor(console, json ? &*json : nullptr, stats ? &*stats : nullptr,
                             options.count.value_or(UINT64_MAX), options.quiet);
  feedwatch::SavedTables saved;
  if (options.save_ini) monitor.keep_tables(saved);
  std::optional<feedwatch::SteadyClock::time_point> deadline;
  if (options.timeout) deadline = start + *options.timeout;
  const Outcome outcome = options.read_path
                              ? read_capture(options, console, signals, monitor, deadline, start)
                              : listen(options, console, keyboard, signals, monitor,
                                       stats ? &*stats : nullptr, start, deadline);
  if (outcome.failed) return *outcome.failed;
  const feedwatch::LoopEnd& end = outcome.loop;
  if (options.save_ini) {
    const portable::Result<void> written = feedwatch::write_saved_tables(saved, *options.save_ini);
    if (!written) return {feedwatch::report_failure(written.failure())};
  }
  if (end.reason == feedwatch::LoopEnd::kReceiveFailed ||
      end.reason == feedwatch::LoopEnd::kOutputFailed) {
    return {-1};
  }
  const bool hangup =
      end.reason == feedwatch::LoopEnd::kSignal && platform::Signals::is_hangup(end.signal);
  if (!hangup && options.stats) {
    if (const int e = monitor.report(outcome.report_at)) {
      return {feedwatch::report_output_failure(e)};
    }
  }
  if (end.reason == feedwatch::LoopEnd::kSignal) return {0, end.signal};
  if (end.reason == feedwatch::LoopEnd::kTimeout && options.count && !monitor.limit_reached()) {
    // Says why, for the log of the script that asked for the count.
    console.flush();
    program_line(std::to_string(monitor.displayed()) + " of " + std::to_string(*options.count) +
                 " packets within " + feedwatch::seconds_text(*options.timeout) + " s");
    return {1};
  }
  return {0};
}

}  // namespace

int main(int argc, char** argv) {
  const feedwatch::SteadyClock::time_point start = feedwatch::SteadyClock::now();
  const portable::Result<feedwatch::Options> options =
      feedwatch::parse_options(portable::arguments(argc, argv));
  if (!options) return portable::usage_error("feedwatch", options.failure());
  if (options->help || options->version) {
    const portable::Result<void> printed = portable::print_information(
        options->help ? std::string(feedwatch::help_text()) : portable::version_text("feedwatch"));
    return printed ? 0 : feedwatch::report_failure(printed.failure());
  }
  platform::Signals signals(options->stats);
  const RunEnd end = run(*options, start, signals);
  if (end.signal != 0) platform::Signals::end_by_signal(end.signal);
  return end.status;
}
