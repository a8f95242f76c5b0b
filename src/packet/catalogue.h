// The message catalogue: the six statistic kinds, the two statistics schemes
// and the Stat Port Table that gives each kind/scheme pair its UDP port.
// Everything that differs from kind to kind is a fact of its Kind here.
#pragma once

#include <cstdint>
#include <string_view>

#include "packet/record_layouts.h"

namespace packet {

// The lowest and highest ports of the Stat Port Table, and their spacing.
inline constexpr int kFirstStatPort = 6020;
inline constexpr int kLastStatPort = 6130;
inline constexpr int kStatPortStep = 10;

// A record layout that the monitor reads in place of the kind's own when a
// packet's header carries this version.
struct VersionLayout {
  std::uint8_t release_number;
  std::uint8_t minor_version;
  const RecordLayout* layout;  // nullptr: the kind has no such layout
};

// The words of the generator's compression trace lines: "<done>
// successfully", "<step> complete".
struct CompressionWords {
  std::string_view done;
  std::string_view step;
};

// One statistic kind, as both programs know it.
struct Kind {
  std::uint8_t message_type;        // 1 to 6
  std::string_view section;         // the generator's configuration section
  std::string_view title;           // the monitor's kind text, "Skillset Statistics - "
  std::uint16_t record_size;        // RecordSize as the generator writes it
  std::uint16_t max_records;        // the generator's inclusive limit on NumRecord
  std::string_view limit_message;   // the generator's refusal of a larger table
  std::string_view scheme_message;  // the generator's refusal of a bad StatScheme
  const RecordLayout* layout;       // the record the generator writes and the monitor reads
  VersionLayout version_layout{};   // the monitor's other layout, for one version
  bool application_trace = false;   // the generator traces Encode and every App ID
  CompressionWords compression_words{"Compressed", "Compression"};

  // The layout with which the monitor reads this kind's records in a packet
  // of the given version.
  const RecordLayout& display_layout(std::uint8_t release_number,
                                     std::uint8_t minor_version) const {
    const VersionLayout& v = version_layout;
    const bool other = v.layout != nullptr && release_number == v.release_number &&
                       minor_version == v.minor_version;
    return other ? *v.layout : *layout;
  }

  // The Stat Port Table: the port of this kind under a valid scheme.
  int port(std::uint8_t stat_scheme) const {
    return kFirstStatPort + 20 * (message_type - 1) + kStatPortStep * stat_scheme;
  }
};

// Returns the kind with this MessageType, or nullptr outside 1 to 6.
const Kind* find_kind(long message_type);

// Returns the scheme's text as the monitor prints it ("Interval to Date\n"),
// or an empty view when the value is no scheme.
std::string_view scheme_text(long stat_scheme);

// Returns the scheme's name ("Interval to Date"), or an empty view when the
// value is no scheme.
inline std::string_view scheme_name(long stat_scheme) {
  const std::string_view text = scheme_text(stat_scheme);
  return text.substr(0, text.empty() ? 0 : text.size() - 1);  // without its line end
}

// True when the value is a statistics scheme (0 or 1).
inline bool is_stat_scheme(long stat_scheme) { return stat_scheme == 0 || stat_scheme == 1; }

// True for the twelve ports of the Stat Port Table: multiples of 10 from 6020 to 6130.
inline bool is_stat_port(long long port) {
  return port >= kFirstStatPort && port <= kLastStatPort && port % kStatPortStep == 0;
}

}  // namespace packet
