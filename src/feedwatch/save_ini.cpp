#include "feedwatch/save_ini.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "feedcast/record_size.h"
#include "feedcast/sender_config.h"
#include "feedcast/table_settings.h"
#include "packet/catalogue.h"
#include "platform/system.h"

namespace feedwatch {
namespace {

// The record area of a packet that the generator can send again, or nullptr.
const std::uint8_t* sendable_records(const std::uint8_t* packet, std::size_t length,
                                     Expansion expansion, std::size_t expanded) {
  const packet::Kind* kind = packet::find_kind(packet::message_type(packet));
  if (kind == nullptr || !packet::is_stat_scheme(packet::stat_scheme(packet))) return nullptr;
  if (expansion != Expansion::kPlain && expansion != Expansion::kExpanded) return nullptr;
  if (kind->written_layout(packet::record_size(packet)) == nullptr) return nullptr;
  const std::size_t area =
      expansion == Expansion::kPlain ? length - std::min(length, packet::kHeaderSize) : expanded;
  const std::size_t needed = std::size_t{packet::num_record(packet)} * packet::record_size(packet);
  return area >= needed ? packet + packet::kHeaderSize : nullptr;
}

// True when a later part belongs to the table that its first part began.
bool continues(const SavedTable& table, const std::uint8_t* packet) {
  return packet::message_type(packet) == packet::message_type(table.header.data()) &&
         packet::record_size(packet) == table.record_size &&
         packet::num_record(packet) <= table.max_per_packet;
}

// One "key=value" line.
void add_line(std::string& text, std::string_view key, const std::string& value) {
  text.append(key);
  text += '=';
  text += value;
  text += '\n';
}

// A header number as the generator's integer rule reads it back.
std::string header_number(const SavedTable& table, const packet::HeaderField& field) {
  return std::to_string(packet::read_number(table.header.data(), field));
}

// The server name as the generator reads it: one byte per UTF-16 unit, in
// quotes so that blanks at its ends stay; a unit that no byte of a line can
// carry is written as '?'.
std::string server_name_value(const SavedTable& table) {
  std::string value = "\"";
  for (const char16_t unit : packet::server_name(table.header.data())) {
    const bool fits = unit <= 0xFF && unit != u'\n' && unit != u'\r';
    value += fits ? static_cast<char>(static_cast<unsigned char>(unit)) : '?';
  }
  return value + '"';
}

// A record field's value as the generator stores it back: hexadecimal for a
// field shown in hexadecimal, else signed decimal of its 32 bits.
std::string field_value(const std::uint8_t* record, const packet::Field& field) {
  const std::uint32_t value = packet::stored_value(record, field);
  if (field.shown == packet::Shown::kHex || field.shown == packet::Shown::kHexFirstByte) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(value));
    return hex;
  }
  return std::to_string(static_cast<std::int32_t>(value));
}

}  // namespace

void SavedTables::take(const std::uint8_t* packet, std::size_t length, Expansion expansion,
                       std::size_t expanded, const MessagePart* part) {
  if (part == nullptr || part->part == 1) {
    pending_.clear();
    broken_ = false;
  }
  const std::uint8_t* records = sendable_records(packet, length, expansion, expanded);
  if (records == nullptr) {
    broken_ = true;
  } else if (!broken_) {
    const std::size_t bytes = std::size_t{packet::num_record(packet)} * packet::record_size(packet);
    pending_.emplace_back(packet, records + bytes);
  }
  if (broken_ || (part != nullptr && part->part != part->of)) return;
  std::optional<SavedTable> whole = assemble(part != nullptr);
  pending_.clear();
  if (!whole) return;
  const std::uint8_t type = packet::message_type(whole->header.data());
  if (!last_[type]) kinds_.push_back(type);
  last_[type] = std::move(whole);
}

// The table of the packets pending, in PacketNumber order for the parts of
// a message, which must be numbered 1 to their count; nothing when they do
// not make one table.
std::optional<SavedTable> SavedTables::assemble(bool parts) {
  if (parts) {
    std::stable_sort(pending_.begin(), pending_.end(), [](const Bytes& a, const Bytes& b) {
      return packet::packet_number(a.data()) < packet::packet_number(b.data());
    });
  }
  SavedTable table;
  std::copy_n(pending_.front().begin(), packet::kHeaderSize, table.header.begin());
  table.record_size = packet::record_size(table.header.data());
  table.max_per_packet = parts ? packet::num_record(table.header.data()) : 0;
  for (std::size_t n = 0; n < pending_.size(); ++n) {
    const std::uint8_t* p = pending_[n].data();
    if (parts && (packet::packet_number(p) != n + 1 || !continues(table, p))) return std::nullopt;
    table.records.insert(table.records.end(), pending_[n].begin() + packet::kHeaderSize,
                         pending_[n].end());
    table.num_record += packet::num_record(p);
  }
  return table;
}

