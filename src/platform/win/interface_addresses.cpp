// The addresses of one interface on Windows, from the IP Helper's adapter
// list.  A unit of its own: the adapter list's types come with winsock2.h,
// which cannot meet the winsock.h of the other socket code.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstring>
#include <vector>

#include "platform/host_addresses.h"

namespace platform {
namespace {

std::string utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(static_cast<std::size_t>(size - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

int interface_addresses(const std::string& wanted, std::vector<Ipv4>& addresses) {
  addresses.clear();
  const Ipv4 wanted_address = parse_dotted(wanted);
  const bool by_address = dotted(wanted_address) == wanted;  // dotted decimal, as written
  std::vector<unsigned char> buffer(16 * 1024);
  ULONG size = static_cast<ULONG>(buffer.size());
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result = GetAdaptersAddresses(AF_INET, flags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result == ERROR_NO_DATA) return 0;
  if (result != NO_ERROR) return static_cast<int>(result);
  for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); a != nullptr;
       a = a->Next) {
    if (a->OperStatus != IfOperStatusUp) continue;
    const bool named = !by_address && (wanted == a->AdapterName || wanted == utf8(a->FriendlyName));
    for (auto* u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
      const sockaddr* s = u->Address.lpSockaddr;
      if (s == nullptr || s->sa_family != AF_INET) continue;
      Ipv4 address;
      std::memcpy(&address, &reinterpret_cast<const sockaddr_in*>(s)->sin_addr, sizeof address);
      if (named || (by_address && address == wanted_address)) {
        addresses.push_back(address);
        if (by_address) return 0;
      }
    }
  }
  return 0;
}

}  // namespace platform
