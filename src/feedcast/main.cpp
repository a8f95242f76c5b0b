// feedcast: multicasts a Statistics Packet built from feedcast.ini every
// UpdateRate seconds, until a table is refused, a send fails or the messages
// that --count asks for have gone; with --check, describes the run instead.
#include <cstdio>
#include <string>

#include "feedcast/check.h"
#include "feedcast/config_outage.h"
#include "feedcast/options.h"
#include "feedcast/sender_config.h"
#include "feedcast/sender_socket.h"
#include "feedcast/trace_output.h"
#include "feedcast/transmit_loop.h"
#include "platform/profile.h"
#include "platform/sockets.h"
#include "platform/system.h"
#include "portable/command_line.h"
#include "portable/error_line.h"

namespace {

// Reports a failure and gives the exit status of every stop.
int stop(const std::string& text) {
  portable::write_error_line(text);
  platform::show_error_box(text);
  return 1;
}

// Prints what --check finds and gives its exit status: 1 when a run would
// be refused (reported as the run reports it), 3 for doubts, else 0.
int check(platform::ProfileFile& ini) {
  const feedcast::CheckReport report = feedcast::check_configuration(ini, platform::current_time());
  const portable::Result<void> printed = portable::print_information(report.text);
  if (!printed) return stop(printed.failure());
  if (report.refusal) portable::write_error_line(*report.refusal);
  return report.status();
}

}  // namespace

int main(int argc, char** argv) {
  const portable::Result<feedcast::Options> options =
      feedcast::parse_options(portable::arguments(argc, argv));
  if (!options) return portable::usage_error("feedcast", options.failure());
  if (options->help || options->version) {
    const portable::Result<void> printed = portable::print_information(
        options->help ? std::string(feedcast::usage_text()) : portable::version_text("feedcast"));
    return printed ? 0 : stop(printed.failure());
  }

  platform::ProfileFile ini(options->config_file.empty()
                                ? platform::path_in_current_directory(feedcast::kConfigFileName)
                                : platform::absolute_path(options->config_file));
  if (options->check) return check(ini);
  if (!ini.readable()) return stop(feedcast::unreadable_file_message(ini));
  const feedcast::SenderConfig config = feedcast::read_sender_config(ini);
  const portable::Result<const packet::Kind*> kind = feedcast::check_kind_and_scheme(config);
  if (!kind) return stop(kind.failure());

  platform::SocketsSession sockets;
  if (sockets.error() != 0) return stop(portable::failed("WSAStartup", sockets.error()).text);
  platform::UdpSocket socket;
  const portable::Result<void> opened = feedcast::open_sender_socket(config, socket);
  if (!opened) return stop(opened.failure());

  feedcast::TraceOutput trace(stdout, stderr, options->quiet);
  const portable::Result<void> sent =
      feedcast::run_transmit_loop(config, **kind, ini, socket,
                                  feedcast::destination_of(config, **kind), options->count, trace);
  std::fflush(stdout);
  if (sent) return 0;
  trace.end_open_line();
  return stop(sent.failure());
}