const SavedTable* SavedTables::table(std::uint8_t message_type) const {
  return message_type < last_.size() && last_[message_type] ? &*last_[message_type] : nullptr;
}

std::string saved_table_text(const SavedTable& table) {
  using feedcast::SenderConfig;
  using portable::setting_name;
  constexpr std::span<const portable::Setting<SenderConfig>> mcast(feedcast::kMCastSettings);
  const packet::Kind& kind = *packet::find_kind(packet::message_type(table.header.data()));
  std::string text = "[" + std::string(feedcast::kMCastSection) + "]\n";
  add_line(text, setting_name<&SenderConfig::message_type>(mcast),
           header_number(table, packet::header_field("MessageType")));
  add_line(text, setting_name<&SenderConfig::stat_scheme>(mcast),
           header_number(table, packet::header_field("StatScheme")));
  add_line(text, setting_name<&SenderConfig::server_name>(mcast), server_name_value(table));
  add_line(text, setting_name<&SenderConfig::release_number>(mcast),
           header_number(table, packet::header_field("ReleaseNumber")));
  add_line(text, setting_name<&SenderConfig::minor_version>(mcast),
           header_number(table, packet::header_field("MinorVersion")));
  add_line(text, setting_name<&SenderConfig::build_number>(mcast),
           header_number(table, packet::header_field("BuildNumber")));
  if (table.max_per_packet != 0) {
    add_line(text, setting_name<&SenderConfig::max_records_per_packet>(mcast),
             std::to_string(table.max_per_packet));
  }
  text += "\n[" + std::string(kind.section) + "]\n";
  const std::span<const portable::Setting<feedcast::TableSettings>> settings(
      feedcast::kTableSettings);
  add_line(text, setting_name<&feedcast::TableSettings::number>(settings),
           std::to_string(table.num_record));
  add_line(text, setting_name<&feedcast::TableSettings::encode>(settings),
           header_number(table, packet::header_field("Encoding")));
  if (!kind.record_size_choices.empty()) {
    add_line(text,
             setting_name<&feedcast::RecordSizeSetting::record_size>(
                 std::span<const portable::Setting<feedcast::RecordSizeSetting>>(
                     feedcast::kRecordSizeSettings)),
             std::to_string(table.record_size));
  }
  const packet::RecordLayout& layout = *kind.written_layout(table.record_size);
  for (std::uint32_t r = 0; r < table.num_record; ++r) {
    const std::uint8_t* record = table.records.data() + std::size_t{r} * table.record_size;
    const std::string index = std::to_string(r);
    for (const packet::Field& field : layout.fields) {
      if (field.keyed) add_line(text, std::string(field.name) + index, field_value(record, field));
    }
  }
  return text;
}

std::string saved_table_path(const std::string& file, std::size_t n, std::uint8_t message_type) {
  if (n == 0) return file;
  std::string kind(packet::find_kind(message_type)->section);
  for (char& c : kind) c = portable::ascii_lower(c);
  const std::filesystem::path path(file);
  std::filesystem::path sibling = path;
  sibling.replace_filename(path.stem().string() + "-" + kind + ".ini");
  return sibling.string();
}

portable::Result<void> write_saved_tables(const SavedTables& tables, const std::string& file) {
  const std::vector<std::uint8_t>& kinds = tables.kinds();
  for (std::size_t n = 0; n < kinds.size(); ++n) {
    const std::string path = saved_table_path(file, n, kinds[n]);
    const std::string text = saved_table_text(*tables.table(kinds[n]));
    std::FILE* out = std::fopen(path.c_str(), "w");
    int error = out == nullptr ? platform::last_error() : 0;
    if (out != nullptr) {
      if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
        error = platform::write_error();
      }
      if (std::fclose(out) != 0 && error == 0) error = platform::write_error();
    }
    if (error != 0) {
      return portable::Failure{"cannot write " + path + ": " + platform::error_text(error)};
    }
  }
  return {};
}

}  // namespace feedwatch
