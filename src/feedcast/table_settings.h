// The keys of a kind's section besides its record keys: how many records the
// table has and whether it is compressed.  Read again for every message.
#pragma once

#include <cstdint>

#include "packet/catalogue.h"
#include "portable/settings.h"

namespace feedcast {

// The table settings of the kind's section, as read.
struct TableSettings {
  std::int32_t number;  // NumRecord: its low 16 bits
  std::int32_t encode;  // Encoding: its low 8 bits; 1 compresses the table
};

// The table keys, with their defaults and the header fields they go into.
inline constexpr portable::Setting<TableSettings> kTableSettings[] = {
    portable::integer_setting<&TableSettings::number>("Number", 0, "NumRecord"),
    portable::integer_setting<&TableSettings::encode>("Encode", 0, "Encoding"),
};

// Reads the table settings from the kind's section.
template <class Reader>
TableSettings read_table_settings(const Reader& ini, const packet::Kind& kind) {
  return portable::read_settings<TableSettings>(ini, kind.section, kTableSettings);
}

}  // namespace feedcast
