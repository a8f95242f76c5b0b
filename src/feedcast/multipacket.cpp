#include "feedcast/multipacket.h"

#include <algorithm>
#include <cstring>

#include "feedcast/compression.h"

namespace feedcast {

std::uint32_t part_count(std::uint32_t num_record, std::int32_t max_per_packet) {
  if (max_per_packet < 1 || num_record <= static_cast<std::uint32_t>(max_per_packet)) return 1;
  const auto most = static_cast<std::uint32_t>(max_per_packet);
  return (num_record + most - 1) / most;
}

std::string too_many_parts_message(std::uint32_t num_record, std::uint32_t parts,
                                   std::int32_t max_per_packet) {
  return std::to_string(num_record) + " records need " + std::to_string(parts) +
         " packets of at most " + std::to_string(max_per_packet) + " records; at most " +
         std::to_string(kMaxParts) + " are possible";
}

std::vector<Datagram> write_parts(const packet::Kind& kind, const packet::HeaderFields& header,
                                  const std::uint8_t* table, std::uint32_t parts,
                                  std::int32_t max_per_packet,
                                  std::vector<std::vector<std::uint8_t>>& buffers,
                                  std::string& trace, std::size_t& stream_bytes) {
  const auto most = static_cast<std::uint32_t>(max_per_packet);
  buffers.resize(std::max<std::size_t>(buffers.size(), parts));
  std::vector<Datagram> message;
  packet::HeaderFields part = header;
  part.packet_count = static_cast<std::uint8_t>(parts);
  for (std::uint32_t p = 0; p < parts; ++p) {
    const std::uint32_t first = p * most;
    part.packet_number = static_cast<std::uint8_t>(p + 1);
    part.num_record = static_cast<std::uint16_t>(std::min(most, header.num_record - first));
    const std::uint32_t length = std::uint32_t{part.num_record} * header.record_size;
    std::vector<std::uint8_t>& buffer = buffers[p];
    // Room for the stream, which may be longer than the slice.
    buffer.resize(packet::kHeaderSize + packet::expand_buffer_size(length));
    packet::write_header(buffer.data(), part);
    std::memcpy(buffer.data() + packet::kHeaderSize,
                table + std::size_t{first} * header.record_size, length);
    std::size_t area = length;
    if (header.encoding == 1) {
      const Compressed c =
          compress_record_area(kind, buffer.data(), compression_capacity(buffer.data()), trace);
      area = c.area;
      stream_bytes += c.stream;
    }
    message.emplace_back(buffer.data(), packet::kHeaderSize + area);
  }
  return message;
}

}  // namespace feedcast
