// Requests of any bytes to the live view's HTTP server, over a real
// connection on the loopback interface (run in a private network
// namespace): the server must answer each with a well-formed status line or
// close, and never crash, hang or touch memory it does not own.
//
// Input: the bytes a client sends before it closes its side.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "feedwatch/live/live_view.h"

namespace {

// The server, with a packet and a summary to show.
feedwatch::LiveView& view() {
  static const std::unique_ptr<feedwatch::LiveView> v = [] {
    feedwatch::HttpSettings settings;
    settings.header_time = std::chrono::milliseconds(500);
    std::string reason;
    auto opened = feedwatch::LiveView::open(settings, {"1.0.0", "235.5.6.7", {6040}, {}}, reason);
    if (!opened) __builtin_trap();
    opened->publish_packet(R"({"type":"packet","records":[{"SkillsetID":1}]})", {"CC1", 2, 0},
                           nullptr);
    opened->publish_summary(R"({"type":"summary","streams":[{"server":"CC1"}]})", {});
    return opened;
  }();
  return *v;
}

// Sends `request`, closes the sending side and reads the answer until the
// server closes (a client of /events is let go when it closes its side).
std::string exchange(std::uint16_t port, std::string_view request) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) __builtin_trap();
  for (std::size_t sent = 0; sent < request.size();) {
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the server closed, having answered already
    sent += static_cast<std::size_t>(n);
  }
  shutdown(fd, SHUT_WR);
  std::string answer;
  char bytes[65536];
  for (pollfd p{fd, POLLIN, 0}; poll(&p, 1, 5000) == 1;) {
    const ssize_t n = recv(fd, bytes, sizeof bytes, 0);
    if (n <= 0) break;
    answer.append(bytes, static_cast<std::size_t>(n));
  }
  close(fd);
  return answer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string answer = exchange(view().port(), {reinterpret_cast<const char*>(data), size});
  if (!answer.empty() && !answer.starts_with("HTTP/1.1 ")) __builtin_trap();
  return 0;
}
