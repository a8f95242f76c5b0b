// feedwatch: joins the statistics feed's multicast group on every address of
// the host, listens on one port and prints every packet until `q` is pressed.
#include <cstdint>
#include <cstdio>
#include <span>

#include "feedwatch/console_output.h"
#include "feedwatch/listener.h"
#include "feedwatch/port_selection.h"
#include "feedwatch/receive_loop.h"
#include "platform/keyboard.h"
#include "platform/profile.h"
#include "platform/sockets.h"
#include "platform/system.h"

int main(int argc, char** argv) {
  platform::Keyboard keyboard;
  feedwatch::Console console(stdout);
  const platform::ProfileFile ini(platform::path_in_current_directory(feedwatch::kConfigFileName));
  const std::span<const char* const> args(argv + 1, static_cast<std::size_t>(argc - 1));
  const feedwatch::PortChoice choice = feedwatch::select_port(ini, args, console);
  if (!choice.accepted) return -1;

  platform::SocketsSession sockets;
  if (sockets.error() != 0) {
    console.print("WSAStartup failed! Error: %d", static_cast<std::int32_t>(sockets.error()));
    return -1;
  }
  platform::UdpSocket socket;
  if (!feedwatch::set_up_listener(socket, choice.group, choice.port, console)) return -1;
  if (const int e = console.flush()) return feedwatch::report_output_failure(e);
  return feedwatch::run_receive_loop(socket, keyboard, console);
}
