// The six statistics record layouts, declared once as data.
//
// Each field states its name (the generator's configuration key stem), its
// offset, width and byte order on the wire, whether the generator fills it,
// and how the monitor shows it.  Each layout also lists the monitor's display
// lines: a format string with %d (signed decimal) and %X (upper-case hex)
// placeholders and the fields that fill them, left to right.  The generator's
// configuration keys and the monitor's display are both driven from here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace packet {

// The byte order of a field on the wire.
enum class ByteOrder : std::uint8_t { kBig, kLittle };

// How the monitor shows a field.
enum class Shown : std::uint8_t {
  kDecimal,       // the 32-bit value as signed decimal
  kHex,           // the 32-bit value as upper-case hexadecimal
  kHexFirstByte,  // the field's first byte alone, as upper-case hexadecimal
  kHidden,        // not shown
};

// One field of a record.
struct Field {
  std::string_view name;   // key stem for keyed fields
  std::string_view label;  // the monitor's label; empty when not shown
  std::uint16_t offset;    // from the start of the record
  std::uint8_t width;      // bytes on the wire
  ByteOrder order;
  Shown shown;
  bool keyed;  // filled by the generator from name + record index
};

// The most fields one display line shows.
inline constexpr std::size_t kMaxLineFields = 5;

// One call of the monitor's output: a format string and its fields.
struct DisplayLine {
  std::string_view format;
  std::array<std::uint8_t, kMaxLineFields> fields;  // indexes into the layout's fields
  std::uint8_t count;
};

// A record layout: its fields in record order and its display lines in print order.
struct RecordLayout {
  std::string_view name;
  std::uint16_t size;  // the stride with which the monitor steps through records
  std::span<const Field> fields;
  std::span<const DisplayLine> lines;
};

// The layouts, by kind; the catalogue tells which kind and version reads
// which.  The Agent Record has a 104-byte layout and a 108-byte one that adds
// TimeInNRRC; the generator writes the first 84 bytes of it, or on request
// either whole (the keyed layouts below).
extern const RecordLayout kApplicationLayout;
extern const RecordLayout kSkillsetLayout;
extern const RecordLayout kAgentLayout;
extern const RecordLayout kAgentLayoutWithNrrc;
extern const RecordLayout kNodalLayout;
extern const RecordLayout kIvrLayout;
extern const RecordLayout kRouteLayout;

// The Agent layouts as the generator writes them when asked for records of
// 104 or 108 bytes: the same fields, every one of them keyed.
extern const RecordLayout kAgentKeyedLayout;
extern const RecordLayout kAgentKeyedLayoutWithNrrc;

// Writes a configured value into its field of a record by the field's storage
// rule: 32 bits big-endian; the low 16 bits little-endian for a 2-byte
// little-endian field; for a wider field, zeros with the value big-endian in
// its first four bytes.
void store_field(std::uint8_t* record, const Field& field, std::uint32_t value);

// Reads the value that store_field writes into a field: the inverse of its
// storage rule for the field's first four bytes (two for a little-endian field).
std::uint32_t stored_value(const std::uint8_t* record, const Field& field);

// Reads the value the monitor shows for a field of a record.
std::uint32_t shown_value(const std::uint8_t* record, const Field& field);

// Builds a display line at compile time, resolving field names to indexes and
// checking that the format has one placeholder per field.
template <std::size_t N>
consteval DisplayLine display_line(const Field (&fields)[N], std::string_view format,
                                   std::initializer_list<std::string_view> names) {
  DisplayLine line{format, {}, 0};
  for (std::string_view name : names) {
    std::size_t index = 0;
    while (index < N && fields[index].name != name) ++index;
    if (index == N || line.count == kMaxLineFields) throw "unknown field or too many fields";
    line.fields[line.count++] = static_cast<std::uint8_t>(index);
  }
  std::size_t placeholders = 0;
  for (std::size_t i = 0; i + 1 < format.size(); ++i) {
    if (format[i] == '%' && (format[i + 1] == 'd' || format[i + 1] == 'X')) ++placeholders;
  }
  if (placeholders != line.count) throw "placeholders and fields differ";
  return line;
}

}  // namespace packet
