// The record tables the generator sends, built from the kind's section of
// feedcast.ini: one key per field and record, the field's name followed by
// the record index in decimal (CallsAbandoned3).
#pragma once

#include <cstdint>

#include "feedcast/record_keys.h"
#include "packet/catalogue.h"
#include "platform/profile.h"

namespace feedcast {

// True when a table of `num_record` records is above the kind's inclusive limit.
inline bool exceeds_limit(const packet::Kind& kind, std::uint16_t num_record) {
  return num_record > kind.max_records;
}

// Writes records 0 to `num_record` - 1 of the kind into `record_area`: every
// keyed field from its key (default 0), and zero in the bytes that no key
// feeds.
void build_records(const packet::Kind& kind, const platform::ProfileFile& ini,
                   std::uint8_t* record_area, std::uint16_t num_record);

}  // namespace feedcast
