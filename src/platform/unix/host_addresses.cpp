// The host's IPv4 addresses from its interfaces.  Resolving the host name is
// no substitute on Linux: it often yields a loopback address alone.
#include "platform/host_addresses.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <arpa/inet.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace platform {
namespace {

// One IPv4 address of an interface that is up, with the interface's name.
struct InterfaceAddress {
  std::string name;
  Ipv4 address;
};

// Lists the IPv4 addresses of the interfaces that are up, in the system's
// order.  Returns 0 or errno.
int up_ipv4_interfaces(std::vector<InterfaceAddress>& found) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return errno;
  const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owned(list, &freeifaddrs);
  for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    if ((i->ifa_flags & IFF_UP) == 0) continue;
    const auto* address = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
    found.push_back({i->ifa_name, address->sin_addr.s_addr});
  }
  return 0;
}

}  // namespace

int host_addresses(std::vector<Ipv4>& addresses, HostLookupStep& failed) {
  addresses.clear();
  failed = HostLookupStep::kNone;
  std::vector<InterfaceAddress> found;
  if (const int error = up_ipv4_interfaces(found)) {
    failed = HostLookupStep::kHostEntry;
    return error;
  }
  for (const InterfaceAddress& i : found) addresses.push_back(i.address);
  return 0;
}

int interface_addresses(const std::string& wanted, std::vector<Ipv4>& addresses) {
  addresses.clear();
  in_addr wanted_address{};
  const bool by_address = inet_pton(AF_INET, wanted.c_str(), &wanted_address) == 1;
  std::vector<InterfaceAddress> found;
  if (const int error = up_ipv4_interfaces(found)) return error;
  for (const InterfaceAddress& i : found) {
    if (by_address ? i.address == wanted_address.s_addr : wanted == i.name) {
      addresses.push_back(i.address);
      if (by_address) break;
    }
  }
  return 0;
}

}  // namespace platform
