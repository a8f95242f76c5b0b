// feedcast: multicasts a Statistics Packet built from feedcast.ini every
// UpdateRate seconds, until a table is refused, a send fails or the messages
// that --count asks for have gone.
#include <cstdio>
#include <span>
#include <string>

#include "feedcast/config_outage.h"
#include "feedcast/options.h"
#include "feedcast/sender_config.h"
#include "feedcast/sender_socket.h"
#include "feedcast/trace_output.h"
#include "feedcast/transmit_loop.h"
#include "portable/command_line.h"
#include "platform/profile.h"
#include "platform/sockets.h"
#include "platform/system.h"

namespace {

// Reports a failure and gives the exit status of every stop.
int stop(const std::string& message) {
  platform::show_error_box(message);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  feedcast::Options options;
  std::string message;
  const std::span<const char* const> args(argv + 1, static_cast<std::size_t>(argc - 1));
  if (!feedcast::parse_options(args, options, message)) {
    return portable::usage_error("feedcast", message);
  }
  if (options.help || options.version) {
    const std::string text = options.help
                                 ? std::string(feedcast::usage_text())
                                 : "feedcast " + std::string(portable::program_version()) + "\n";
    int error = platform::write_output(stdout, text);
    if (error == 0) error = platform::flush_output(stdout);
    return error == 0 ? 0 : stop(platform::output_failure_text(error));
  }

  platform::ProfileFile ini(options.config_file.empty()
                                ? platform::path_in_current_directory(feedcast::kConfigFileName)
                                : platform::absolute_path(options.config_file));
  if (!ini.readable()) return stop(feedcast::unreadable_file_message(ini));
  const feedcast::SenderConfig config = feedcast::read_sender_config(ini);
  const packet::Kind* kind = feedcast::check_kind_and_scheme(config, message);
  if (kind == nullptr) return stop(message);

  platform::SocketsSession sockets;
  if (sockets.error() != 0) {
    return stop("WSAStartup failed! Error: " + std::to_string(sockets.error()));
  }
  platform::UdpSocket socket;
  message = feedcast::open_sender_socket(config, socket);
  if (!message.empty()) return stop(message);

  feedcast::TraceOutput trace(stdout, stderr, options.quiet);
  message = feedcast::run_transmit_loop(
      config, *kind, ini, socket, feedcast::destination_of(config, *kind), options.count, trace);
  std::fflush(stdout);
  if (message.empty()) return 0;
  trace.end_open_line();
  return stop(message);
}
