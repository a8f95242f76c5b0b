// The host's IPv4 addresses from its interfaces.  Resolving the host name is
// no substitute on Linux: it often yields a loopback address alone.
#include "platform/host_addresses.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <arpa/inet.h>

#include <cerrno>

namespace platform {

int host_addresses(std::vector<Ipv4>& addresses, HostLookupStep& failed) {
  addresses.clear();
  failed = HostLookupStep::kNone;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) {
    failed = HostLookupStep::kHostEntry;
    return errno;
  }
  for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    if ((i->ifa_flags & IFF_UP) == 0) continue;
    addresses.push_back(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
  }
  freeifaddrs(list);
  return 0;
}

int interface_addresses(const std::string& wanted, std::vector<Ipv4>& addresses) {
  addresses.clear();
  in_addr wanted_address{};
  const bool by_address = inet_pton(AF_INET, wanted.c_str(), &wanted_address) == 1;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return errno;
  for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    if ((i->ifa_flags & IFF_UP) == 0) continue;
    const Ipv4 address = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr;
    if (by_address ? address == wanted_address.s_addr : wanted == i->ifa_name) {
      addresses.push_back(address);
      if (by_address) break;
    }
  }
  freeifaddrs(list);
  return 0;
}

}  // namespace platform
