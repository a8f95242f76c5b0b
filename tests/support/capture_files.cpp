#include "support/capture_files.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "capture/file_formats.h"
#include "capture/link_layer.h"
#include "capture/network_headers.h"
#include "packet/byte_order.h"
#include "support/packets.h"

namespace test_support {

FieldWriter& FieldWriter::u8(std::uint32_t v) {
  bytes.push_back(static_cast<std::uint8_t>(v));
  return *this;
}

FieldWriter& FieldWriter::u16(std::uint32_t v) {
  return big_endian ? u8(v >> 8).u8(v) : u8(v).u8(v >> 8);
}

FieldWriter& FieldWriter::u32(std::uint32_t v) {
  return big_endian ? u16(v >> 16).u16(v) : u16(v).u16(v >> 16);
}

FieldWriter& FieldWriter::u64(std::uint64_t v) {
  const auto high = static_cast<std::uint32_t>(v >> 32), low = static_cast<std::uint32_t>(v);
  return big_endian ? u32(high).u32(low) : u32(low).u32(high);
}

FieldWriter& FieldWriter::raw(const Bytes& b) {
  bytes.insert(bytes.end(), b.begin(), b.end());
  return *this;
}

Bytes pcap_header(bool big_endian, bool nanoseconds, std::uint32_t link_type) {
  const std::uint32_t magic =
      nanoseconds ? capture::pcap::kMagicNanoseconds : capture::pcap::kMagicMicroseconds;
  return FieldWriter{big_endian}
      .u32(magic)
      .u16(2)
      .u16(4)
      .u32(0)
      .u32(0)
      .u32(262144)
      .u32(link_type)
      .bytes;
}

Bytes pcap_record(bool big_endian, std::uint32_t seconds, std::uint32_t fraction,
                  const Bytes& frame) {
  const auto size = static_cast<std::uint32_t>(frame.size());
  return FieldWriter{big_endian}.u32(seconds).u32(fraction).u32(size).u32(size).raw(frame).bytes;
}

Bytes pcapng_block(bool big_endian, std::uint32_t type, const Bytes& body) {
  const auto length = static_cast<std::uint32_t>(12 + capture::pcapng::padded(body.size()));
  FieldWriter w{big_endian};
  w.u32(type).u32(length).raw(body);
  w.bytes.resize(length - 4);
  return w.u32(length).bytes;
}

Bytes pcapng_section(bool big_endian) {
  return pcapng_block(big_endian, capture::pcapng::kSectionHeader,
                      FieldWriter{big_endian}.u32(0x1a2b3c4d).u16(1).u16(0).u64(~0ull).bytes);
}

Bytes pcapng_option(bool big_endian, std::uint16_t code, const Bytes& value) {
  FieldWriter w{big_endian};
  w.u16(code).u16(static_cast<std::uint32_t>(value.size())).raw(value);
  w.bytes.resize(4 + capture::pcapng::padded(value.size()));
  return w.bytes;
}

Bytes pcapng_interface(bool big_endian, std::uint16_t link_type, const Bytes& options) {
  FieldWriter w{big_endian};
  w.u16(link_type).u16(0).u32(0).raw(options);
  if (!options.empty()) w.u32(0);
  return pcapng_block(big_endian, capture::pcapng::kInterfaceDescription, w.bytes);
}

Bytes pcapng_packet(bool big_endian, std::uint32_t id, std::uint64_t units, const Bytes& frame) {
  const auto size = static_cast<std::uint32_t>(frame.size());
  FieldWriter w{big_endian};
  w.u32(id).u32(static_cast<std::uint32_t>(units >> 32)).u32(static_cast<std::uint32_t>(units));
  return pcapng_block(big_endian, capture::pcapng::kEnhancedPacket,
                      w.u32(size).u32(size).raw(frame).bytes);
}

Bytes udp_packet(std::uint32_t source, std::uint16_t source_port, std::uint32_t destination,
                 std::uint16_t destination_port, const std::string& payload, const Bytes& options) {
  const std::size_t header = 20 + options.size(), total = header + 8 + payload.size();
  FieldWriter w{true};
  w.u8(0x40 | header / 4).u8(0).u16(total).u32(0).u8(64).u8(17).u16(0).u32(source).u32(destination);
  w.raw(options).u16(source_port).u16(destination_port).u16(8 + payload.size()).u16(0);
  return w.raw(Bytes(payload.begin(), payload.end())).bytes;
}

std::vector<Bytes> fragments(const Bytes& packet, std::size_t size, std::uint16_t id) {
  const std::size_t header = 4 * (packet[0] & 0x0f);
  std::vector<Bytes> pieces;
  for (std::size_t at = header; at < packet.size(); at += size) {
    const std::size_t end = std::min(packet.size(), at + size);
    Bytes piece(packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(header));
    piece.insert(piece.end(), packet.begin() + static_cast<std::ptrdiff_t>(at),
                 packet.begin() + static_cast<std::ptrdiff_t>(end));
    packet::store_be16(&piece[2], piece.size());
    packet::store_be16(&piece[4], id);
    packet::store_be16(&piece[6], (end < packet.size() ? 0x2000 : 0) | (at - header) / 8);
    pieces.push_back(piece);
  }
  return pieces;
}

Bytes framed(const std::string& link, const Bytes& ip_packet) {
  const Bytes mac = {0x01, 0x00, 0x5e, 0x05, 0x06, 0x07, 0x02, 0, 0, 0, 0, 9};
  FieldWriter w{true};
  if (link == "ethernet") w.raw(mac).u16(0x0800);
  if (link == "vlan") w.raw(mac).u16(0x8100).u16(5).u16(0x0800);
  if (link == "qinq") w.raw(mac).u16(0x88a8).u16(7).u16(0x8100).u16(5).u16(0x0800);
  if (link == "sll") w.u16(0).u16(1).u16(6).raw(Bytes(8, 2)).u16(0x0800);
  if (link == "sll2") w.u16(0x0800).u16(0).u32(3).u16(1).u8(0).u8(6).raw(Bytes(8, 2));
  if (link == "loopback-le") w.u8(2).u8(0).u8(0).u8(0);
  if (link == "loopback-be") w.u32(2);
  return w.raw(ip_packet).bytes;
}

std::uint32_t link_type_of(const std::string& link) {
  namespace lt = capture::link_type;
  if (link == "sll") return lt::kLinuxCooked;
  if (link == "sll2") return lt::kLinuxCooked2;
  if (link == "raw") return lt::kRaw;
  if (link.rfind("loopback", 0) == 0) return lt::kBsdLoopback;
  return lt::kEthernet;
}

std::string describe(const capture::UdpDatagram& d) {
  auto dotted = [](std::uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string(a >> 16 & 255) + "." +
           std::to_string(a >> 8 & 255) + "." + std::to_string(a & 255);
  };
  return std::to_string(d.time_ns) + " " + dotted(d.source_address) + ":" +
         std::to_string(d.source_port) + " > " + dotted(d.destination_address) + ":" +
         std::to_string(d.destination_port) + " " +
         std::string(d.payload.begin(), d.payload.end()) + " @" + std::to_string(d.block_offset);
}

std::string read_capture(const Bytes& file, const capture::PortSet& ports,
                         capture::ReadCounts* counts) {
  TempDir dir;
  const std::string path = dir.file("capture");
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  int error = 0;
  const capture::CaptureFile input = capture::open_capture(path, error);
  if (!input) throw std::runtime_error("cannot open " + path);
  capture::Reader reader(input.get(), ports);
  std::string lines;
  while (const auto d = reader.next()) lines += describe(*d) + "\n";
  if (counts) *counts = reader.counts();
  return lines + (reader.error() ? reader.error()->text() : "end");
}

std::uint32_t address(const char* dotted) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  std::sscanf(dotted, "%u.%u.%u.%u", &a, &b, &c, &d);
  return a << 24 | b << 16 | c << 8 | d;
}

}  // namespace test_support
