// The monitor's listening socket: bound to its port with address reuse, and
// a member of the group on every IPv4 address of the host.
#pragma once

#include <string>

#include "feedwatch/console_output.h"
#include "platform/sockets.h"

namespace feedwatch {

// Opens `socket` on `port`, joins the group named by `group_text` on each of
// the host's addresses and prints an adapter line per address.  A membership
// refused as an alias of an adapter already joined is tolerated.  Returns
// false after printing the failure when any other step fails.
bool set_up_listener(platform::UdpSocket& socket, const std::string& group_text, int port,
                     Console& console);

}  // namespace feedwatch
