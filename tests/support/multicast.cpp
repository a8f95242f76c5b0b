#include "support/multicast.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace test_support {

bool in_private_namespace() {
  struct if_nameindex* const list = if_nameindex();
  if (list == nullptr) return false;
  const bool only_loopback =
      list[0].if_index != 0 && std::strcmp(list[0].if_name, "lo") == 0 && list[1].if_index == 0;
  if_freenameindex(list);
  return only_loopback;
}

GroupReceiver::GroupReceiver(std::uint16_t port, const char* group) {
  if (!in_private_namespace()) throw std::runtime_error("not in a private network namespace");
  fd_ = socket(AF_INET, SOCK_DGRAM, 0);
  const int on = 1;
  setsockopt(fd_, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);  // beside a running monitor
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    throw std::runtime_error("bind failed");
  }
  ip_mreq m{};
  m.imr_multiaddr.s_addr = inet_addr(group);
  m.imr_interface.s_addr = htonl(INADDR_LOOPBACK);
  if (setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) != 0) {
    throw std::runtime_error("join failed");
  }
}

GroupReceiver::~GroupReceiver() { close(fd_); }

std::optional<Datagram> GroupReceiver::receive(std::chrono::milliseconds timeout) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(timeout.count())) != 1) return std::nullopt;
  Datagram d;
  d.bytes.resize(65536);
  iovec io{d.bytes.data(), d.bytes.size()};
  alignas(cmsghdr) char control[64];
  sockaddr_in from{};
  msghdr m{.msg_name = &from,
           .msg_namelen = sizeof from,
           .msg_iov = &io,
           .msg_iovlen = 1,
           .msg_control = control,
           .msg_controllen = sizeof control,
           .msg_flags = 0};
  const ssize_t n = recvmsg(fd_, &m, 0);
  if (n < 0) return std::nullopt;
  d.bytes.resize(static_cast<std::size_t>(n));
  d.from = inet_ntoa(from.sin_addr);
  for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c)) {
    if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
      std::memcpy(&d.ttl, CMSG_DATA(c), sizeof d.ttl);
    }
  }
  return d;
}

void send_datagram(std::uint16_t port, const std::vector<std::uint8_t>& bytes, const char* group) {
  if (!in_private_namespace()) throw std::runtime_error("not in a private network namespace");
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = inet_addr(group);
  const ssize_t sent =
      sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  close(fd);
  if (sent != static_cast<ssize_t>(bytes.size())) throw std::runtime_error("send failed");
}

}  // namespace test_support
