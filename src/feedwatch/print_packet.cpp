#include "feedwatch/print_packet.h"

#include "feedwatch/record_display.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "platform/system.h"

namespace feedwatch {
namespace {

const char* expansion_result_line(Expansion expansion) {
  switch (expansion) {
    case Expansion::kExpanded: return "\nCompression was ON - data uncompressed successfully.\n";
    case Expansion::kNoRoom: return "\nCompression was ON - not enough room in the output buffer\n";
    case Expansion::kCorrupt:
      return "\nCompression was ON - input data was corrupted or incomplete.\n";
    default: return "";
  }
}

void print_expansion(Expansion expansion, Console& console) {
  if (expansion == Expansion::kPlain) return;
  console.print("\nCompression is 'on', de-compress\n");
  console.print(expansion_result_line(expansion));
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

void print_packet(const PacketBuffer& buffer, Expansion expansion, Console& console) {
  print_expansion(expansion, console);
  const std::uint8_t* packet = buffer.data();
  console.print("Server id -> %S\n", packet::server_name(packet));
  print_kind_and_scheme(packet, console);
  const std::uint32_t timestamp = packet::timestamp(packet);
  console.print("Timestamp -> %d", static_cast<std::int32_t>(timestamp));
  console.print(" = %s", platform::local_date_text(timestamp));
  console.print("NumRecord -> %d\n", std::int32_t{packet::num_record(packet)});
  console.print("RecordSize -> %d\n\n", std::int32_t{packet::record_size(packet)});
  console.print("Encoding : %d\n", std::int32_t{packet::encoding(packet)});
  display_records(buffer, console);
}

}  // namespace feedwatch
