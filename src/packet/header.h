// The 68-byte Packet Header that starts every Statistics Packet, declared
// once as a table of fields: name, offset, width and how it is shown.  Every
// reader and writer finds a field's bytes through the table and converts the
// field between network and host order on each access.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "packet/byte_order.h"

namespace packet {

// How a header field's value is shown.  (The monitor's line of reserve bytes
// shows the four bytes from offset 8 in hexadecimal, counts included.)
enum class HeaderShown : std::uint8_t {
  kText,     // UTF-16 text up to the first zero unit
  kDecimal,  // an unsigned number in decimal
  kHex,      // an unsigned number in hexadecimal
  kNamed,    // a number that the message catalogue names (kind, scheme)
  kTime,     // seconds since 1970-01-01 00:00:00 UTC
  kHidden,   // never shown: NameTerminator
};

// One field of the header.  A text field holds UTF-16 code units; any other
// field is an unsigned big-endian number of one, two or four bytes.
struct HeaderField {
  std::string_view name;
  std::uint8_t offset;
  std::uint8_t width;  // bytes on the wire
  HeaderShown shown;
};

// The header's fields in wire order.
inline constexpr std::array<HeaderField, 16> kHeaderFields = {{
    {"HeaderId", 0, 8, HeaderShown::kText},
    {"PacketNumber", 8, 1, HeaderShown::kDecimal},
    {"PacketCount", 9, 1, HeaderShown::kDecimal},
    {"Reserved1", 10, 1, HeaderShown::kHex},
    {"Reserved2", 11, 1, HeaderShown::kHex},
    {"Encoding", 12, 1, HeaderShown::kDecimal},
    {"ReleaseNumber", 13, 1, HeaderShown::kDecimal},
    {"MinorVersion", 14, 1, HeaderShown::kDecimal},
    {"BuildNumber", 15, 1, HeaderShown::kDecimal},
    {"ServerName", 16, 40, HeaderShown::kText},
    {"NameTerminator", 56, 2, HeaderShown::kHidden},
    {"MessageType", 58, 1, HeaderShown::kNamed},
    {"StatScheme", 59, 1, HeaderShown::kNamed},
    {"Timestamp", 60, 4, HeaderShown::kTime},
    {"NumRecord", 64, 2, HeaderShown::kDecimal},
    {"RecordSize", 66, 2, HeaderShown::kDecimal},
}};

// The size of the Packet Header; the record area starts right behind it.
inline constexpr std::size_t kHeaderSize = 68;

// True when the fields follow each other without gaps, each number at a
// multiple of its width, and fill the header exactly.
consteval bool header_fields_are_packed() {
  std::size_t next = 0;
  for (const HeaderField& f : kHeaderFields) {
    const bool text = f.shown == HeaderShown::kText;
    const bool number = f.width == 1 || f.width == 2 || f.width == 4;
    if (f.offset != next || (text ? f.width % 2 != 0 : !number || f.offset % f.width != 0)) {
      return false;
    }
    next = f.offset + f.width;
  }
  return next == kHeaderSize;
}
static_assert(header_fields_are_packed(), "the header table has a gap, an overlap or a bad width");

// The index of the field with this name in kHeaderFields, or its size when
// no field has it.
constexpr std::size_t header_field_index(std::string_view name) {
  std::size_t i = 0;
  while (i < kHeaderFields.size() && kHeaderFields[i].name != name) ++i;
  return i;
}

// Returns the field with this name, or nullptr.
constexpr const HeaderField* find_header_field(std::string_view name) {
  const std::size_t i = header_field_index(name);
  return i < kHeaderFields.size() ? &kHeaderFields[i] : nullptr;
}

// Returns the field with this name; a name that is none fails to compile.
consteval const HeaderField& header_field(std::string_view name) {
  const std::size_t i = header_field_index(name);
  if (i == kHeaderFields.size()) throw "no header field of this name";
  return kHeaderFields[i];
}

// The identifier carried in HeaderId.
inline constexpr std::u16string_view kHeaderIdentifier = u"KEBO";

// Reads a number field, converted from network order.
constexpr std::uint32_t read_number(const std::uint8_t* packet, const HeaderField& field) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < field.width; ++i) value = value << 8 | packet[field.offset + i];
  return value;
}

