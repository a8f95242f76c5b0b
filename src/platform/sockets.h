// IPv4 UDP sockets for multicast, over the platform's socket interface.
// Every operation that can fail returns the platform's error number (errno,
// or the Windows Sockets number), 0 meaning success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>

namespace platform {

// An IPv4 address in network byte order.
using Ipv4 = std::uint32_t;

// The all-zero wildcard address.
inline constexpr Ipv4 kAnyAddress = 0;

// The error number with which the platform refuses a second membership of a
// group on one interface, reached through an alias address of that interface.
extern const int kAliasMembershipError;

// True where a listening TCP socket must be allowed to reuse its address, so
// that a restarted server can bind while its earlier connections wait out
// their last state (POSIX systems); false where the option would let another
// program take the port (Windows).
extern const bool kListenerReusesAddress;

// The error number of an address that is not one of this host's
// (EADDRNOTAVAIL, WSAEADDRNOTAVAIL).
extern const int kAddressNotAvailable;

// Converts dotted IPv4 text; text that is no dotted address gives the
// all-ones address 255.255.255.255, as the classic conversion does.
Ipv4 parse_dotted(const std::string& text);

// Returns the dotted text of an address.
std::string dotted(Ipv4 address);

// The address as a number in host order (192.0.2.1 is 0xc0000201).
inline std::uint32_t host_order(Ipv4 address) {
  std::uint8_t bytes[4];
  std::memcpy(bytes, &address, sizeof bytes);
  return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
         std::uint32_t{bytes[2]} << 8 | bytes[3];
}

// The address of a number in host order.
inline Ipv4 from_host_order(std::uint32_t number) {
  const std::uint8_t bytes[4] = {
      static_cast<std::uint8_t>(number >> 24), static_cast<std::uint8_t>(number >> 16),
      static_cast<std::uint8_t>(number >> 8), static_cast<std::uint8_t>(number)};
  Ipv4 address;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}

// The address and port (host order) that a datagram came from.
struct Endpoint {
  Ipv4 address = kAnyAddress;
  std::uint16_t port = 0;
};

// Returns "address:port", the address in dotted form.
inline std::string endpoint_text(const Endpoint& endpoint) {
  return dotted(endpoint.address) + ":" + std::to_string(endpoint.port);
}

// One place of a batch receive: the room a datagram goes to, and what came.
struct ReceivedDatagram {
  std::uint8_t* buffer = nullptr;  // room for `capacity` bytes
  std::size_t capacity = 0;
  std::size_t length = 0;  // the bytes stored, at most `capacity`
  Endpoint from{};         // the sender
};

// The use of the platform's sockets library for the life of the object.
class SocketsSession {
 public:
  // Starts the library (version 1.1 where versions exist).
  SocketsSession();
  // Releases the library.
  ~SocketsSession();
  SocketsSession(const SocketsSession&) = delete;
  SocketsSession& operator=(const SocketsSession&) = delete;

  // The start-up's error code; 0 when the library is ready.
  int error() const { return error_; }

 private:
  int error_ = 0;
};

// One IPv4 datagram socket, closed when the object goes.
class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket();
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Opens the socket (IPv4, datagram, default protocol).
  int open();
  // Binds to a local address and port (host order; 0 for any free port).
  int bind(Ipv4 address, std::uint16_t port);
  // Allows other sockets to bind the same port.
  int set_reuse_address();
  // Sets the time-to-live of multicast datagrams.
  int set_multicast_ttl(int ttl);
  // Sends multicast datagrams out of the interface with this local address.
  int set_multicast_interface(Ipv4 address);
  // Joins a multicast group on the interface with this local address.
  int join_group(Ipv4 group, Ipv4 interface_address);
  // Delivers only the groups this socket joined, not those other sockets of
  // the host joined on the same port (a no-op where that is the rule anyway).
  int receive_joined_groups_only();
  // Sends one datagram to an address and port (host order).
  int send_to(const std::uint8_t* data, std::size_t length, Ipv4 address, std::uint16_t port);
  // Waits for one datagram and stores at most `capacity` bytes of it; returns
  // its length, or -1 with `error` set.  `from` receives its sender.
  long receive(std::uint8_t* buffer, std::size_t capacity, int& error, Endpoint& from);
  // Waits for one datagram and takes it, with those that already wait
  // behind it, into `slots` in their order of arrival, in one system call
  // where the platform has one for several (one datagram per call
  // elsewhere).  Returns how many were taken, or -1 with `error` set.
  int receive_batch(std::span<ReceivedDatagram> slots, int& error);
  // Asks the system to count the datagrams it drops for want of room in this
  // socket's receive buffer, where it keeps such a count (Linux); returns
  // whether it does.
  bool count_kernel_drops();
  // The datagrams the system dropped so far, as of the last receive; none
  // unless count_kernel_drops() returned true.
  std::optional<std::uint64_t> kernel_drops() const;
  // Stops the receiving side.
  void shutdown_receive();
  // The platform's handle of the socket, for waits on several sources.
  std::intptr_t native_handle() const { return handle_; }

 private:
  std::intptr_t handle_ = -1;
  bool counts_drops_ = false;
  std::uint32_t drop_counter_ = 0;  // the system's count as last received; it wraps
  std::uint64_t drops_ = 0;         // the count from the start, unwrapped
};

}  // namespace platform
