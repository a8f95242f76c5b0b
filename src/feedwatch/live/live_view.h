// The live view of the feed, as the receive loop sees it: an HTTP server on a
// thread of its own that shows a page with every stream's current table,
// Server-Sent Events, the tables as JSON and Prometheus metrics.
//
// The loop hands over, and never waits for a web client:
//  - the displayed packets, as the bytes of their packet buffers, which the
//    server's thread shows as the JSON objects of the JSON display (schema 1,
//    without the line end), with their streams and, for the parts of a
//    multi-packet message, their positions; a message of a stream whose
//    previous message the server has not taken yet is skipped and counted,
//    so that a feed faster than the view costs the loop next to nothing;
//  - once a second, the statistics summary as its JSON object and a snapshot
//    of the counters behind it.
// Each hand-over takes a short critical section.  What the server shows is
// what was handed over last; a slow or hostile client cannot delay the loop
// or make memory grow.  The StreamId of a packet is read from its header
// (ServerName up to its first zero unit, as UTF-8), as the statistics read
// it, so that a stream's table and statistics meet.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "feedwatch/arrival.h"
#include "feedwatch/json_output.h"
#include "feedwatch/live/counters.h"
#include "feedwatch/packet_buffer.h"
#include "feedwatch/record_expansion.h"

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

  // Hands over one displayed packet: the packet in `buffer`, whose record
  // area `expansion` has already expanded, leaving `area_bytes` bytes of
  // records, and its position in its group (null for a single packet).  The
  // parts of a group are handed over one after another, in display order;
  // they go or are skipped with their first part.
  void publish_packet(const PacketBuffer& buffer, const Arrival& arrival, Expansion expansion,
                      std::size_t area_bytes, const MessagePart* part);

  // Hands over the statistics summary's JSON object and the counters behind it.
  void publish_summary(std::string json, MetricsSnapshot counters);

  // The port the server listens on.
  std::uint16_t port() const;

 private:
  LiveView();

  std::unique_ptr<Inbox> inbox_;
  std::unique_ptr<HttpServer> server_;
  bool admitted_ = false;  // whether the message being handed over goes
};

}  // namespace feedwatch
