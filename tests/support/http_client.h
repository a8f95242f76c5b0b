// Test helper: a plain TCP client for the live view's HTTP server on the
// loopback interface, which sends bytes as given and reads what comes back.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace test_support {

class HttpClient {
 public:
  // Connects to 127.0.0.1:`port`; `receive_buffer`, when not 0, sets the
  // socket's receive buffer first (a client that reads slowly).  Throws
  // outside a private network namespace.
  explicit HttpClient(std::uint16_t port, int receive_buffer = 0);
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Sends `bytes`; false when the connection no longer takes them.
  bool send(const std::string& bytes);

  // Says that nothing more will be sent.
  void finish_sending();

  // Reads until the server closes the connection or `timeout` passes;
  // returns all that came since the connection opened.
  const std::string& read_all(std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // Reads until what came since the connection opened holds `text`, the
  // connection closes or `timeout` passes; returns all that came.
  const std::string& read_until(const std::string& text,
                                std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // True when the server closed the connection within `timeout`.
  bool closed_within(std::chrono::milliseconds timeout);

  // True when the server reset the connection within `timeout`, seen
  // without reading anything.
  bool reset_within(std::chrono::milliseconds timeout);

 private:
  // Reads while `more` holds, until `timeout` passes; false once the
  // connection has closed.
  bool read_while(const std::function<bool()>& more, std::chrono::milliseconds timeout);

  int fd_ = -1;
  std::string received_;
};

// Sends `request`, says that nothing more follows, and returns all that
// comes back until the server closes.
std::string http_exchange(std::uint16_t port, const std::string& request);

}  // namespace test_support
