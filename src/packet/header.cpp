#include "packet/header.h"

#include <algorithm>

namespace packet {

std::u16string read_text(const std::uint8_t* p, const HeaderField& field) {
  std::u16string text;
  for (std::size_t at = field.offset; at < field.offset + field.width; at += 2) {
    const auto unit = static_cast<char16_t>(load_be16(p + at));
    if (unit == u'\0') break;
    text.push_back(unit);
  }
  return text;
}

void write_text(std::uint8_t* p, const HeaderField& field, std::u16string_view text) {
  for (std::size_t i = 0; i < field.width / 2u; ++i) {
    store_be16(p + field.offset + 2 * i, i < text.size() ? text[i] : u'\0');
  }
}

void write_header(std::uint8_t* p, const HeaderFields& f) {
  std::fill(p, p + kHeaderSize, std::uint8_t{0});  // the reserved bytes and NameTerminator
  write_text(p, header_field("HeaderId"), kHeaderIdentifier);
  write_number(p, header_field("PacketNumber"), f.packet_number);
  write_number(p, header_field("PacketCount"), f.packet_count);
  write_number(p, header_field("Encoding"), f.encoding);
  write_number(p, header_field("ReleaseNumber"), f.release_number);
  write_number(p, header_field("MinorVersion"), f.minor_version);
  write_number(p, header_field("BuildNumber"), f.build_number);
  write_text(p, header_field("ServerName"), f.server_name);
  write_number(p, header_field("MessageType"), f.message_type);
  write_number(p, header_field("StatScheme"), f.stat_scheme);
  write_number(p, header_field("Timestamp"), f.timestamp);
  write_number(p, header_field("NumRecord"), f.num_record);
  write_number(p, header_field("RecordSize"), f.record_size);
}

}  // namespace packet
