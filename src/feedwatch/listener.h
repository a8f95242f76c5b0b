// The monitor's listening socket: bound to its port with address reuse, and
// a member of the group on every IPv4 address of the host.
#pragma once

#include <optional>
#include <string>

#include "feedwatch/console_output.h"
#include "platform/sockets.h"
#include "portable/result.h"

namespace feedwatch {

// Opens `socket` on `port`, joins the group named by `group_text` on each of
// the host's addresses (with `interface_name`, only on that interface's, or
// on that address) and prints an adapter line per address.  A membership
// refused as an alias of an adapter already joined is tolerated.  Fails with
// the text that ends the adapter lines when any other step fails, or when no
// interface that is up matches `interface_name`.
portable::Result<void> set_up_listener(platform::UdpSocket& socket, const std::string& group_text,
                                       int port, const std::optional<std::string>& interface_name,
                                       Console& console);

}  // namespace feedwatch
