// feedcast: multicasts a Statistics Packet built from feedcast.ini every
// UpdateRate seconds, until a table is over its limit or a send fails.
#include <cstdio>
#include <string>

#include "feedcast/sender_config.h"
#include "feedcast/sender_socket.h"
#include "feedcast/transmit_loop.h"
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

int main() {
  platform::ProfileFile ini(platform::path_in_current_directory(feedcast::kConfigFileName));
  const feedcast::SenderConfig config = feedcast::read_sender_config(ini);
  std::string message;
  const packet::Kind* kind = feedcast::check_kind_and_scheme(config, message);
  if (kind == nullptr) return stop(message);

  platform::SocketsSession sockets;
  if (sockets.error() != 0) {
    return stop("WSAStartup failed! Error: " + std::to_string(sockets.error()));
  }
  platform::UdpSocket socket;
  message = feedcast::open_sender_socket(config, socket);
  if (!message.empty()) return stop(message);

  message = feedcast::run_transmit_loop(config, *kind, ini, socket,
                                        feedcast::destination_of(config, *kind), stdout);
  std::fflush(stdout);
  return stop(message);
}