// Writes the low bits of `value` that a number field holds, in network order.
constexpr void write_number(std::uint8_t* packet, const HeaderField& field, std::uint32_t value) {
  for (std::size_t i = field.width; i-- > 0; value >>= 8) {
    packet[field.offset + i] = static_cast<std::uint8_t>(value);
  }
}

// Reads a text field's code units up to the first zero unit, in host order.
std::u16string read_text(const std::uint8_t* packet, const HeaderField& field);

// Writes as many units of `text` as a text field holds, then zero units to
// its end.
void write_text(std::uint8_t* packet, const HeaderField& field, std::u16string_view text);

// The values a sender puts into a header, in host order.
struct HeaderFields {
  // A part's number (1 to PacketCount) and the parts of its message; both 0
  // in a packet that is a message by itself.
  std::uint8_t packet_number = 0;
  std::uint8_t packet_count = 0;
  std::uint8_t encoding = 0;
  std::uint8_t release_number = 0;
  std::uint8_t minor_version = 0;
  std::uint8_t build_number = 0;
  // The server name in UTF-16; units past the first 20 are not sent.
  std::u16string server_name;
  std::uint8_t message_type = 0;
  std::uint8_t stat_scheme = 0;
  std::uint32_t timestamp = 0;
  std::uint16_t num_record = 0;
  std::uint16_t record_size = 0;
};

// Writes all 68 header bytes of a sender's packet: the identifier, the given
// fields, zero reserved bytes and a zero NameTerminator.
void write_header(std::uint8_t* packet, const HeaderFields& fields);

// Single-field readers.
inline std::uint8_t packet_number(const std::uint8_t* p) {
  return static_cast<std::uint8_t>(read_number(p, header_field("PacketNumber")));
}
inline std::uint8_t packet_count(const std::uint8_t* p) {
  return static_cast<std::uint8_t>(read_number(p, header_field("PacketCount")));
}
inline std::uint8_t encoding(const std::uint8_t* p) {
  return static_cast<std::uint8_t>(read_number(p, header_field("Encoding")));
}
inline std::uint8_t release_number(const std::uint8_t* p) {
  return static_cast<std::uint8_t>(read_number(p, header_field("ReleaseNumber")));
}
inline std::uint8_t minor_version(const std::uint8_t* p) {
  return static_cast<std::uint8_t>(read_number(p, header_field("MinorVersion")));
}
inline std::uint8_t message_type(const std::uint8_t* p) {
  return static_cast<std::uint8_t>(read_number(p, header_field("MessageType")));
}
inline std::uint8_t stat_scheme(const std::uint8_t* p) {
  return static_cast<std::uint8_t>(read_number(p, header_field("StatScheme")));
}
inline std::uint32_t timestamp(const std::uint8_t* p) {
  return read_number(p, header_field("Timestamp"));
}
inline std::uint16_t num_record(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(read_number(p, header_field("NumRecord")));
}
inline std::uint16_t record_size(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(read_number(p, header_field("RecordSize")));
}
inline std::u16string header_id(const std::uint8_t* p) {
  return read_text(p, header_field("HeaderId"));
}
inline std::u16string server_name(const std::uint8_t* p) {
  return read_text(p, header_field("ServerName"));
}

// The room for an expanded record area of `table_length` bytes:
// N + N / 1000 + 12 in unsigned 32-bit arithmetic.
inline std::uint32_t expand_buffer_size(std::uint32_t table_length) {
  return table_length + table_length / 1000 + 12;
}

}  // namespace packet
