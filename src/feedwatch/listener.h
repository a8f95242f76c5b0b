// The monitor's listening socket: bound to its port with address reuse, and
// a member of the group on every IPv4 address of the host.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "feedwatch/console_output.h"
#include "platform/sockets.h"
#include "portable/result.h"

namespace feedwatch {

// Opens each of `sockets` on the port at the same place in `ports`, joins
// the group named by `group_text` with every socket on each of the host's
// addresses (with `interface_name`, only on that interface's, or on that
// address) and prints one adapter line per address.  A membership refused
// as an alias of an adapter already joined is tolerated.  Returns the
// addresses joined on; fails with the text that ends the adapter lines when
// any other step fails, or when no interface that is up matches
// `interface_name`.
portable::Result<std::vector<platform::Ipv4>> set_up_listener(
    std::span<platform::UdpSocket> sockets, std::span<const int> ports,
    const std::string& group_text, const std::optional<std::string>& interface_name,
    Console& console);

}  // namespace feedwatch
