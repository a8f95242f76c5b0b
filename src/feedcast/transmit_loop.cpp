#include "feedcast/transmit_loop.h"

#include <algorithm>

#include "feedcast/compression.h"
#include "feedcast/config_outage.h"
#include "feedcast/faults.h"
#include "feedcast/record_builder.h"
#include "feedcast/table_settings.h"
#include "packet/header.h"
#include "platform/system.h"

namespace feedcast {
namespace {

packet::HeaderFields header_fields(const SenderConfig& config, const packet::Kind& kind,
                                   const platform::ProfileFile& ini, std::int64_t now) {
  const TableSettings table = read_table_settings(ini, kind);
  packet::HeaderFields h;
  h.num_record = static_cast<std::uint16_t>(table.number);
  h.record_size = kind.record_size;
  h.encoding = static_cast<std::uint8_t>(table.encode);
  h.release_number = static_cast<std::uint8_t>(config.release_number);
  h.minor_version = static_cast<std::uint8_t>(config.minor_version);
  h.build_number = static_cast<std::uint8_t>(config.build_number);
  h.server_name = server_name_in_header_form(config.server_name);
  h.message_type = kind.message_type;
  h.stat_scheme = static_cast<std::uint8_t>(config.stat_scheme);
  h.timestamp = static_cast<std::uint32_t>(now);
  return h;
}

// One line per record with its Application ID, the first field.
void trace_application_ids(const std::uint8_t* record_area, std::uint16_t num_record,
                           const packet::Kind& kind, std::string& trace) {
  const packet::Field& id = kind.layout->fields.front();
  for (unsigned j = 0; j < num_record; ++j) {
    const auto value = static_cast<std::int32_t>(
        packet::shown_value(record_area + std::size_t{j} * kind.record_size, id));
    trace += std::to_string(j) + " : App ID = " + std::to_string(value) + "\n";
  }
}

// The packet buffer of a kind: the header and room for the stream of its
// largest table, at least 2,048 bytes.
std::vector<std::uint8_t> make_packet_buffer(const packet::Kind& kind) {
  const std::uint32_t largest = std::uint32_t{kind.max_records} * kind.record_size;
  return std::vector<std::uint8_t>(
      std::max<std::size_t>(2048, packet::kHeaderSize + packet::expand_buffer_size(largest)));
}

}  // namespace

PacketSource::PacketSource(const SenderConfig& config, const packet::Kind& kind,
                           platform::ProfileFile& ini)
    : config_(config), kind_(kind), ini_(ini), packet_(make_packet_buffer(kind)) {
  if (config.simulate == 1) simulation_.emplace(static_cast<std::uint32_t>(config.simulate_seed));
}

portable::Result<std::span<const Datagram>> PacketSource::next(std::int64_t now) {
  ini_.refresh();
  const bool moving = simulation_ && simulation_->moving();
  if (!message_.empty() && ini_.version() == version_ && !moving) {
    const auto timestamp = static_cast<std::uint32_t>(now);
    if (message_.size() == 1) {
      packet::write_number(packet_.data(), packet::header_field("Timestamp"), timestamp);
    } else {
      for (std::size_t p = 0; p < message_.size(); ++p) {
        packet::write_number(parts_[p].data(), packet::header_field("Timestamp"), timestamp);
      }
    }
    return std::span<const Datagram>(message_);
  }
  version_ = ini_.version();
  const portable::Result<void> filled = fill(now);
  if (!filled) return portable::Failure{filled.failure()};
  return std::span<const Datagram>(message_);
}

// Builds the message from the file's contents as last refreshed.
portable::Result<void> PacketSource::fill(std::int64_t now) {
  message_.clear();
  trace_.clear();
  stream_bytes_ = 0;
  const packet::HeaderFields h = header_fields(config_, kind_, ini_, now);
  packet::write_header(packet_.data(), h);
  if (kind_.application_trace) {
    trace_ += "Encode value read from the file was " + std::to_string(h.encoding);
  }
  if (exceeds_limit(kind_, h.num_record))
    return portable::Failure{std::string(kind_.limit_message)};
  const std::uint32_t parts = part_count(h.num_record, config_.max_records_per_packet);
  if (parts > kMaxParts) {
    return portable::Failure{
        too_many_parts_message(h.num_record, parts, config_.max_records_per_packet)};
  }
  std::uint8_t* record_area = packet_.data() + packet::kHeaderSize;
  if (simulation_) {
    simulation_->fill(kind_, ini_, record_area, h.num_record);
  } else {
    build_records(kind_, ini_, record_area, h.num_record);
  }
  if (kind_.application_trace) trace_application_ids(record_area, h.num_record, kind_, trace_);
  if (parts > 1) {
    message_ = write_parts(kind_, h, record_area, parts, config_.max_records_per_packet, parts_,
                           trace_, stream_bytes_);
    return {};
  }
  std::size_t area = std::size_t{h.num_record} * kind_.record_size;
  if (h.encoding == 1) {
    const Compressed c =
        compress_record_area(kind_, packet_.data(), compression_capacity(packet_.data()), trace_);
    area = c.area;
    stream_bytes_ = c.stream;
  }
  message_.emplace_back(packet_.data(), packet::kHeaderSize + area);
  return {};
}

portable::Result<void> run_transmit_loop(const SenderConfig& config, const packet::Kind& kind,
                                         platform::ProfileFile& ini, platform::UdpSocket& socket,
                                         const Destination& destination, std::uint64_t count,
                                         TraceOutput& out) {
  PacketSource packets(config, kind, ini);
  FaultInjector faults;
  OutageReport outage;
  const std::uint32_t pause = pause_after_message(config);
  const std::uint32_t pause_between = pause_between_parts(config);
  if (const std::uint32_t seed = packets.simulate_seed()) {
    out.print("SimulateSeed=" + std::to_string(seed) + "\n");
  }
  for (std::uint64_t sent = 0;;) {
    const portable::Result<std::span<const Datagram>> message =
        packets.next(platform::current_time());
    if (const std::string line = outage.update(ini); !line.empty()) out.warn(line);
    out.print(packets.trace());
    if (!message) {
      out.flush();
      return portable::Failure{message.failure()};
    }
    faults.update(ini);
    std::string lines;
    std::optional<portable::Failure> failure;
    const std::span<const std::size_t> order = faults.order(*message, lines);
    for (std::size_t i = 0; i < order.size() && !failure; ++i) {
      if (i > 0) platform::sleep_milliseconds(pause_between);
      const Shipment shipment = faults.shape((*message)[order[i]], lines);
      for (int copy = 0; copy < shipment.copies && !failure; ++copy) {
        if (const int e = socket.send_to(shipment.bytes.data(), shipment.bytes.size(),
                                         destination.group, destination.port)) {
          failure = portable::failed("sendto", e);
        }
      }
    }
    out.print_faults(lines);
    if (const int e = out.flush()) return portable::Failure{platform::output_failure_text(e)};
    if (failure) return *failure;
    if (++sent == count) return {};
    platform::sleep_milliseconds(pause);
  }
}

}  // namespace feedcast
