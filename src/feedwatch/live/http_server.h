// The HTTP server of the live view: one thread of its own that accepts
// clients, answers their requests from the published state and streams the
// events to the clients of /events.  The only place that knows the HTTP
// library.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "feedwatch/live/inbox.h"
#include "feedwatch/live/live_view.h"

namespace feedwatch {

// The server.
class HttpServer {
 public:
  // Binds the address of `settings` and starts the server's thread, which
  // takes in what `inbox` holds whenever woken.  Returns nullptr when the
  // address cannot be bound, with the system's reason in `reason`.
  static std::unique_ptr<HttpServer> start(const HttpSettings& settings, LiveInfo info,
                                           Inbox& inbox, std::string& reason);
  // Stops the thread and closes every connection.
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Asks the server's thread to take in what the inbox holds.
  void wake();

  // The port the server listens on.
  std::uint16_t port() const;

 private:
  struct Impl;
  explicit HttpServer(std::unique_ptr<Impl> impl);

  std::unique_ptr<Impl> impl_;
};

}  // namespace feedwatch
