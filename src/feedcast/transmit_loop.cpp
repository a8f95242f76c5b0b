#include "feedcast/transmit_loop.h"

#include <algorithm>

#include "feedcast/compression.h"
#include "feedcast/record_builder.h"
#include "packet/header.h"
#include "platform/system.h"

namespace feedcast {
namespace {

packet::HeaderFields header_fields(const SenderConfig& config, const packet::Kind& kind,
                                   const platform::ProfileFile& ini, std::int64_t now) {
  packet::HeaderFields h;
  h.num_record = static_cast<std::uint16_t>(ini.read_int(kind.section, "Number", 0));
  h.record_size = kind.record_size;
  h.encoding = static_cast<std::uint8_t>(ini.read_int(kind.section, "Encode", 0));
  h.release_number = static_cast<std::uint8_t>(config.release_number);
  h.minor_version = static_cast<std::uint8_t>(config.minor_version);
  h.build_number = static_cast<std::uint8_t>(config.build_number);
  h.server_name = server_name_in_header_form(config.server_name);
  h.message_type = kind.message_type;
  h.stat_scheme = static_cast<std::uint8_t>(config.stat_scheme);
  h.timestamp = static_cast<std::uint32_t>(now);
  return h;
}

void trace_application_ids(const std::uint8_t* record_area, std::uint16_t num_record,
                           const packet::Kind& kind, std::string& trace) {
  const packet::Field& id = kind.layout->fields.front();
  for (unsigned j = 0; j < num_record; ++j) {
    const auto value = static_cast<std::int32_t>(
        packet::shown_value(record_area + std::size_t{j} * kind.record_size, id));
    trace += std::to_string(j) + " : App ID = " + std::to_string(value) + "\n";
  }
}

// Builds one packet from the file's contents as last refreshed; the trace
// lines are appended to `trace`.
std::size_t fill_packet(const SenderConfig& config, const packet::Kind& kind,
                        const platform::ProfileFile& ini, std::span<std::uint8_t> packet,
                        std::int64_t now, std::string& trace, std::string& failure) {
  const packet::HeaderFields h = header_fields(config, kind, ini, now);
  packet::write_header(packet.data(), h);
  const bool application = kind.message_type == 1;
  if (application) trace += "Encode value read from the file was " + std::to_string(h.encoding);
  if (exceeds_limit(kind, h.num_record)) {
    failure = kind.limit_message;
    return 0;
  }
  std::uint8_t* record_area = packet.data() + packet::kHeaderSize;
  build_records(kind, ini, record_area, h.num_record);
  if (application) trace_application_ids(record_area, h.num_record, kind, trace);
  std::size_t area = std::size_t{h.num_record} * kind.record_size;
  if (h.encoding == 1) {
    area = compress_record_area(packet.data(), compression_capacity(packet.data()), trace);
  }
  return packet::kHeaderSize + area;
}

}  // namespace

std::vector<std::uint8_t> make_packet_buffer(const packet::Kind& kind) {
  const std::uint32_t largest = std::uint32_t{kind.max_records} * kind.record_size;
  return std::vector<std::uint8_t>(
      std::max<std::size_t>(2048, packet::kHeaderSize + packet::expand_buffer_size(largest)));
}

std::size_t build_packet(const SenderConfig& config, const packet::Kind& kind,
                         platform::ProfileFile& ini, std::span<std::uint8_t> packet,
                         std::int64_t now, std::FILE* trace, std::string& failure) {
  ini.refresh();
  std::string lines;
  const std::size_t length = fill_packet(config, kind, ini, packet, now, lines, failure);
  std::fwrite(lines.data(), 1, lines.size(), trace);
  return length;
}

PacketSource::PacketSource(const SenderConfig& config, const packet::Kind& kind,
                           platform::ProfileFile& ini)
    : config_(config), kind_(kind), ini_(ini), packet_(make_packet_buffer(kind)) {}

std::span<const std::uint8_t> PacketSource::next(std::int64_t now, std::string& failure) {
  ini_.refresh();
  if (length_ != 0 && ini_.version() == version_) {
    packet::store_be32(packet_.data() + packet::offset::kTimestamp, static_cast<std::uint32_t>(now));
  } else {
    trace_.clear();
    length_ = fill_packet(config_, kind_, ini_, packet_, now, trace_, failure);
    version_ = ini_.version();
  }
  return {packet_.data(), length_};
}

std::string run_transmit_loop(const SenderConfig& config, const packet::Kind& kind,
                              platform::ProfileFile& ini, platform::UdpSocket& socket,
                              const Destination& destination, std::FILE* trace) {
  PacketSource packets(config, kind, ini);
  const std::uint32_t pause = pause_milliseconds(config);
  for (;;) {
    std::string failure;
    const std::span<const std::uint8_t> datagram = packets.next(platform::current_time(), failure);
    std::fwrite(packets.trace().data(), 1, packets.trace().size(), trace);
    std::fflush(trace);
    if (datagram.empty()) return failure;
    if (const int e = socket.send_to(datagram.data(), datagram.size(), destination.group,
                                     destination.port)) {
      return "sendto failed! Error: " + std::to_string(e);
    }
    platform::pause_milliseconds(pause);
  }
}

}  // namespace feedcast
