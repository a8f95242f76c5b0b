// The host's IPv4 addresses from its own name: gethostname, then
// gethostbyname of that name.
#include "platform/host_addresses.h"

#include <winsock.h>

#include <cstring>

namespace platform {

int host_addresses(std::vector<Ipv4>& addresses, HostLookupStep& failed) {
  addresses.clear();
  failed = HostLookupStep::kNone;
  char name[256] = {};
  if (gethostname(name, sizeof name) == SOCKET_ERROR) {
    failed = HostLookupStep::kHostName;
    return WSAGetLastError();
  }
  const hostent* entry = gethostbyname(name);
  if (entry == nullptr) {
    failed = HostLookupStep::kHostEntry;
    return WSAGetLastError();
  }
  if (entry->h_addrtype != AF_INET || entry->h_length != sizeof(Ipv4)) return 0;
  for (char** a = entry->h_addr_list; *a != nullptr; ++a) {
    Ipv4 address;
    std::memcpy(&address, *a, sizeof address);
    addresses.push_back(address);
  }
  return 0;
}

}  // namespace platform
