// The message catalogue: the six statistic kinds, the two statistics schemes
// and the Stat Port Table that gives each kind/scheme pair its UDP port.
#pragma once

#include <cstdint>
#include <string_view>

#include "packet/record_layouts.h"

namespace packet {

// One statistic kind, as both programs know it.
struct Kind {
  std::uint8_t message_type;         // 1 to 6
  std::string_view section;          // the generator's configuration section
  std::string_view title;            // the monitor's kind text, "Skillset Statistics - "
  std::uint16_t record_size;         // RecordSize as the generator writes it
  std::uint16_t max_records;         // the generator's inclusive limit on NumRecord
  std::string_view limit_message;    // the generator's refusal of a larger table
  std::string_view scheme_message;   // the generator's refusal of a bad StatScheme
  const RecordLayout* layout;        // the record as the generator writes it
};

// The lowest and highest ports of the Stat Port Table, and their spacing.
inline constexpr int kFirstStatPort = 6020;
inline constexpr int kLastStatPort = 6130;
inline constexpr int kStatPortStep = 10;

// The group both programs use when their configuration names none.
inline constexpr std::string_view kDefaultGroup = "235.5.6.7";

// Returns the kind with this MessageType, or nullptr outside 1 to 6.
const Kind* find_kind(long message_type);

// Returns the scheme's text as the monitor prints it ("Interval to Date\n"),
// or an empty view when the value is no scheme.
std::string_view scheme_text(long stat_scheme);

// True when the value is a statistics scheme (0 or 1).
inline bool is_stat_scheme(long stat_scheme) { return stat_scheme == 0 || stat_scheme == 1; }

// The Stat Port Table: the port of a valid kind and scheme.
inline int stat_port(std::uint8_t message_type, std::uint8_t stat_scheme) {
  return kFirstStatPort + 20 * (message_type - 1) + kStatPortStep * stat_scheme;
}

// True for the twelve ports of the Stat Port Table: multiples of 10 from 6020 to 6130.
inline bool is_stat_port(long long port) {
  return port >= kFirstStatPort && port <= kLastStatPort && port % kStatPortStep == 0;
}

}  // namespace packet
