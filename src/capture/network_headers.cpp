// Reading an IPv4 header, and the Internet checksum.
#include "capture/network_headers.h"

#include "packet/byte_order.h"

namespace capture {

namespace ipv4 {

std::optional<Header> read_header(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kMinHeaderSize || bytes[kVersionAndLength] >> 4 != 4) return std::nullopt;
  Header h;
  h.header_length = std::size_t{4} * (bytes[kVersionAndLength] & 0x0f);
  h.total_length = packet::load_be16(&bytes[kTotalLength]);
  if (h.header_length < kMinHeaderSize || h.total_length < h.header_length ||
      h.total_length > bytes.size()) {
    return std::nullopt;
  }
  const std::uint16_t flags_and_offset = packet::load_be16(&bytes[kFlagsAndOffset]);
  h.identification = packet::load_be16(&bytes[kIdentification]);
  h.more_fragments = (flags_and_offset & kMoreFragments) != 0;
  h.fragment_offset = std::uint32_t{8} * (flags_and_offset & kOffsetMask);
  h.protocol = bytes[kProtocol];
  h.source = packet::load_be32(&bytes[kSource]);
  h.destination = packet::load_be32(&bytes[kDestination]);
  return h;
}

}  // namespace ipv4

std::uint64_t checksum_add(std::uint64_t sum, std::span<const std::uint8_t> bytes) {
  const std::size_t even = bytes.size() & ~std::size_t{1};
  // Two sums of independent words, so that the loop vectorises.
  std::uint64_t high = 0, low = 0;
  for (std::size_t i = 0; i < even; i += 2) {
    high += bytes[i];
    low += bytes[i + 1];
  }
  if (even != bytes.size()) high += bytes[even];
  return sum + (high << 8) + low;
}

std::uint16_t checksum_finish(std::uint64_t sum) {
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

}  // namespace capture
