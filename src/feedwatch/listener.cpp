#include "feedwatch/listener.h"

#include <cstdint>
#include <vector>

#include "platform/host_addresses.h"

namespace feedwatch {
namespace {

using portable::failed;
using portable::Failure;
using portable::Result;

// Joins the group on each address; fails when a refusal ends the program.
Result<void> join_on_every_address(platform::UdpSocket& socket, platform::Ipv4 group,
                                   const std::vector<platform::Ipv4>& addresses, Console& console) {
  for (std::size_t n = 0; n < addresses.size(); ++n) {
    console.print("adapter %d - %s", static_cast<std::int32_t>(n), platform::dotted(addresses[n]));
    const int error = socket.join_group(group, addresses[n]);
    if (error == platform::kAliasMembershipError) {
      console.print(" - ignoring setsockopt error: %d, assume address is IP alias.",
                    static_cast<std::int32_t>(error));
    } else if (error != 0) {
      return Failure{" - " + failed("setsockopt", error).text + ", Exiting application.\n"};
    }
    console.print("\n");
  }
  return {};
}

// The addresses to join on: every address of the host, or those of the
// interface asked for.  Fails with why there are none to be had.
Result<std::vector<platform::Ipv4>> addresses_to_join(
    const std::optional<std::string>& interface_name) {
  std::vector<platform::Ipv4> addresses;
  if (!interface_name) {
    platform::HostLookupStep step;
    if (const int e = platform::host_addresses(addresses, step)) {
      return failed(step == platform::HostLookupStep::kHostName ? "gethostname" : "gethostbyname",
                    e);
    }
    return addresses;
  }
  if (const int e = platform::interface_addresses(*interface_name, addresses)) {
    return failed("Listing interfaces", e);
  }
  if (addresses.empty()) {
    return Failure{"No local interface that is up has the address or name " + *interface_name +
                   "\n"};
  }
  return addresses;
}

}  // namespace

Result<void> set_up_listener(platform::UdpSocket& socket, const std::string& group_text, int port,
                             const std::optional<std::string>& interface_name, Console& console) {
  if (const int e = socket.open()) return failed("Allocating socket", e);
  if (const int e = socket.set_reuse_address()) return failed("setsockopt SO_REUSEADDR", e);
  if (const int e = socket.receive_joined_groups_only()) {
    return failed("setsockopt IP_MULTICAST_ALL", e);
  }
  if (const int e = socket.bind(platform::kAnyAddress, static_cast<std::uint16_t>(port))) {
    return failed("Binding socket", e);
  }
  const platform::Ipv4 group = platform::parse_dotted(group_text);
  const Result<std::vector<platform::Ipv4>> addresses = addresses_to_join(interface_name);
  if (!addresses) return Failure{addresses.failure()};
  return join_on_every_address(socket, group, *addresses, console);
}

}  // namespace feedwatch
