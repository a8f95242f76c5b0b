// IPv4 UDP sockets over Windows Sockets 1.1 (winsock.h with wsock32: the
// option numbers of that header match that library only); error numbers are
// WSAGetLastError values.
#include "platform/sockets.h"

#include "platform/ipv4_address.h"

#include <winsock.h>

namespace platform {
namespace {

SOCKET socket_of(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

// The result of a call that returns SOCKET_ERROR on failure: 0 or the error.
int outcome(int result) { return result == SOCKET_ERROR ? WSAGetLastError() : 0; }

int set_option(std::intptr_t handle, int level, int name, const void* value, int length) {
  return outcome(
      setsockopt(socket_of(handle), level, name, static_cast<const char*>(value), length));
}

}  // namespace

// Windows refuses a second membership of one group on one interface, reached
// through an alias address, with WSAEINVAL.
const int kAliasMembershipError = WSAEINVAL;
const bool kListenerReusesAddress = false;

const int kAddressNotAvailable = WSAEADDRNOTAVAIL;

Ipv4 parse_dotted(const std::string& text) { return inet_addr(text.c_str()); }

std::string dotted(Ipv4 address) {
  in_addr a{};
  a.s_addr = address;
  const char* text = inet_ntoa(a);
  return text ? text : "";
}

SocketsSession::SocketsSession() {
  WSADATA data{};
  error_ = WSAStartup(MAKEWORD(1, 1), &data);
}

SocketsSession::~SocketsSession() {
  if (error_ == 0) WSACleanup();
}

UdpSocket::~UdpSocket() {
  if (handle_ != -1) closesocket(socket_of(handle_));
}

int UdpSocket::open() {
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) return WSAGetLastError();
  handle_ = static_cast<std::intptr_t>(s);
  return 0;
}

int UdpSocket::bind(Ipv4 address, std::uint16_t port) {
  const sockaddr_in a = ipv4_address(address, port);
  return outcome(::bind(socket_of(handle_), reinterpret_cast<const sockaddr*>(&a), sizeof a));
}

int UdpSocket::set_reuse_address() {
  const BOOL on = TRUE;
  return set_option(handle_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

int UdpSocket::set_multicast_ttl(int ttl) {
  return set_option(handle_, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
}

int UdpSocket::set_multicast_interface(Ipv4 address) {
  in_addr a{};
  a.s_addr = address;
  return set_option(handle_, IPPROTO_IP, IP_MULTICAST_IF, &a, sizeof a);
}

int UdpSocket::join_group(Ipv4 group, Ipv4 interface_address) {
  ip_mreq request{};
  request.imr_multiaddr.s_addr = group;
  request.imr_interface.s_addr = interface_address;
  return set_option(handle_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request);
}

// A Windows socket receives only the groups it joined.
int UdpSocket::receive_joined_groups_only() { return 0; }

int UdpSocket::send_to(const std::uint8_t* data, std::size_t length, Ipv4 address,
                       std::uint16_t port) {
  const sockaddr_in a = ipv4_address(address, port);
  return outcome(::sendto(socket_of(handle_), reinterpret_cast<const char*>(data),
                          static_cast<int>(length), 0, reinterpret_cast<const sockaddr*>(&a),
                          sizeof a));
}

long UdpSocket::receive(std::uint8_t* buffer, std::size_t capacity, int& error, Endpoint& from) {
  sockaddr_in sender{};
  int sender_length = sizeof sender;
  const int n =
      ::recvfrom(socket_of(handle_), reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                 reinterpret_cast<sockaddr*>(&sender), &sender_length);
  error = n == SOCKET_ERROR ? WSAGetLastError() : 0;
  from = {sender.sin_addr.s_addr, ntohs(sender.sin_port)};
  return n == SOCKET_ERROR ? -1L : static_cast<long>(n);
}

// Windows Sockets 1.1 has no call for several datagrams: one per call.
int UdpSocket::receive_batch(std::span<ReceivedDatagram> slots, int& error) {
  if (slots.empty()) return 0;
  const long n = receive(slots[0].buffer, slots[0].capacity, error, slots[0].from);
  if (n < 0) return -1;
  slots[0].length = static_cast<std::size_t>(n);
  return 1;
}

// Windows keeps no count of the datagrams a socket's full buffer dropped.
bool UdpSocket::count_kernel_drops() { return false; }

std::optional<std::uint64_t> UdpSocket::kernel_drops() const { return std::nullopt; }

void UdpSocket::shutdown_receive() { ::shutdown(socket_of(handle_), 0 /* receiving side */); }

}  // namespace platform
