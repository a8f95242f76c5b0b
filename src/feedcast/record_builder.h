// The record tables the generator sends, built from the kind's section of
// feedcast.ini: one key per field and record, the field's name followed by
// the record index in decimal (CallsAbandoned3).
#pragma once

#include <cstdint>

#include "packet/catalogue.h"
#include "platform/profile.h"

namespace feedcast {

// True when a table of `num_record` records is above the kind's inclusive limit.
inline bool exceeds_limit(const packet::Kind& kind, std::uint16_t num_record) {
  return num_record > kind.max_records;
}

class Simulation;

// Writes records 0 to `num_record` - 1 of the kind into `record_area`: every
// keyed field from its key (default 0) by the field's storage rule, and zero
// in the bytes that no key feeds.  With a `simulation`, each value is first
// offered to it, which places the values that move.
void build_records(const packet::Kind& kind, const platform::ProfileFile& ini,
                   std::uint8_t* record_area, std::uint16_t num_record,
                   Simulation* simulation = nullptr);

}  // namespace feedcast
