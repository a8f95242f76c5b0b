#include "wire_tables.h"

#include <string>

#include "feedwatch/packet_buffer.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "packet/record_layouts.h"

namespace dissector {
namespace {

using nlohmann::ordered_json;

const char* shown_name(packet::HeaderShown shown) {
  switch (shown) {
    case packet::HeaderShown::kText: return "text";
    case packet::HeaderShown::kDecimal: return "decimal";
    case packet::HeaderShown::kHex: return "hex";
    case packet::HeaderShown::kNamed: return "named";
    case packet::HeaderShown::kTime: return "time";
    case packet::HeaderShown::kHidden: return "hidden";
  }
  return "";
}

const char* shown_name(packet::Shown shown) {
  switch (shown) {
    case packet::Shown::kDecimal: return "decimal";
    case packet::Shown::kHex: return "hex";
    case packet::Shown::kHexFirstByte: return "hex_first_byte";
    case packet::Shown::kHidden: return "hidden";
  }
  return "";
}

const char* order_name(packet::ByteOrder order) {
  switch (order) {
    case packet::ByteOrder::kBig: return "big";
    case packet::ByteOrder::kLittle: return "little";
  }
  return "";
}

ordered_json header() {
  ordered_json fields = ordered_json::array();
  for (const packet::HeaderField& f : packet::kHeaderFields) {
    fields.push_back({{"name", f.name},
                      {"offset", f.offset},
                      {"width", f.width},
                      {"shown", shown_name(f.shown)}});
  }
  // The identifier is ASCII, one character per code unit.
  const std::string identifier(packet::kHeaderIdentifier.begin(), packet::kHeaderIdentifier.end());
  return {{"size", packet::kHeaderSize}, {"identifier", identifier}, {"fields", fields}};
}

ordered_json layout(const packet::RecordLayout& layout) {
  ordered_json fields = ordered_json::array();
  for (const packet::Field& f : layout.fields) {
    fields.push_back({{"name", f.name},
                      {"label", f.label},
                      {"offset", f.offset},
                      {"width", f.width},
                      {"order", order_name(f.order)},
                      {"shown", shown_name(f.shown)},
                      {"keyed", f.keyed}});
  }
  return {{"name", layout.name}, {"size", layout.size}, {"fields", fields}};
}

ordered_json kind(const packet::Kind& k) {
  ordered_json entry = {{"message_type", k.message_type},
                        {"name", k.section},
                        {"title", k.title},
                        {"record_size", k.record_size},
                        {"layout", layout(*k.layout)}};
  const packet::VersionLayout& v = k.version_layout;
  if (v.layout != nullptr) {
    entry["version_layout"] = {{"release_number", v.release_number},
                               {"minor_version", v.minor_version},
                               {"layout", layout(*v.layout)}};
  }
  return entry;
}

}  // namespace

ordered_json wire_tables() {
  ordered_json schemes = ordered_json::array();
  for (int scheme = 0; packet::is_stat_scheme(scheme); ++scheme) {
    schemes.push_back({{"stat_scheme", scheme}, {"name", packet::scheme_name(scheme)}});
  }
  ordered_json kinds = ordered_json::array();
  ordered_json ports = ordered_json::array();
  for (int type = 1; const packet::Kind* k = packet::find_kind(type); ++type) {
    kinds.push_back(kind(*k));
    for (int scheme = 0; packet::is_stat_scheme(scheme); ++scheme) {
      const auto s = static_cast<std::uint8_t>(scheme);
      ports.push_back({{"message_type", type}, {"stat_scheme", scheme}, {"port", k->port(s)}});
    }
  }
  return {{"header", header()},
          {"monitor_buffer_size", feedwatch::kPacketBufferSize},
          {"schemes", schemes},
          {"kinds", kinds},
          {"stat_ports", ports}};
}

}  // namespace dissector
