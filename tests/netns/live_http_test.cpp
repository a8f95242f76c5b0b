// The live view's HTTP server over real connections: what it answers to
// each kind of request, its limits on clients, header time and request
// size, and the stream of events with its rule for clients that fall behind.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "feedwatch/live/live_view.h"
#include "support/http_client.h"
#include "support/packets.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using feedwatch::LiveView;
using test_support::http_exchange;
using test_support::HttpClient;

// A server on a free port of the loopback interface.
std::unique_ptr<LiveView> open_view(std::chrono::milliseconds header_time = 5s) {
  feedwatch::HttpSettings settings;
  settings.header_time = header_time;
  std::string reason;
  auto view = LiveView::open(settings, {"1.0.0", "235.5.6.7", {6040}, {}}, reason);
  if (!view) ADD_FAILURE() << reason;
  return view;
}

// Hands `view` a single Nodal packet from `server` of `records` records, the
// first one's DummyKey `tag`, as the receive loop displays it.
void publish(LiveView& view, const std::u16string& server, std::uint32_t tag = 0,
             std::uint16_t records = 1) {
  packet::HeaderFields fields = test_support::default_fields(4, records);
  fields.server_name = server;
  std::vector<std::uint32_t> words(7u * records, 0);
  words[0] = tag;
  const std::vector<std::uint8_t> datagram =
      test_support::make_packet(fields, test_support::be32_words(words));
  const auto buffer = test_support::received(datagram);
  const feedwatch::Arrival arrival{{}, {}, {}, datagram.size(), std::nullopt};
  view.publish_packet(*buffer, arrival, feedwatch::Expansion::kPlain,
                      datagram.size() - packet::kHeaderSize, nullptr);
}

// The header and body of a response (the body of a HEAD response is empty).
struct Response {
  std::string header;
  std::string body;
};

Response split(const std::string& response) {
  const std::size_t end = response.find("\r\n\r\n");
  if (end == std::string::npos) return {response, ""};
  return {response.substr(0, end + 2), response.substr(end + 4)};
}

TEST(LiveHttp, AnswersOnlyGetAndHeadOnTheDocumentedPaths) {
  const auto view = open_view();
  const std::string close = " HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n";
  const std::string csp = "Content-Security-Policy: default-src 'none'; script-src 'self';";
  struct Case {
    std::string request;
    std::string status;  // the status line
    std::string field;   // a header field it must carry
    bool body;           // whether a body follows
  } cases[] = {
      {"GET /" + close, "HTTP/1.1 200 OK", csp, true},
      {"GET /feedwatch.js?v=1" + close, "HTTP/1.1 200 OK", "Content-Type: text/javascript", true},
      {"HEAD /" + close, "HTTP/1.1 200 OK", "Content-Length: ", false},
      {"GET /metrics" + close, "HTTP/1.1 200 OK",
       "Content-Type: text/plain; version=0.0.4; charset=utf-8", true},
      {"GET /api/streams" + close, "HTTP/1.1 200 OK", "Content-Type: application/json", true},
      {"HEAD /events" + close, "HTTP/1.1 200 OK", "Content-Type: text/event-stream", false},
      {"POST /metrics HTTP/1.1\r\nHost: a\r\nContent-Length: 3\r\n\r\nabc",
       "HTTP/1.1 405 Method Not Allowed", "Allow: GET, HEAD", true},
      {"PUT /" + close, "HTTP/1.1 405 Method Not Allowed", csp, true},
      {"GET /index.html" + close, "HTTP/1.1 404 Not Found", csp, true},
      {"GET /../../etc/passwd" + close, "HTTP/1.1 404 Not Found", "Connection: close", true},
      {"DELETE /nothing" + close, "HTTP/1.1 404 Not Found", "Connection: close", true},
      {"GET http://a/metrics" + close, "HTTP/1.1 404 Not Found", "Connection: close", true},
      // Kept alive: the second request on the same connection is answered too.
      {"GET /nothing HTTP/1.1\r\nHost: a\r\n\r\nGET /metrics" + close, "HTTP/1.1 404 Not Found",
       "feedwatch_datagrams_total", true},
      {"GET /?" + std::string(9000, 'x') + close, "HTTP/1.1 431 Request Header Fields Too Large",
       "Connection: close", true},
      {"NOT HTTP AT ALL\r\n\r\n", "HTTP/1.1 400 Bad Request", "Connection: close", true},
  };
  for (const Case& c : cases) {
    const Response r = split(http_exchange(view->port(), c.request));
    const std::string request = c.request.substr(0, 40);
    EXPECT_EQ(r.header.substr(0, r.header.find("\r\n")), c.status) << request;
    EXPECT_NE((r.header + r.body).find(c.field), std::string::npos) << request << r.header;
    EXPECT_EQ(!r.body.empty(), c.body) << request;
  }
}

