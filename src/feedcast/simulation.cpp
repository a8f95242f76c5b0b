#include "feedcast/simulation.h"

#include <algorithm>
#include <cstring>

#include "feedcast/record_keys.h"

namespace feedcast {
namespace {

constexpr std::int64_t kLowest = -(std::int64_t{1} << 31);      // of a signed 32-bit field
constexpr std::int64_t kHighest = (std::int64_t{1} << 32) - 1;  // of an unsigned one
constexpr std::size_t kMostDigits = 10;

void skip_blanks(std::string_view& s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
}

// Reads a decimal number at the start of `s`, with an optional sign when
// `sign` is true, and takes it off `s`; false unless it has 1 to 10 digits
// and its value fits a 32-bit field, signed or unsigned.
bool read_number(std::string_view& s, bool sign, std::int64_t& value) {
  bool negative = false;
  if (sign && !s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  std::size_t digits = 0;
  std::int64_t n = 0;
  for (; digits < s.size() && s[digits] >= '0' && s[digits] <= '9'; ++digits) {
    if (digits == kMostDigits) return false;
    n = n * 10 + (s[digits] - '0');
  }
  s.remove_prefix(digits);
  value = negative ? -n : n;
  return digits > 0 && value >= kLowest && value <= kHighest;
}

}  // namespace

std::optional<ValueForm> parse_value_form(std::string_view text) {
  ValueForm form{};
  skip_blanks(text);
  if (!read_number(text, true, form.first)) return std::nullopt;
  skip_blanks(text);
  bool sign = true;
  if (text.starts_with("..")) {
    form.type = ValueForm::Type::kRange;
    text.remove_prefix(2);
  } else if (text.starts_with('+')) {
    form.type = ValueForm::Type::kCounter;
    text.remove_prefix(1);
    sign = false;
  } else {
    return std::nullopt;
  }
  skip_blanks(text);
  if (!read_number(text, sign, form.second)) return std::nullopt;
  skip_blanks(text);
  if (!text.empty()) return std::nullopt;
  if (form.type == ValueForm::Type::kRange && form.first > form.second) {
    std::swap(form.first, form.second);
  }
  return form;
}

Simulation::Simulation(std::uint32_t seed)
    : seed_(seed != 0 ? seed : clock_seed()), random_(seed_) {}

void Simulation::fill(const packet::Kind& kind, const platform::ProfileFile& ini,
                      std::uint8_t* record_area, std::uint16_t num_record) {
  step();
  if (kind_ == nullptr || ini.version() != version_) rebuild(kind, ini, num_record);
  std::memcpy(record_area, table_.data(), std::size_t{num_record} * kind.record_size);
}

// A range moves by a whole step from -s to +s and is reflected back into its
// bounds (s is at most a tenth of the range, so one reflection suffices; a
// range of one value has s = 0); a counter grows by 0 to MAX and wraps at
// 2^32.  Walkers draw one number each, in the order of their slots.
void Simulation::step() {
  for (Walker& w : walkers_) {
    const auto draw = static_cast<std::int64_t>(random_.below(w.choices));
    if (w.form.type == ValueForm::Type::kRange) {
      const std::int64_t low = w.form.first;
      const std::int64_t high = w.form.second;
      std::int64_t p = w.position + draw - static_cast<std::int64_t>(w.choices / 2);
      if (p > high) p = 2 * high - p;
      if (p < low) p = 2 * low - p;
      w.position = p;
    } else {
      w.position = (w.position + draw) & kHighest;
    }
    packet::store_field(table_.data() + w.record_offset, *w.field,
                        static_cast<std::uint32_t>(w.position));
  }
}

void Simulation::rebuild(const packet::Kind& kind, const platform::ProfileFile& ini,
                         std::uint16_t num_record) {
  kind_ = &kind;
  version_ = ini.version();
  table_.assign(std::size_t{kind.max_records} * kind.record_size, 0);
  placed_.clear();
  RecordKeys keys(*kind.layout, ini.keys(kind.section), num_record);
  for (RecordKey key; keys.next(key);) {
    if (key.role == RecordKey::Role::kValue && !place(key)) {
      store_record_value(kind, key, table_.data());
    }
  }
  // The section's order is the file's; the walkers step in the table's.
  std::sort(placed_.begin(), placed_.end(),
            [](const Walker& a, const Walker& b) { return a.slot < b.slot; });
  walkers_.swap(placed_);
  placed_.clear();
  walker_at_.assign(std::size_t{num_record} * kind.layout->fields.size(), 0);
  for (std::size_t i = 0; i < walkers_.size(); ++i) {
    walker_at_[walkers_[i].slot] = static_cast<std::uint32_t>(i + 1);
  }
}

// Takes a key that fills its field: when its value is one of the two forms,
// stores the walker's value in the table and returns true.
bool Simulation::place(const RecordKey& key) {
  const std::string_view text = key.key->value;
  const std::size_t slot = std::size_t{key.index} * kind_->layout->fields.size() + key.field;
  const std::uint32_t earlier = slot < walker_at_.size() ? walker_at_[slot] : 0;
  if (earlier != 0 && walkers_[earlier - 1].text == text) {
    placed_.push_back(std::move(walkers_[earlier - 1]));
  } else {
    const std::optional<ValueForm> form = parse_value_form(text);
    if (!form) return false;
    Walker w{std::string(text),
             slot,
             std::size_t{key.index} * kind_->record_size,
             &kind_->layout->fields[key.field],
             *form,
             0,
             form->first};
    if (form->type == ValueForm::Type::kRange) {
      const std::int64_t width = form->second - form->first;
      const std::int64_t s = width == 0 ? 0 : std::max<std::int64_t>(1, width / 10);
      w.choices = static_cast<std::uint64_t>(2 * s + 1);
    } else {
      w.choices = static_cast<std::uint64_t>(form->second) + 1;
      w.position &= kHighest;
    }
    placed_.push_back(std::move(w));
  }
  const Walker& w = placed_.back();
  packet::store_field(table_.data() + w.record_offset, *w.field,
                      static_cast<std::uint32_t>(w.position));
  return true;
}

}  // namespace feedcast
