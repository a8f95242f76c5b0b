// The 68-byte Packet Header that starts every Statistics Packet.
// Fields are accessed one at a time at their fixed offsets, converted between
// network and host order on every write and every read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "packet/byte_order.h"

namespace packet {

// The size of the Packet Header; the record area starts right behind it.
inline constexpr std::size_t kHeaderSize = 68;

// The number of UTF-16 code units in the ServerName field.
inline constexpr std::size_t kServerNameUnits = 20;

// The identifier carried in HeaderId, one UTF-16 code unit per character.
inline constexpr std::array<char16_t, 4> kHeaderIdentifier = {u'K', u'E', u'B', u'O'};

// Byte offsets of the header fields.
namespace offset {
inline constexpr std::size_t kHeaderId = 0;
inline constexpr std::size_t kPacketNumber = 8;
inline constexpr std::size_t kPacketCount = 9;
inline constexpr std::size_t kReserved1 = 10;
inline constexpr std::size_t kReserved2 = 11;
inline constexpr std::size_t kEncoding = 12;
inline constexpr std::size_t kReleaseNumber = 13;
inline constexpr std::size_t kMinorVersion = 14;
inline constexpr std::size_t kBuildNumber = 15;
inline constexpr std::size_t kServerName = 16;
inline constexpr std::size_t kNameTerminator = 56;
inline constexpr std::size_t kMessageType = 58;
inline constexpr std::size_t kStatScheme = 59;
inline constexpr std::size_t kTimestamp = 60;
inline constexpr std::size_t kNumRecord = 64;
inline constexpr std::size_t kRecordSize = 66;
inline constexpr std::size_t kRecordArea = kHeaderSize;
}  // namespace offset

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

// Single-field readers, each converting from network order at its offset.
inline std::uint8_t packet_number(const std::uint8_t* p) { return p[offset::kPacketNumber]; }
inline std::uint8_t packet_count(const std::uint8_t* p) { return p[offset::kPacketCount]; }
inline std::uint8_t encoding(const std::uint8_t* p) { return p[offset::kEncoding]; }
inline std::uint8_t release_number(const std::uint8_t* p) { return p[offset::kReleaseNumber]; }
inline std::uint8_t minor_version(const std::uint8_t* p) { return p[offset::kMinorVersion]; }
inline std::uint8_t message_type(const std::uint8_t* p) { return p[offset::kMessageType]; }
inline std::uint8_t stat_scheme(const std::uint8_t* p) { return p[offset::kStatScheme]; }
inline std::uint32_t timestamp(const std::uint8_t* p) { return load_be32(p + offset::kTimestamp); }
inline std::uint16_t num_record(const std::uint8_t* p) { return load_be16(p + offset::kNumRecord); }
inline std::uint16_t record_size(const std::uint8_t* p) { return load_be16(p + offset::kRecordSize); }

// Reads the four HeaderId code units in host order.
std::u16string header_id(const std::uint8_t* packet);

// Reads ServerName up to its first zero unit, at most 20 units, in host order.
std::u16string server_name(const std::uint8_t* packet);

// The room for an expanded record area of `table_length` bytes:
// N + N / 1000 + 12 in unsigned 32-bit arithmetic.
inline std::uint32_t expand_buffer_size(std::uint32_t table_length) {
  return table_length + table_length / 1000 + 12;
}

}  // namespace packet
