#include "support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <stdexcept>

#include "support/multicast.h"

namespace test_support {

HttpClient::HttpClient(std::uint16_t port, int receive_buffer) {
  if (!in_private_namespace()) throw std::runtime_error("not in a private network namespace");
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (receive_buffer != 0) {
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    throw std::runtime_error("connect failed");
  }
}

HttpClient::~HttpClient() { close(fd_); }

bool HttpClient::send(const std::string& bytes) {
  return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(bytes.size());
}

void HttpClient::finish_sending() { shutdown(fd_, SHUT_WR); }

bool HttpClient::read_while(const std::function<bool()>& more, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (more()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fd_, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) != 1) return true;
    char bytes[65536];
    const ssize_t n = recv(fd_, bytes, sizeof bytes, 0);
    if (n <= 0) return false;
    received_.append(bytes, static_cast<std::size_t>(n));
  }
  return true;
}

const std::string& HttpClient::read_until(const std::string& text,
                                          std::chrono::milliseconds timeout) {
  read_while([&] { return received_.find(text) == std::string::npos; }, timeout);
  return received_;
}

const std::string& HttpClient::read_all(std::chrono::milliseconds timeout) {
  read_while([] { return true; }, timeout);
  return received_;
}

bool HttpClient::closed_within(std::chrono::milliseconds timeout) {
  return !read_while([] { return true; }, timeout);
}

bool HttpClient::reset_within(std::chrono::milliseconds timeout) {
  pollfd p{fd_, 0, 0};
  return poll(&p, 1, static_cast<int>(timeout.count())) == 1 && (p.revents & (POLLERR | POLLHUP));
}

std::string http_exchange(std::uint16_t port, const std::string& request) {
  HttpClient client(port);
  client.send(request);
  client.finish_sending();
  return client.read_all();
}

}  // namespace test_support
