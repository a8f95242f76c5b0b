#include "feedcast/doubts.h"

#include <algorithm>
#include <array>
#include <span>
#include <string_view>
#include <unordered_map>

#include "feedcast/faults.h"
#include "feedcast/multipacket.h"
#include "feedcast/nearest_name.h"
#include "feedcast/record_keys.h"
#include "feedcast/sender_config.h"
#include "feedcast/simulation.h"
#include "feedcast/table_settings.h"
#include "packet/catalogue.h"
#include "packet/datagram.h"
#include "packet/header.h"
#include "portable/profile_integer.h"

namespace feedcast {
namespace {

using portable::ProfileKey;
using portable::ProfileText;

// The most characters of a name or value that a doubt shows.
constexpr std::size_t kShownChars = 60;

// A name or value as a doubt shows it: control characters as \xNN, cut
// after kShownChars characters.
std::string shown(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size() && i < kShownChars; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
    } else {
      out += static_cast<char>(c);
    }
  }
  if (text.size() > kShownChars) out += "...";
  return out;
}

// `text` shown between `open` and `close`.
std::string enclosed(char open, std::string_view text, char close) {
  std::string out(1, open);
  out += shown(text);
  out += close;
  return out;
}

std::string quoted(std::string_view text) { return enclosed('"', text, '"'); }

std::string section_text(std::string_view name) { return enclosed('[', name, ']'); }

// The doubts found so far.
class Doubts {
 public:
  void add(std::uint32_t line, std::string text) { list_.push_back({line, std::move(text)}); }

  // A key that is none of the section's, with the nearest of `candidates`.
  void not_a_key(const ProfileKey& key, std::string_view section,
                 std::span<const std::string> candidates) {
    const std::string nearest = nearest_name(key.name, candidates);
    add(key.line, quoted(key.name) + " is not a key of " + section_text(section) +
                      (nearest.empty() ? "" : "; did you mean " + quoted(nearest) + "?"));
  }

  // The doubts in file order, those of the whole file first.
  std::vector<Doubt> take() {
    std::stable_sort(list_.begin(), list_.end(),
                     [](const Doubt& a, const Doubt& b) { return a.line < b.line; });
    return std::move(list_);
  }

 private:
  std::vector<Doubt> list_;
};

// The keys of one section seen so far, by name, for its repeated keys.
class SeenKeys {
 public:
  // True, with the doubt added, when an earlier key of the section has the
  // same name: the first one counts.
  bool repeat(const ProfileKey& key, Doubts& doubts) {
    std::string name(key.name);
    for (char& c : name) c = portable::ascii_lower(c);
    const auto [first, added] = lines_.try_emplace(std::move(name), key.line);
    if (added) return false;
    doubts.add(key.line, quoted(key.name) + " repeats line " + std::to_string(first->second) +
                             "; the first counts");
    return true;
  }

 private:
  std::unordered_map<std::string, std::uint32_t> lines_;
};

// The number a value sends into a field of `bits` bits: the field's bits,
// unsigned when it is narrower than 32, else signed as the monitor shows it.
std::string sent_number(std::int32_t value, unsigned bits) {
  if (bits >= 32) return std::to_string(value);
  return std::to_string(static_cast<std::uint32_t>(value) & ((1u << bits) - 1));
}

// A value read as an integer that goes into `field` of `bits` bits, or used
// whole (32 bits) when `field` is empty: read only in part, or too large.
void check_integer(const ProfileKey& key, std::string_view field, unsigned bits, Doubts& doubts) {
  if (key.value.empty()) return;  // the default
  const portable::ProfileIntegerReading r = portable::read_profile_integer(key.value);
  const std::string_view rest = key.value.substr(r.end);
  if (std::any_of(rest.begin(), rest.end(), [](char c) { return c > ' '; })) {
    doubts.add(key.line, quoted(key.value) + " is read as " + std::to_string(r.value));
    return;
  }
  const std::int64_t lowest = bits < 32 ? 0 : -(std::int64_t{1} << 31);
  const std::int64_t highest = (std::int64_t{1} << bits) - 1;
  if (r.whole >= lowest && r.whole <= highest) return;
  const std::string number(key.value.substr(r.start, r.end - r.start));
  if (field.empty()) {
    doubts.add(key.line,
               number + " does not fit 32 bits; it is read as " + std::to_string(r.value));
  } else {
    doubts.add(key.line, number + " does not fit the " + std::to_string(bits) + "-bit field " +
                             std::string(field) + "; " + sent_number(r.value, bits) + " is sent");
  }
}

// A text value longer than its buffer keeps, or than the header field it
// goes into.
void check_text(const ProfileKey& key, std::size_t buffer, std::string_view field, Doubts& doubts) {
  if (!field.empty()) {
    const std::size_t units = packet::find_header_field(field)->width / 2u;
    if (key.value.size() <= units) return;
    doubts.add(key.line, quoted(key.value) + " does not fit the " + std::to_string(units) +
                             "-character field " + std::string(field) + "; " +
                             quoted(key.value.substr(0, units)) + " is sent");
  } else if (key.value.size() >= buffer) {
    doubts.add(key.line, quoted(key.value) + " is longer than " + std::to_string(buffer - 1) +
                             " characters; " + quoted(key.value.substr(0, buffer - 1)) +
                             " is read");
  }
}

