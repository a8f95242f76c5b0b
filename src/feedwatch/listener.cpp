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

// The addresses to join on: every address of the host, or those of the
// interface asked for.  False after printing why there are none to be had.
bool addresses_to_join(const std::optional<std::string>& interface_name,
                       std::vector<platform::Ipv4>& addresses, Console& console) {
  if (!interface_name) {
    platform::HostLookupStep step;
    const int e = platform::host_addresses(addresses, step);
    return e == 0 ||
           fail(console,
                step == platform::HostLookupStep::kHostName ? "gethostname" : "gethostbyname", e);
  }
  if (const int e = platform::interface_addresses(*interface_name, addresses)) {
    return fail(console, "Listing interfaces", e);
  }
  if (addresses.empty()) {
    console.print("No local interface that is up has the address or name %s\n", *interface_name);
    return false;
  }
  return true;
}

}  // namespace

bool set_up_listener(platform::UdpSocket& socket, const std::string& group_text, int port,
                     const std::optional<std::string>& interface_name, Console& console) {
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
  if (!addresses_to_join(interface_name, addresses, console)) return false;
  return join_on_every_address(socket, group, addresses, console);
}

}  // namespace feedwatch
