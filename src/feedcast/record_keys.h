// The record keys of a kind's section, walked once in file order: for each
// key line, the field and the record it names (the field's key stem followed
// by the record index in decimal, CallsAbandoned3) and what it does to the
// table.  The record builder, the values that move and the check of a file
// all take the keys from this one walk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "packet/catalogue.h"
#include "packet/record_layouts.h"
#include "portable/profile_text.h"

namespace feedcast {

// One key line of a kind's section, as the record table takes it.
struct RecordKey {
  enum class Role : std::uint8_t {
    kValue,      // the first key of its field in a record of the table: its value fills it
    kNoValue,    // the same without a value: the field stays 0
    kRepeat,     // a later key of a field and record that an earlier key named
    kPastTable,  // names a record at or past the table's end
    kNoField,    // names no keyed field (written otherwise, or no key stem at all)
  };
  const portable::ProfileKey* key;
  Role role;
  std::size_t field;  // into the layout's fields; not for kNoField
  unsigned index;     // the record; not for kNoField
};

// The walk through the keys of a section for a table of `num_record` records.
class RecordKeys {
 public:
  RecordKeys(const packet::RecordLayout& layout, std::span<const portable::ProfileKey> keys,
             std::uint16_t num_record);

  // Takes the next key line; false after the last.
  bool next(RecordKey& key);

 private:
  bool find(std::string_view name, std::size_t& field, unsigned& index);
  bool is_next(std::string_view name) const;
  void expect(std::size_t field, unsigned index);

  const packet::RecordLayout& layout_;
  std::span<const portable::ProfileKey> keys_;
  std::size_t at_ = 0;
  std::uint16_t num_record_;
  std::vector<bool> seen_;  // by record index x fields + field, as far as named
  // The key that usually comes next in a file in record order, as the
  // generator spells it: compared first, before any key is split.
  std::size_t next_field_ = 0;
  unsigned next_index_ = 0;
  char digits_[16] = {};
  std::size_t digit_count_ = 0;
};

// Writes the value of a key that fills its field (RecordKey::Role::kValue),
// read by the integer rule, into the kind's table at `table` by the field's
// storage rule.
void store_record_value(const packet::Kind& kind, const RecordKey& key, std::uint8_t* table);

}  // namespace feedcast