void no_value(const ProfileKey& key, Doubts& doubts) {
  doubts.add(key.line, quoted(key.name) + " has no \"=\" and no value; it reads as missing");
}

template <class Target>
const portable::Setting<Target>* find_setting(std::span<const portable::Setting<Target>> settings,
                                              std::string_view name) {
  for (const portable::Setting<Target>& s : settings) {
    if (portable::same_name(s.name, name)) return &s;
  }
  return nullptr;
}

template <class Target>
std::vector<std::string> setting_names(std::span<const portable::Setting<Target>> settings) {
  std::vector<std::string> names;
  for (const portable::Setting<Target>& s : settings) names.emplace_back(s.name);
  return names;
}

// The first key of a setting: its value as the setting reads it.
template <class Target>
void check_setting(const ProfileKey& key, const portable::Setting<Target>& setting,
                   Doubts& doubts) {
  if (!key.has_value) {
    no_value(key, doubts);
  } else if (setting.text != nullptr) {
    check_text(key, setting.buffer, setting.field, doubts);
  } else {
    const packet::HeaderField* field = packet::find_header_field(setting.field);
    check_integer(key, setting.field, field != nullptr ? 8u * field->width : 32u, doubts);
  }
}

// A section whose every key is a setting of `settings`.
template <class Target>
void check_settings_section(const ProfileText& text, std::string_view section,
                            std::span<const portable::Setting<Target>> settings, Doubts& doubts) {
  SeenKeys seen;
  const std::vector<std::string> names = setting_names(settings);
  for (const ProfileKey& key : text.keys(section)) {
    if (seen.repeat(key, doubts)) continue;
    if (const portable::Setting<Target>* s = find_setting(settings, key.name)) {
      check_setting(key, *s, doubts);
    } else {
      doubts.not_a_key(key, section, names);
    }
  }
}

// The keys that a key of a kind's section may have been meant as: the table
// keys, and every key stem with the record index that the key ends in.
std::vector<std::string> kind_key_names(const packet::Kind& kind, std::string_view name) {
  std::vector<std::string> names = setting_names<TableSettings>(kTableSettings);
  std::size_t digits = name.size();
  while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
  std::string_view index = name.substr(digits);
  while (index.size() > 1 && index.front() == '0') index.remove_prefix(1);
  for (const packet::Field& f : kind.layout->fields) {
    if (f.keyed) names.push_back(std::string(f.name) + std::string(index.empty() ? "0" : index));
  }
  return names;
}

// The value of a record key that fills its field.
void check_record_value(const ProfileKey& key, const packet::Field& field, bool simulate,
                        Doubts& doubts) {
  const unsigned bits = std::min(8u * field.width, 32u);
  if (parse_value_form(key.value)) {
    if (simulate) return;
    doubts.add(key.line, quoted(key.value) + " moves only with Simulate=1; " +
                             sent_number(portable::profile_integer(key.value, 0), bits) +
                             " is sent");
    return;
  }
  check_integer(key, field.name, bits, doubts);
}

// The line of a key of a section, or 0 when it is missing.
std::uint32_t line_of(const ProfileText& text, std::string_view section, std::string_view key) {
  const ProfileKey* k = text.find(section, key);
  return k != nullptr ? k->line : 0;
}

// The table as a whole: its size against the kind's limit and a datagram's,
// and its Encoding.
void check_table(const ProfileText& text, const packet::Kind& kind, const SenderConfig& config,
                 const TableSettings& table, Doubts& doubts) {
  const auto num_record = static_cast<std::uint16_t>(table.number);
  const std::uint32_t number_line = line_of(text, kind.section, "Number");
  if (num_record > kind.max_records) {
    doubts.add(number_line, "Number " + std::to_string(num_record) + " is above the " +
                                std::string(kind.section) + " limit of " +
                                records_text(kind.max_records));
    return;
  }
  const auto encoding = static_cast<std::uint8_t>(table.encode);
  if (encoding > 1) {
    doubts.add(line_of(text, kind.section, "Encode"),
               "Encoding " + std::to_string(encoding) +
                   " is no compression: the table goes out plain, and a monitor fails to "
                   "expand it");
  }
  const std::int32_t most = config.max_records_per_packet;
  const std::uint32_t parts = part_count(num_record, most);
  if (parts > kMaxParts) return;  // refused
  const std::uint32_t records = parts == 1 ? num_record : static_cast<std::uint32_t>(most);
  const std::size_t largest = packet::kHeaderSize + std::size_t{records} * kind.record_size;
  if (largest <= packet::kMaxDatagramSize) return;
  const bool sliced = parts > 1;
  doubts.add(
      sliced ? line_of(text, kMCastSection, "MaxRecordsPerPacket") : number_line,
      std::string(sliced ? "MaxRecordsPerPacket " : "Number ") + std::to_string(records) +
          " makes " + std::to_string(largest) + "-byte datagrams, above the " +
          std::to_string(packet::kMaxDatagramSize) +
          " bytes UDP carries, so a run fails to send them; MaxRecordsPerPacket=" +
          std::to_string((packet::kMaxDatagramSize - packet::kHeaderSize) / kind.record_size) +
          " fits");
}

