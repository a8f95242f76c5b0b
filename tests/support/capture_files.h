// Test helpers: capture files built byte by byte, in either byte order, and
// the frames inside them, so that every format, block kind and link type
// can be tried without a checked-in binary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capture/reader.h"

namespace test_support {

using Bytes = std::vector<std::uint8_t>;

// Appends fields in one byte order.
struct FieldWriter {
  explicit FieldWriter(bool big) : big_endian(big) {}

  bool big_endian;
  Bytes bytes;

  FieldWriter& u8(std::uint32_t v);
  FieldWriter& u16(std::uint32_t v);
  FieldWriter& u32(std::uint32_t v);
  FieldWriter& u64(std::uint64_t v);
  FieldWriter& raw(const Bytes& b);
};

// A pcap file header: microsecond or nanosecond magic, version 2.4.
Bytes pcap_header(bool big_endian, bool nanoseconds, std::uint32_t link_type);
// A pcap packet record.
Bytes pcap_record(bool big_endian, std::uint32_t seconds, std::uint32_t fraction,
                  const Bytes& frame);

// A pcapng block: type, length, `body` padded, length.
Bytes pcapng_block(bool big_endian, std::uint32_t type, const Bytes& body);
// A Section Header Block of version 1.0 without options.
Bytes pcapng_section(bool big_endian);
// An option: code, length, value padded.
Bytes pcapng_option(bool big_endian, std::uint16_t code, const Bytes& value);
// An Interface Description Block with `options` (each from pcapng_option),
// ended by opt_endofopt when there are any.
Bytes pcapng_interface(bool big_endian, std::uint16_t link_type, const Bytes& options = {});
// An Enhanced Packet Block of interface `id` at `units` of its resolution.
Bytes pcapng_packet(bool big_endian, std::uint32_t id, std::uint64_t units, const Bytes& frame);

// One UDP datagram over IPv4 (`options` in the IPv4 header, a multiple of 4
// bytes), unfragmented.
Bytes udp_packet(std::uint32_t source, std::uint16_t source_port, std::uint32_t destination,
                 std::uint16_t destination_port, const std::string& payload,
                 const Bytes& options = {});
// The fragments of an IPv4 packet made by udp_packet(), each carrying
// `size` bytes of its payload (a multiple of 8), in order.
std::vector<Bytes> fragments(const Bytes& packet, std::size_t size, std::uint16_t id);

// An IPv4 packet in a frame of a link type, with the link-layer header that
// the type names ("ethernet", "vlan", "qinq", "sll", "sll2", "raw",
// "loopback-le", "loopback-be").
Bytes framed(const std::string& link, const Bytes& ip_packet);

// The LINKTYPE_ number of one of framed()'s links.
std::uint32_t link_type_of(const std::string& link);

// What reading a file gave: one line per datagram, "<time> <source>:<port>
// > <destination>:<port> <payload> @<block offset>", then the fault's text
// or "end".
std::string read_capture(const Bytes& file, const capture::PortSet& ports = capture::all_ports(),
                         capture::ReadCounts* counts = nullptr);

// The line read_capture() gives for a datagram.
std::string describe(const capture::UdpDatagram& d);

// An IPv4 address from its dotted form.
std::uint32_t address(const char* dotted);

}  // namespace test_support
