#include "feedwatch/record_display.h"

#include <algorithm>
#include <array>

#include "packet/catalogue.h"
#include "packet/header.h"
#include "packet/record_layouts.h"

namespace feedwatch {
namespace {

constexpr std::string_view kSeparator =
    "               ************************************************\n\n";

void display_record(const std::uint8_t* record, const packet::RecordLayout& layout,
                    Console& console) {
  for (const packet::DisplayLine& line : layout.lines) {
    std::array<FormatArg, packet::kMaxLineFields> args;
    for (std::size_t i = 0; i < line.count; ++i) {
      args[i] = FormatArg(packet::shown_value(record, layout.fields[line.fields[i]]));
    }
    console.print_args(line.format, std::span(args).first(line.count));
  }
  console.print(kSeparator);
}

}  // namespace

const packet::RecordLayout* display_layout(const PacketBuffer& buffer) {
  const std::uint8_t* p = buffer.data();
  const packet::Kind* kind = packet::find_kind(packet::message_type(p));
  if (kind == nullptr) return nullptr;
  return &kind->display_layout(packet::release_number(p), packet::minor_version(p));
}

void display_records(const PacketBuffer& buffer, Console& console) {
  const packet::RecordLayout* layout = display_layout(buffer);
  if (layout == nullptr) return;
  const std::size_t count = shown_record_count(buffer, *layout);
  for (std::size_t i = 0; i < count; ++i) {
    display_record(buffer.data() + packet::kHeaderSize + i * layout->size, *layout, console);
  }
}

std::size_t shown_record_count(const PacketBuffer& buffer, const packet::RecordLayout& layout) {
  const std::size_t fit = (kPacketBufferSize - packet::kHeaderSize) / layout.size;
  return std::min<std::size_t>(packet::num_record(buffer.data()), fit);
}

}  // namespace feedwatch
