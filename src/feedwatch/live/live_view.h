// The live view of the feed, as the receive loop sees it: an HTTP server on a
// thread of its own that shows a page with every stream's current table,
// Server-Sent Events, the tables as JSON and Prometheus metrics.
//
// The loop hands over, and never waits for a web client:
//  - every displayed packet, as its JSON object of the JSON display (schema 1,
//    without the line end), with its stream and, for a part of a multi-packet
//    message, its position; the parts of one group are handed over one after
//    another, in the order they are displayed;
//  - once a second, the statistics summary as its JSON object and a snapshot
//    of the counters behind it.
// Each hand-over takes a short critical section and moves the JSON text in;
// the text is neither parsed nor copied on the loop's thread.  What the
// server shows is what was handed over last; a slow or hostile client cannot
// delay the loop or make memory grow.  The StreamId of a packet is read from
// its header (ServerName up to its first zero unit, as UTF-8), as the
// statistics read it, so that a stream's table and statistics meet.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "feedwatch/json_output.h"
#include "feedwatch/live/counters.h"

namespace feedwatch {

class HttpServer;
class Inbox;

// What the page's top line shows of the monitor itself.
struct LiveInfo {
  std::string version;                          // the program's version
  std::string group;                            // the multicast group, dotted
  std::vector<int> ports;                       // the ports listened on
  std::chrono::steady_clock::time_point start;  // when the run began
};

// Where the server listens and what it allows its clients.
struct HttpSettings {
  std::string address = "127.0.0.1";  // an IPv4 or IPv6 address, numeric
  std::uint16_t port = 0;             // 0: any free port (tests)
  std::size_t max_clients = 32;       // connections served at once; more are refused with 503
  std::chrono::milliseconds header_time{10000};  // the most a request's header may take
  std::size_t max_request_bytes = 8192;          // the most a request's header may hold
};

// The live view: the server and what the loop has handed over to it.
class LiveView {
 public:
  // Binds the address and starts serving.  Returns nullptr when the address
  // cannot be bound, with the reason (the system's text) in `reason`.
  static std::unique_ptr<LiveView> open(const HttpSettings& settings, LiveInfo info,
                                        std::string& reason);
  // Stops the server and closes every connection.
  ~LiveView();
  LiveView(const LiveView&) = delete;
  LiveView& operator=(const LiveView&) = delete;

  // Hands over one displayed packet: its JSON object, its stream, and its
  // position in its group (null for a single packet).
  void publish_packet(std::string json, const StreamId& stream, const MessagePart* part);

  // Hands over the statistics summary's JSON object and the counters behind it.
  void publish_summary(std::string json, MetricsSnapshot counters);

  // The port the server listens on.
  std::uint16_t port() const;

 private:
  LiveView();

  std::unique_ptr<Inbox> inbox_;
  std::unique_ptr<HttpServer> server_;
};

}  // namespace feedwatch
