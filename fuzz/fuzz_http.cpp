// Requests of any bytes to the live view's HTTP server, over a real
// connection on the loopback interface (run in a private network
// namespace): the server must answer each with a well-formed status line or
// close, and never crash, hang or touch memory it does not own.
//
// Input: the bytes a client sends before it closes its side.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "feedwatch/live/live_view.h"
#include "packet/header.h"
#include "support/http_client.h"
#include "support/packets.h"

namespace {

// The server, with a packet and a summary to show.
feedwatch::LiveView& view() {
  static const std::unique_ptr<feedwatch::LiveView> v = [] {
    feedwatch::HttpSettings settings;
    settings.header_time = std::chrono::milliseconds(500);
    std::string reason;
    auto opened = feedwatch::LiveView::open(settings, {"1.0.0", "235.5.6.7", {6040}, {}}, reason);
    if (!opened) __builtin_trap();
    const std::vector<std::uint8_t> datagram = test_support::nodal(1);
    const auto buffer = test_support::received(datagram);
    opened->publish_packet(*buffer, {{}, {}, {}, datagram.size(), std::nullopt},
                           feedwatch::Expansion::kPlain, datagram.size() - packet::kHeaderSize,
                           nullptr);
    opened->publish_summary(R"({"type":"summary","streams":[{"server":"CC1"}]})", {});
    return opened;
  }();
  return *v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A client of /events is let go when it closes its side.
  const std::string answer = test_support::http_exchange(
      view().port(), std::string(reinterpret_cast<const char*>(data), size));
  if (!answer.empty() && !answer.starts_with("HTTP/1.1 ")) __builtin_trap();
  return 0;
}
