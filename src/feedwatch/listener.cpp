#include "feedwatch/listener.h"

#include <cstdint>
#include <vector>

#include "platform/host_addresses.h"

namespace feedwatch {
namespace {

bool fail(Console& console, const char* what, int error) {
  console.print("%s failed! Error: %d", what, static_cast<std::int32_t>(error));
  return false;
}

// Joins the group on each address; false when a refusal ends the program.
bool join_on_every_address(platform::UdpSocket& socket, platform::Ipv4 group,
                           const std::vector<platform::Ipv4>& addresses, Console& console) {
  for (std::size_t n = 0; n < addresses.size(); ++n) {
    console.print("adapter %d - %s", static_cast<std::int32_t>(n), platform::dotted(addresses[n]));
    const int error = socket.join_group(group, addresses[n]);
    if (error == platform::kAliasMembershipError) {
      console.print(" - ignoring setsockopt error: %d, assume address is IP alias.",
                    static_cast<std::int32_t>(error));
    } else if (error != 0) {
      console.print(" - setsockopt failed! Error: %d, Exiting application.\n",
                    static_cast<std::int32_t>(error));
      return false;
    }
    console.print("\n");
  }
  return true;
}

}  // namespace

bool set_up_listener(platform::UdpSocket& socket, const std::string& group_text, int port,
                     Console& console) {
  if (const int e = socket.open()) return fail(console, "Allocating socket", e);
  if (const int e = socket.set_reuse_address()) return fail(console, "setsockopt SO_REUSEADDR", e);
  if (const int e = socket.receive_joined_groups_only()) {
    return fail(console, "setsockopt IP_MULTICAST_ALL", e);
  }
  if (const int e = socket.bind(platform::kAnyAddress, static_cast<std::uint16_t>(port))) {
    return fail(console, "Binding socket", e);
  }
  const platform::Ipv4 group = platform::parse_dotted(group_text);
  std::vector<platform::Ipv4> addresses;
  platform::HostLookupStep step;
  if (const int e = platform::host_addresses(addresses, step)) {
    return fail(console, step == platform::HostLookupStep::kHostName ? "gethostname" : "gethostbyname", e);
  }
  return join_on_every_address(socket, group, addresses, console);
}

}  // namespace feedwatch
