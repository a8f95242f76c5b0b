#include "support/json_display.h"

#include <array>
#include <regex>

#include "feedwatch/console_output.h"
#include "packet/catalogue.h"
#include "packet/record_layouts.h"
#include "platform/system.h"

namespace test_support {
namespace {

using feedwatch::FormatArg;

std::string formatted(std::string_view format, std::initializer_list<FormatArg> args) {
  std::string out;
  feedwatch::append_formatted(out, format, std::span(args.begin(), args.size()));
  return out;
}

std::uint32_t u32(const nlohmann::ordered_json& v) { return v.get<std::uint32_t>(); }

std::string records_text(const nlohmann::ordered_json& packet) {
  const nlohmann::ordered_json& h = packet["header"];
  const packet::Kind* kind = packet::find_kind(h["MessageType"].get<std::uint8_t>());
  std::string text;
  if (kind == nullptr) return text;
  const packet::RecordLayout* layout = &kind->display_layout(
      h["ReleaseNumber"].get<std::uint8_t>(), h["MinorVersion"].get<std::uint8_t>());
  for (const nlohmann::ordered_json& record : packet["records"]) {
    for (const packet::DisplayLine& line : layout->lines) {
      std::array<FormatArg, packet::kMaxLineFields> args;
      for (std::size_t i = 0; i < line.count; ++i) {
        const packet::Field& field = layout->fields[line.fields[i]];
        const nlohmann::ordered_json& value = record.at(std::string(field.name));
        args[i] = field.shown == packet::Shown::kDecimal ? FormatArg(value.get<std::int32_t>())
                                                        : FormatArg(value.get<std::uint32_t>());
      }
      feedwatch::append_formatted(text, line.format, std::span(args).first(line.count));
    }
    text += "               ************************************************\n\n";
  }
  return text;
}

}  // namespace

std::string text_from_json(const nlohmann::ordered_json& packet) {
  const nlohmann::ordered_json& h = packet["header"];
  std::string text;
  if (packet.contains("message")) {
    text += formatted("\nPrint packet %d:\n", {static_cast<std::int32_t>(packet["message"]["part"].get<int>())});
  } else {
    text += "Packet header id -> " + h["HeaderId"].get<std::string>() + "\n";
    text += formatted("Reserve bytes -> %x;%x;%x;%x\n", {u32(h["PacketNumber"]), u32(h["PacketCount"]),
                                                          u32(h["Reserved1"]), u32(h["Reserved2"])});
    text += formatted("Version -> %d;%d;%d\n", {static_cast<std::int32_t>(u32(h["ReleaseNumber"])),
                                               static_cast<std::int32_t>(u32(h["MinorVersion"])),
                                               static_cast<std::int32_t>(u32(h["BuildNumber"]))});
    text += "\nPrint single packet:\n";
  }
  const nlohmann::ordered_json& expansion = packet["expansion"];
  if (!expansion.is_null()) {
    text += "\nCompression is 'on', de-compress\n";
    text += expansion == "expanded" ? "\nCompression was ON - data uncompressed successfully.\n"
            : expansion == "no room" ? "\nCompression was ON - not enough room in the output buffer\n"
                                     : "\nCompression was ON - input data was corrupted or incomplete.\n";
  }
  text += "Server id -> " + h["ServerName"].get<std::string>() + "\n";
  text += packet["kind"].is_null() ? formatted("Invalid Msg Type -> %x\n", {u32(h["MessageType"])})
                                   : packet["kind"].get<std::string>() + " Statistics - ";
  text += packet["scheme"].is_null() ? formatted("Invalid StatScheme -> %x\n", {u32(h["StatScheme"])})
                                     : packet["scheme"].get<std::string>() + "\n";
  const std::uint32_t timestamp = u32(h["Timestamp"]);
  text += formatted("Timestamp -> %d = ", {static_cast<std::int32_t>(timestamp)}) +
          platform::local_date_text(timestamp);
  text += formatted("NumRecord -> %d\nRecordSize -> %d\n\nEncoding : %d\n",
                    {static_cast<std::int32_t>(u32(h["NumRecord"])),
                     static_cast<std::int32_t>(u32(h["RecordSize"])),
                     static_cast<std::int32_t>(u32(h["Encoding"]))});
  return text + records_text(packet);
}

std::string without_storing_lines(const std::string& text) {
  static const std::regex storing(
      "Packet header id -> [^\n]*\nReserve bytes -> [^\n]*\nVersion -> [^\n]*\n"
      "Storing Multipacket - [^\n]*\n");
  return std::regex_replace(text, storing, "");
}

}  // namespace test_support
