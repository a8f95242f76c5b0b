// feedwatch: joins the statistics feed's multicast group on every address of
// the host, listens on one port and shows every packet, as text or as JSON
// Lines, until `q` is pressed, a count or a time-out is reached, or a signal
// asks it to stop.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "feedwatch/console_output.h"
#include "feedwatch/feed_statistics.h"
#include "feedwatch/json_output.h"
#include "feedwatch/listener.h"
#include "feedwatch/live/live_view.h"
#include "feedwatch/options.h"
#include "feedwatch/port_selection.h"
#include "feedwatch/receive_loop.h"
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

// The status of a failure, its lines printed on the console.
RunEnd failure_on(feedwatch::Console& console, const std::string& text) {
  console.print("%s", text);
  return {-1};
}

// Serves the live view on `http`, or prints why it cannot and returns null.
std::unique_ptr<feedwatch::LiveView> open_live_view(const feedwatch::HttpAddress& http,
                                                    const feedwatch::PortChoice& choice,
                                                    feedwatch::SteadyClock::time_point start) {
  feedwatch::HttpSettings settings;
  settings.address = http.address;
  settings.port = http.port;
  const feedwatch::LiveInfo info{
      std::string(portable::program_version()), choice.group, {choice.port}, start};
  std::string reason;
  std::unique_ptr<feedwatch::LiveView> live = feedwatch::LiveView::open(settings, info, reason);
  if (!live) {
    const std::string line =
        "feedwatch: cannot serve HTTP on " + http.text() + ": " + reason + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
  return live;
}

// Sets up and runs the monitor; everything it opened is closed, and the
// terminal restored, when it returns.
RunEnd run(const feedwatch::Options& options, feedwatch::SteadyClock::time_point start,
           platform::Signals& signals) {
  platform::Keyboard keyboard;
  std::FILE* const console_stream = options.json ? stderr : stdout;
  feedwatch::Console console(console_stream, platform::is_terminal(console_stream));
  const platform::ProfileFile ini(platform::path_in_current_directory(feedwatch::kConfigFileName));
  const portable::Result<feedwatch::PortChoice> choice =
      feedwatch::select_port(ini, options.arguments, console);
  if (!choice) return failure_on(console, choice.failure());

  platform::SocketsSession sockets;
  if (sockets.error() != 0) {
    return failure_on(console, portable::failed("WSAStartup", sockets.error()).text);
  }
  // The live view is served before the group is joined, so that an address
  // that cannot be served fails the run at once.
  std::unique_ptr<feedwatch::LiveView> live;
  if (options.http) {
    live = open_live_view(*options.http, *choice, start);
    if (!live) return {-1};
  }
  platform::UdpSocket socket;
  const portable::Result<void> listening = feedwatch::set_up_listener(
      socket, choice->group, choice->port, options.interface_name, console);
  if (!listening) return failure_on(console, listening.failure());
  // Datagrams lost because the monitor fell behind are then told from the network's.
  if (options.stats || live) socket.count_kernel_drops();
  if (const int e = console.flush()) return {feedwatch::report_output_failure(e)};

  std::optional<feedwatch::JsonLines> json;
  if (options.json) json.emplace(stdout);
  // The live view shows the statistics, whether the run reports them or not.
  std::optional<feedwatch::FeedStatistics> stats;
  if (options.stats || live) stats.emplace(start, socket.kernel_drops());
  feedwatch::Monitor monitor(console, json ? &*json : nullptr, stats ? &*stats : nullptr,
                             options.count.value_or(UINT64_MAX));
  if (live) monitor.serve_live_view(*live, start + std::chrono::seconds(1));
  std::optional<feedwatch::SteadyClock::time_point> deadline;
  if (options.timeout) deadline = start + *options.timeout;
  const feedwatch::LoopEnd end =
      feedwatch::run_receive_loop(socket, keyboard, signals, monitor, deadline);
  if (end.reason == feedwatch::LoopEnd::kReceiveFailed ||
      end.reason == feedwatch::LoopEnd::kOutputFailed) {
    return {-1};
  }
  const bool hangup =
      end.reason == feedwatch::LoopEnd::kSignal && platform::Signals::is_hangup(end.signal);
  if (!hangup && options.stats) {
    if (const int e = monitor.report()) return {feedwatch::report_output_failure(e)};
  }
  if (end.reason == feedwatch::LoopEnd::kSignal) return {0, end.signal};
  if (end.reason == feedwatch::LoopEnd::kTimeout && options.count && !monitor.limit_reached()) {
    // Says why, for the log of the script that asked for the count.
    console.flush();
    const std::string line = "feedwatch: " + std::to_string(monitor.displayed()) + " of " +
                             std::to_string(*options.count) + " packets within " +
                             feedwatch::seconds_text(*options.timeout) + " s\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
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
