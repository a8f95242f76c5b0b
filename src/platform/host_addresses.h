// The IPv4 addresses of this host, on which the monitor joins its group.
#pragma once

#include <vector>

#include "platform/sockets.h"

namespace platform {

// The step of the address lookup that failed.
enum class HostLookupStep { kNone, kHostName, kHostEntry };

// Fills `addresses` with the host's IPv4 addresses in the order the system
// lists them.  Returns 0, or the error number with `failed` naming the step.
int host_addresses(std::vector<Ipv4>& addresses, HostLookupStep& failed);

}  // namespace platform
