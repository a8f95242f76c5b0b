#include "feedcast/record_builder.h"

#include <cstring>

namespace feedcast {

// The section is walked once: each key that names a field of a record in the
// table fills it.
void build_records(const packet::Kind& kind, const platform::ProfileFile& ini,
                   std::uint8_t* record_area, std::uint16_t num_record) {
  std::memset(record_area, 0, std::size_t{num_record} * kind.record_size);
  RecordKeys keys(*kind.layout, ini.keys(kind.section), num_record);
  for (RecordKey key; keys.next(key);) {
    if (key.role == RecordKey::Role::kValue) store_record_value(kind, key, record_area);
  }
}

}  // namespace feedcast
