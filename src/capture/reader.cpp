// From captured frames to UDP datagrams.
#include "capture/reader.h"

#include <cerrno>

#include "capture/link_layer.h"
#include "packet/byte_order.h"

namespace capture {

namespace {

constexpr std::size_t kReadBuffer = std::size_t{1} << 18;

}  // namespace

CaptureFile open_capture(const std::string& path, int& error) {
  errno = 0;
  CaptureFile file(std::fopen(path.c_str(), "rb"));
  error = file ? 0 : (errno != 0 ? errno : ENOENT);
  // Larger reads than the default buffer's: fewer system calls per block.
  if (file) std::setvbuf(file.get(), nullptr, _IOFBF, kReadBuffer);
  return file;
}

Reader::Reader(std::FILE* file, const PortSet& ports, ReassemblyLimits limits)
    : frames_(file), ports_(std::make_unique<PortSet>(ports)), fragments_(limits) {}

std::optional<UdpDatagram> Reader::next() {
  while (const std::optional<Frame> frame = frames_.next()) {
    ++counts_.frames;
    const std::span<const std::uint8_t> packet = ipv4_packet(frame->link_type, frame->bytes);
    if (packet.empty()) {
      ++counts_.not_ipv4;
      continue;
    }
    const std::optional<ipv4::Header> ip = ipv4::read_header(packet);
    if (!ip) {
      ++counts_.malformed;
      continue;
    }
    if (ip->protocol != ipv4::kUdp) {
      ++counts_.not_udp;
      continue;
    }
    std::span<const std::uint8_t> payload =
        packet.subspan(ip->header_length, ip->total_length - ip->header_length);
    if (ip->is_fragment()) {
      const auto whole = fragments_.add(*ip, payload, frame->time_ns);
      if (!whole) continue;
      payload = *whole;
    }
    if (std::optional<UdpDatagram> d = datagram(*ip, payload, *frame)) {
      ++counts_.datagrams;
      return d;
    }
  }
  return std::nullopt;
}

std::optional<UdpDatagram> Reader::datagram(const ipv4::Header& ip,
                                            std::span<const std::uint8_t> udp_packet,
                                            const Frame& frame) {
  const std::size_t length =
      udp_packet.size() < udp::kHeaderSize ? 0 : packet::load_be16(&udp_packet[udp::kLength]);
  if (length < udp::kHeaderSize || length > udp_packet.size()) {
    ++counts_.malformed;
    return std::nullopt;
  }
  const std::uint16_t port = packet::load_be16(&udp_packet[udp::kDestinationPort]);
  if (!ports_->test(port)) {
    ++counts_.other_ports;
    return std::nullopt;
  }
  return UdpDatagram{.time_ns = frame.time_ns,
                     .source_address = ip.source,
                     .source_port = packet::load_be16(&udp_packet[udp::kSourcePort]),
                     .destination_address = ip.destination,
                     .destination_port = port,
                     .payload = udp_packet.subspan(udp::kHeaderSize, length - udp::kHeaderSize),
                     .block_offset = frame.block_offset};
}

ReadCounts Reader::counts() const {
  ReadCounts counts = counts_;
  counts.fragments = fragments_.counts();
  counts.pending_fragments = fragments_.pending();
  return counts;
}

}  // namespace capture
