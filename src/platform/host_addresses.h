// The IPv4 addresses of this host, on which the monitor joins its group.
#pragma once

#include <string>
#include <vector>

#include "platform/sockets.h"

namespace platform {

// The step of the address lookup that failed.
enum class HostLookupStep { kNone, kHostName, kHostEntry };

// Fills `addresses` with the host's IPv4 addresses in the order the system
// lists them.  Returns 0, or the error number with `failed` naming the step.
int host_addresses(std::vector<Ipv4>& addresses, HostLookupStep& failed);

// Fills `addresses` with the IPv4 addresses, in the order the system lists
// them, of the interfaces that are up and either have the address `wanted`
// (dotted form: then that address alone) or carry the name `wanted` (on
// Windows, an adapter's friendly name or its own name).  Leaves it empty when
// no such interface exists.  Returns 0, or the error number of the listing.
int interface_addresses(const std::string& wanted, std::vector<Ipv4>& addresses);

}  // namespace platform
