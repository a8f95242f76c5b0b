#include "packet/header.h"

#include <cstring>

namespace packet {

void write_header(std::uint8_t* p, const HeaderFields& f) {
  for (std::size_t i = 0; i < kHeaderIdentifier.size(); ++i) {
    store_be16(p + offset::kHeaderId + 2 * i, kHeaderIdentifier[i]);
  }
  p[offset::kPacketNumber] = f.packet_number;
  p[offset::kPacketCount] = f.packet_count;
  p[offset::kReserved1] = 0;
  p[offset::kReserved2] = 0;
  p[offset::kEncoding] = f.encoding;
  p[offset::kReleaseNumber] = f.release_number;
  p[offset::kMinorVersion] = f.minor_version;
  p[offset::kBuildNumber] = f.build_number;
  for (std::size_t i = 0; i < kServerNameUnits; ++i) {
    const char16_t unit = i < f.server_name.size() ? f.server_name[i] : u'\0';
    store_be16(p + offset::kServerName + 2 * i, unit);
  }
  store_be16(p + offset::kNameTerminator, 0);
  p[offset::kMessageType] = f.message_type;
  p[offset::kStatScheme] = f.stat_scheme;
  store_be32(p + offset::kTimestamp, f.timestamp);
  store_be16(p + offset::kNumRecord, f.num_record);
  store_be16(p + offset::kRecordSize, f.record_size);
}

std::u16string header_id(const std::uint8_t* p) {
  std::u16string id;
  for (std::size_t i = 0; i < kHeaderIdentifier.size(); ++i) {
    id.push_back(static_cast<char16_t>(load_be16(p + offset::kHeaderId + 2 * i)));
  }
  return id;
}

std::u16string server_name(const std::uint8_t* p) {
  std::u16string name;
  for (std::size_t i = 0; i < kServerNameUnits; ++i) {
    const auto unit = static_cast<char16_t>(load_be16(p + offset::kServerName + 2 * i));
    if (unit == u'\0') break;
    name.push_back(unit);
  }
  return name;
}

}  // namespace packet