// The configured kind's section: its table keys and its record keys.
void check_kind_section(const ProfileText& text, const packet::Kind& kind,
                        const SenderConfig& config, Doubts& doubts) {
  const TableSettings table = read_table_settings(text, kind);
  const auto num_record = static_cast<std::uint16_t>(table.number);
  SeenKeys seen;
  RecordKeys records(*kind.layout, text.keys(kind.section), num_record);
  for (RecordKey r; records.next(r);) {
    const ProfileKey& key = *r.key;
    if (seen.repeat(key, doubts)) continue;
    switch (r.role) {
      case RecordKey::Role::kValue:
        check_record_value(key, kind.layout->fields[r.field], config.simulate == 1, doubts);
        break;
      case RecordKey::Role::kNoValue: no_value(key, doubts); break;
      case RecordKey::Role::kPastTable:
        doubts.add(key.line, quoted(key.name) + " is past Number (" + records_text(num_record) +
                                 "); it is not sent");
        break;
      case RecordKey::Role::kNoField:
        if (const auto* s = find_setting<TableSettings>(kTableSettings, key.name)) {
          check_setting(key, *s, doubts);
        } else {
          doubts.not_a_key(key, kind.section, kind_key_names(kind, key.name));
        }
        break;
      case RecordKey::Role::kRepeat: break;  // named by `seen`
    }
  }
  check_table(text, kind, config, table, doubts);
}

// The sections that feedcast knows, the read ones first.
std::vector<std::string> section_names(const packet::Kind* kind) {
  std::vector<std::string> names{std::string(kMCastSection), std::string(kFaultsSection)};
  if (kind != nullptr) names.emplace_back(kind->section);
  for (long type = 1; const packet::Kind* k = packet::find_kind(type); ++type) {
    if (k != kind) names.emplace_back(k->section);
  }
  return names;
}

bool is_one_of(std::string_view name, std::span<const std::string> names) {
  return std::any_of(names.begin(), names.end(),
                     [name](const std::string& n) { return portable::same_name(n, name); });
}

// The file's lines outside the sections' keys: section lines, keys before
// any section, section lines without "]", and the sections missing.
void check_layout(const ProfileText& text, const packet::Kind* kind, Doubts& doubts) {
  const std::vector<std::string> known = section_names(kind);
  const std::span<const std::string> read = std::span(known).first(kind != nullptr ? 3 : 2);
  for (const portable::ProfileSection& s : text.sections()) {
    if (!is_one_of(s.name, known)) {
      const std::string nearest = nearest_name(s.name, known);
      doubts.add(s.line,
                 "section " + section_text(s.name) + " is not read" +
                     (nearest.empty() ? "" : "; did you mean " + section_text(nearest) + "?"));
    } else if (s.repeats != 0 && is_one_of(s.name, read)) {
      doubts.add(s.line, "section " + section_text(s.name) + " repeats line " +
                             std::to_string(s.repeats) + "; its keys are not read");
    }
  }
  for (const std::uint32_t line : text.unclosed_section_lines()) {
    doubts.add(line,
               "a section line without \"]\" is ignored; the keys after it stay in the "
               "section before it");
  }
  for (const ProfileKey& key : text.keys_outside_sections()) {
    if (key.has_value)
      doubts.add(key.line, quoted(key.name) + " stands before any section and is not read");
  }
  if (std::none_of(read.begin(), read.end(),
                   [&text](const std::string& name) { return text.contains(name); })) {
    std::string names;
    for (const std::string& name : read) names += (names.empty() ? "" : ", ") + section_text(name);
    doubts.add(0, "no section that feedcast reads appears (" + names +
                      "): every value is a default, and a run sends empty tables");
  } else if (kind != nullptr && !text.contains(kind->section)) {
    doubts.add(0, "section " + section_text(kind->section) +
                      " does not appear: every packet carries an empty table");
  }
}

}  // namespace

std::string records_text(std::uint32_t count) {
  return std::to_string(count) + (count == 1 ? " record" : " records");
}

std::vector<Doubt> find_doubts(const ProfileText& text) {
  Doubts doubts;
  const SenderConfig config = read_sender_config(text);
  const packet::Kind* kind = packet::find_kind(config.message_type);
  check_layout(text, kind, doubts);
  check_settings_section<SenderConfig>(text, kMCastSection, kMCastSettings, doubts);
  check_settings_section<FaultSettings>(text, kFaultsSection, kFaultSettings, doubts);
  if (kind != nullptr) check_kind_section(text, *kind, config, doubts);
  return doubts.take();
}

}  // namespace feedcast