TEST(LiveHttp, ServesAtMost32ClientsAtOnce) {
  const auto view = open_view();
  std::vector<std::unique_ptr<HttpClient>> idle;
  for (int i = 0; i < 32; ++i) idle.push_back(std::make_unique<HttpClient>(view->port()));
  const std::string request = "GET /metrics HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n";
  const std::string refused = http_exchange(view->port(), request);
  EXPECT_TRUE(refused.starts_with("HTTP/1.1 503 Service Unavailable\r\n")) << refused;
  EXPECT_NE(refused.find("Retry-After: 1"), std::string::npos);
  idle.pop_back();
  EXPECT_TRUE(test_support::eventually(
      [&] { return http_exchange(view->port(), request).starts_with("HTTP/1.1 200 OK"); }, 3s));
}

TEST(LiveHttp, ClosesAConnectionWhoseHeaderTakesTooLong) {
  const auto view = open_view(500ms);
  HttpClient slow(view->port());
  const auto start = std::chrono::steady_clock::now();
  slow.send("GET / HTTP/1.1\r\n");
  bool open = true;
  for (int i = 0; i < 20 && open; ++i) {
    std::this_thread::sleep_for(100ms);
    open = slow.send("X-Slow: " + std::to_string(i) + "\r\n");
    // Meanwhile other clients are served.
    if (i == 2) {
      EXPECT_TRUE(http_exchange(view->port(), "GET /metrics HTTP/1.1\r\nConnection: close\r\n\r\n")
                      .starts_with("HTTP/1.1 200 OK"));
    }
  }
  EXPECT_TRUE(slow.closed_within(2s));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 500ms);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
}

// The events of one stream of /events, in order: each "name data".
std::vector<std::string> events(const std::string& stream) {
  std::vector<std::string> found;
  for (std::size_t at = stream.find("\r\n\r\n"); at != std::string::npos;) {
    const std::size_t name = stream.find("event: ", at);
    const std::size_t end = stream.find("\n\n", name);
    if (name == std::string::npos || end == std::string::npos) break;
    std::string event = stream.substr(name + 7, end - name - 7);
    event.replace(event.find("\ndata: "), 7, " ");
    found.push_back(event);
    at = end;
  }
  return found;
}

TEST(LiveHttp, StreamsTheTablesThenEveryEventInOrder) {
  const auto view = open_view();
  publish(*view, u"S0");
  HttpClient client(view->port());
  client.send("GET /events HTTP/1.1\r\nHost: a\r\n\r\n");
  const std::string first = client.read_until("}]}\n\n");
  EXPECT_NE(first.find("Content-Type: text/event-stream"), std::string::npos);
  EXPECT_NE(first.find("\r\n\r\nretry: 1000\n\nevent: streams\ndata: {"), std::string::npos)
      << first;
  EXPECT_NE(first.find("\"table\":[{\"type\":\"packet\""), std::string::npos);
  publish(*view, u"S1", 1);
  view->publish_summary("{\"type\":\"summary\"}", {});
  std::vector<std::string> got;
  test_support::eventually([&] { return (got = events(client.read_all(50ms))).size() == 4; }, 5s);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_TRUE(got[1].starts_with("packet {\"type\":\"packet\"")) << got[1];
  EXPECT_NE(got[1].find("[{\"DummyKey\":1,"), std::string::npos) << got[1];
  EXPECT_EQ(got[2], "summary {\"type\":\"summary\"}");
  EXPECT_TRUE(got[3].starts_with("status {\"type\":\"status\",\"schema\":1,\"version\":\"1.0.0\""));
}

// A client that reads nothing is let go (its connection reset) once it is
// more than 1,000 events behind, while a client that reads gets every event.
TEST(LiveHttp, LetsGoOfAClientThatFallsFarBehind) {
  const auto view = open_view();
  const std::string request = "GET /events HTTP/1.1\r\nHost: a\r\n\r\n";
  HttpClient reader(view->port());
  HttpClient stalled(view->port(), 4096);
  reader.send(request);
  stalled.send(request);
  reader.read_until("event: streams", 5s);
  // More than the system's buffers hold, and 1,000 events more, each of a
  // stream of its own so that none waits for another, in batches that the
  // reader takes before the next comes.
  constexpr int kEvents = 2500;
  constexpr int kBatch = 100;
  for (int n = 0; n < kEvents; ++n) {
    publish(*view, u"S" + std::u16string(1, static_cast<char16_t>(0x4e00 + n)), n, 40);
    if (n % kBatch == kBatch - 1) {
      reader.read_until("[{\"DummyKey\":" + std::to_string(n) + ",", 30s);
    }
  }
  const std::vector<std::string> got = events(reader.read_all(200ms));
  ASSERT_EQ(got.size(), kEvents + 1u);  // the tables, then every packet
  for (int n = 0; n < kEvents; ++n) {
    ASSERT_NE(got[n + 1].find("[{\"DummyKey\":" + std::to_string(n) + ","), std::string::npos) << n;
  }
  EXPECT_TRUE(stalled.reset_within(5s));
}

}  // namespace
