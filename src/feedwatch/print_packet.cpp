#include "feedwatch/print_packet.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "feedwatch/record_display.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "platform/system.h"

namespace feedwatch {
namespace {

// The room behind the header that an expanded record area may fill.
constexpr std::uint32_t kRecordRoom = kPacketBufferSize - packet::kHeaderSize;

const char* expansion_result_line(int result) {
  switch (result) {
    case Z_OK: return "\nCompression was ON - data uncompressed successfully.\n";
    case Z_BUF_ERROR: return "\nCompression was ON - not enough room in the output buffer\n";
    case Z_DATA_ERROR: return "\nCompression was ON - input data was corrupted or incomplete.\n";
    default: return "";
  }
}

// Expands the zlib stream at byte 68 into a zero-filled buffer of
// ExpandBufferSize bytes (no more than the room behind the header) and
// copies it back: what zlib produced after a success, the whole buffer after
// a failure.
void expand_record_area(std::uint8_t* packet, Console& console) {
  console.print("\nCompression is 'on', de-compress\n");
  const std::uint32_t table = std::uint32_t{packet::record_size(packet)} * packet::num_record(packet);
  const std::uint32_t capacity = std::min(packet::expand_buffer_size(table), kRecordRoom);
  std::vector<std::uint8_t> expanded(capacity);
  uLongf size = capacity;
  std::uint8_t* area = packet + packet::kHeaderSize;
  const int result = uncompress(expanded.data(), &size, area, kRecordRoom);
  console.print(expansion_result_line(result));
  std::memcpy(area, expanded.data(), result == Z_OK ? size : capacity);
}

void print_kind_and_scheme(const std::uint8_t* packet, Console& console) {
  const std::uint8_t type = packet::message_type(packet);
  if (const packet::Kind* kind = packet::find_kind(type)) {
    console.print(kind->title);
  } else {
    console.print("Invalid Msg Type -> %x\n", std::uint32_t{type});
  }
  const std::uint8_t scheme = packet::stat_scheme(packet);
  if (packet::is_stat_scheme(scheme)) {
    console.print(packet::scheme_text(scheme));
  } else {
    console.print("Invalid StatScheme -> %x\n", std::uint32_t{scheme});
  }
}

}  // namespace

void print_packet(std::uint8_t* packet, Console& console) {
  if (packet == nullptr) {
    console.print("Info pointer are NULL. Abort print packet\n");
    return;
  }
  if (packet::encoding(packet) != 0) expand_record_area(packet, console);
  console.print("Server id -> %S\n", packet::server_name(packet));
  print_kind_and_scheme(packet, console);
  const std::uint32_t timestamp = packet::timestamp(packet);
  console.print("Timestamp -> %d", static_cast<std::int32_t>(timestamp));
  console.print(" = %s", platform::local_date_text(timestamp));
  console.print("NumRecord -> %d\n", std::int32_t{packet::num_record(packet)});
  console.print("RecordSize -> %d\n\n", std::int32_t{packet::record_size(packet)});
  console.print("Encoding : %d\n", std::int32_t{packet::encoding(packet)});
  display_records(packet, console);
}

}  // namespace feedwatch
