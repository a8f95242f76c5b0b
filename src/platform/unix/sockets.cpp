// IPv4 UDP sockets over POSIX sockets; error numbers are errno values.
#include "platform/sockets.h"

#include "platform/ipv4_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace platform {
namespace {

int socket_of(std::intptr_t handle) { return static_cast<int>(handle); }

// The result of a call that returns -1 on failure: 0 or errno.
int outcome(int result) { return result < 0 ? errno : 0; }

// Adds what the system's drop counter, attached to a received `message` once
// it is not zero, grew by since `counter` (which it wraps) to `drops`.
void take_drop_counter(msghdr& message, std::uint32_t& counter, std::uint64_t& drops) {
#ifdef SO_RXQ_OVFL
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SO_RXQ_OVFL) continue;
    std::uint32_t now = 0;
    std::memcpy(&now, CMSG_DATA(c), sizeof now);
    drops += static_cast<std::uint32_t>(now - counter);
    counter = now;
  }
#else
  (void)message, (void)counter, (void)drops;
#endif
}

}  // namespace

// On Linux a second membership of one group on one interface is refused with
// EADDRINUSE, whichever of the interface's addresses named it.
const int kAliasMembershipError = EADDRINUSE;
const bool kListenerReusesAddress = true;

const int kAddressNotAvailable = EADDRNOTAVAIL;

Ipv4 parse_dotted(const std::string& text) { return inet_addr(text.c_str()); }

std::string dotted(Ipv4 address) {
  char text[INET_ADDRSTRLEN] = {};
  in_addr a{};
  a.s_addr = address;
  inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

SocketsSession::SocketsSession() = default;
SocketsSession::~SocketsSession() = default;

UdpSocket::~UdpSocket() {
  if (handle_ >= 0) ::close(socket_of(handle_));
}

int UdpSocket::open() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return errno;
  handle_ = fd;
  return 0;
}

int UdpSocket::bind(Ipv4 address, std::uint16_t port) {
  const sockaddr_in a = ipv4_address(address, port);
  return outcome(::bind(socket_of(handle_), reinterpret_cast<const sockaddr*>(&a), sizeof a));
}

int UdpSocket::set_reuse_address() {
  const int on = 1;
  return outcome(setsockopt(socket_of(handle_), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on));
}

int UdpSocket::set_multicast_ttl(int ttl) {
  return outcome(setsockopt(socket_of(handle_), IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl));
}

int UdpSocket::set_multicast_interface(Ipv4 address) {
  in_addr a{};
  a.s_addr = address;
  return outcome(setsockopt(socket_of(handle_), IPPROTO_IP, IP_MULTICAST_IF, &a, sizeof a));
}

int UdpSocket::join_group(Ipv4 group, Ipv4 interface_address) {
  ip_mreq request{};
  request.imr_multiaddr.s_addr = group;
  request.imr_interface.s_addr = interface_address;
  return outcome(
      setsockopt(socket_of(handle_), IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request));
}

int UdpSocket::receive_joined_groups_only() {
  const int off = 0;
  return outcome(setsockopt(socket_of(handle_), IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off));
}

int UdpSocket::send_to(const std::uint8_t* data, std::size_t length, Ipv4 address,
                       std::uint16_t port) {
  const sockaddr_in a = ipv4_address(address, port);
  const ssize_t sent = ::sendto(socket_of(handle_), data, length, 0,
                                reinterpret_cast<const sockaddr*>(&a), sizeof a);
  return sent < 0 ? errno : 0;
}

bool UdpSocket::count_kernel_drops() {
#ifdef SO_RXQ_OVFL
  const int on = 1;
  counts_drops_ = setsockopt(socket_of(handle_), SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on) == 0;
#endif
  return counts_drops_;
}

std::optional<std::uint64_t> UdpSocket::kernel_drops() const {
  if (!counts_drops_) return std::nullopt;
  return drops_;
}

long UdpSocket::receive(std::uint8_t* buffer, std::size_t capacity, int& error, Endpoint& from) {
  sockaddr_in sender{};
  iovec data{buffer, capacity};
  // Room for the drop counter that the system attaches once it is not zero.
  alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(std::uint32_t))];
  msghdr message{};
  ssize_t n;
  do {
    message.msg_name = &sender;
    message.msg_namelen = sizeof sender;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    n = ::recvmsg(socket_of(handle_), &message, 0);
  } while (n < 0 && errno == EINTR);
  error = n < 0 ? errno : 0;
  from = {sender.sin_addr.s_addr, ntohs(sender.sin_port)};
  if (n >= 0) take_drop_counter(message, drop_counter_, drops_);
  return static_cast<long>(n);
}

int UdpSocket::receive_batch(std::span<ReceivedDatagram> slots, int& error) {
  constexpr std::size_t kMaxBatch = 64;
  const std::size_t count = std::min(slots.size(), kMaxBatch);
  std::array<iovec, kMaxBatch> room{};
  std::array<sockaddr_in, kMaxBatch> senders{};
  std::array<mmsghdr, kMaxBatch> messages{};
  // Room for the drop counter that the system attaches once it is not zero.
  struct alignas(cmsghdr) Control {
    unsigned char bytes[CMSG_SPACE(sizeof(std::uint32_t))];
  };
  std::array<Control, kMaxBatch> control{};
  for (std::size_t n = 0; n < count; ++n) {
    room[n] = {slots[n].buffer, slots[n].capacity};
    messages[n].msg_hdr.msg_name = &senders[n];
    messages[n].msg_hdr.msg_namelen = sizeof senders[n];
    messages[n].msg_hdr.msg_iov = &room[n];
    messages[n].msg_hdr.msg_iovlen = 1;
    messages[n].msg_hdr.msg_control = control[n].bytes;
    messages[n].msg_hdr.msg_controllen = sizeof control[n].bytes;
  }
  int taken;
  do {
    taken = ::recvmmsg(socket_of(handle_), messages.data(), static_cast<unsigned>(count),
                       MSG_WAITFORONE, nullptr);
  } while (taken < 0 && errno == EINTR);
  error = taken < 0 ? errno : 0;
  for (int n = 0; n < taken; ++n) {
    const auto i = static_cast<std::size_t>(n);
    slots[i].length = std::min<std::size_t>(messages[i].msg_len, slots[i].capacity);
    slots[i].from = {senders[i].sin_addr.s_addr, ntohs(senders[i].sin_port)};
    take_drop_counter(messages[i].msg_hdr, drop_counter_, drops_);
  }
  return taken;
}

void UdpSocket::shutdown_receive() { ::shutdown(socket_of(handle_), SHUT_RD); }

}  // namespace platform
