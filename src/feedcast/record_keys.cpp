#include "feedcast/record_keys.h"

#include <charconv>
#include <string_view>

#include "portable/profile_integer.h"

namespace feedcast {
namespace {

constexpr std::size_t kNoField = static_cast<std::size_t>(-1);

// Splits a key into its stem and its record index.  No key stem ends in a
// digit, so the index is the key's trailing digits; false unless they are
// written as the generator writes them, in decimal without leading zeros.
bool split_key(std::string_view name, std::string_view& stem, unsigned& index) {
  std::size_t digits = 0;
  while (digits < name.size() && name[name.size() - 1 - digits] >= '0' &&
         name[name.size() - 1 - digits] <= '9') {
    ++digits;
  }
  const std::string_view number = name.substr(name.size() - digits);
  if (digits == 0 || digits > 5 || (digits > 1 && number.front() == '0')) return false;
  stem = name.substr(0, name.size() - digits);
  index = 0;
  for (char c : number) index = index * 10 + static_cast<unsigned>(c - '0');
  return true;
}

// The keyed field named `stem`, or kNoField.
std::size_t find_field(const packet::RecordLayout& layout, std::string_view stem) {
  for (std::size_t f = 0; f < layout.fields.size(); ++f) {
    if (layout.fields[f].keyed && portable::same_name(layout.fields[f].name, stem)) return f;
  }
  return kNoField;
}

}  // namespace

RecordKeys::RecordKeys(const packet::RecordLayout& layout,
                       std::span<const portable::ProfileKey> keys, std::uint16_t num_record)
    : layout_(layout), keys_(keys), num_record_(num_record) {
  expect(0, 0);
}

// A field takes the value that a look-up of its key would find: that of the
// first of duplicate keys, and none from a key without one.
bool RecordKeys::next(RecordKey& key) {
  if (at_ == keys_.size()) return false;
  key.key = &keys_[at_++];
  key.field = 0;
  key.index = 0;
  if (!find(key.key->name, key.field, key.index)) {
    key.role = RecordKey::Role::kNoField;
  } else if (key.index >= num_record_) {
    key.role = RecordKey::Role::kPastTable;
  } else {
    const std::size_t slot = std::size_t{key.index} * layout_.fields.size() + key.field;
    if (slot >= seen_.size()) seen_.resize(slot + 1);
    key.role = seen_[slot]          ? RecordKey::Role::kRepeat
               : key.key->has_value ? RecordKey::Role::kValue
                                    : RecordKey::Role::kNoValue;
    seen_[slot] = true;
  }
  return true;
}

// Finds the field and the record that a key names.  Files usually list their
// keys in record order, so a key is first compared with the one that follows
// the last key found, spelt as the generator spells it; only other keys are
// split and looked for among the fields.
bool RecordKeys::find(std::string_view name, std::size_t& field, unsigned& index) {
  if (is_next(name)) {
    field = next_field_;
    index = next_index_;
  } else {
    std::string_view given;
    if (!split_key(name, given, index)) return false;
    field = find_field(layout_, given);
    if (field == kNoField) return false;
  }
  expect(field + 1, index);
  return true;
}

// True when `name` is the expected key as the generator spells it.
bool RecordKeys::is_next(std::string_view name) const {
  const std::string_view stem = layout_.fields[next_field_].name;
  if (name.size() != stem.size() + digit_count_) return false;
  for (std::size_t i = 0; i < digit_count_; ++i) {
    if (name[stem.size() + i] != digits_[i]) return false;
  }
  return name.starts_with(stem);
}

// Expects the first keyed field from `field` on in record `index`, or the
// first of the next record.
void RecordKeys::expect(std::size_t field, unsigned index) {
  while (field == layout_.fields.size() || !layout_.fields[field].keyed) {
    if (field == layout_.fields.size()) {
      field = 0;
      ++index;
    } else {
      ++field;
    }
  }
  next_field_ = field;
  if (digit_count_ == 0 || index != next_index_) {
    next_index_ = index;
    digit_count_ = static_cast<std::size_t>(
        std::to_chars(digits_, digits_ + sizeof digits_, index).ptr - digits_);
  }
}

void store_record_value(const packet::Kind& kind, const RecordKey& key, std::uint8_t* table) {
  const auto value = static_cast<std::uint32_t>(portable::profile_integer(key.key->value, 0));
  packet::store_field(table + std::size_t{key.index} * kind.record_size,
                      kind.layout->fields[key.field], value);
}

}  // namespace feedcast
