// Test helpers for multicast inside a private network namespace.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "portable/settings.h"

namespace test_support {

// The group both programs use by default.
inline constexpr const char* kGroup = portable::kGroupKey.default_value.data();

// True when the network namespace has no interface but loopback: the only
// place where the tests may send or join multicast.
bool in_private_namespace();

// One received datagram, the time-to-live it arrived with and its sender's
// address in dotted form.
struct Datagram {
  std::vector<std::uint8_t> bytes;
  int ttl = -1;
  std::string from;
};

// A socket joined to a group on the loopback interface.  It also receives
// what is sent to the port for any other group joined in the namespace.
class GroupReceiver {
 public:
  explicit GroupReceiver(std::uint16_t port, const char* group = kGroup);
  ~GroupReceiver();
  GroupReceiver(const GroupReceiver&) = delete;
  GroupReceiver& operator=(const GroupReceiver&) = delete;

  // The next datagram, or nothing when none arrives within `timeout`.
  std::optional<Datagram> receive(std::chrono::milliseconds timeout = std::chrono::seconds(5));

 private:
  int fd_ = -1;
};

// Sends one datagram to the group and port over loopback.
void send_datagram(std::uint16_t port, const std::vector<std::uint8_t>& bytes,
                   const char* group = kGroup);

}  // namespace test_support
