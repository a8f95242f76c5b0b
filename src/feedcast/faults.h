// Fault injection for testing the applications that consume the feed: the
// [Faults] section of feedcast.ini asks for datagrams that are lost, sent
// twice, cut short or changed, and for the parts of a message out of order.
// Every fault done is reported in one trace line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "feedcast/multipacket.h"
#include "feedcast/random_source.h"
#include "platform/profile.h"
#include "portable/settings.h"

namespace feedcast {

// The [Faults] settings, as read.
struct FaultSettings {
  std::int32_t drop_percent;       // chance that a datagram is not sent
  std::int32_t duplicate_percent;  // that it is sent twice in a row
  std::int32_t truncate_percent;   // that it is cut to a random length
  std::int32_t corrupt_percent;    // that one random byte of it is changed
  std::int32_t reorder_parts;      // nonzero: a message's parts go out in random order
  std::int32_t seed;               // 0: seeded from the clock
};

// The section of the fault settings.
inline constexpr std::string_view kFaultsSection = "Faults";

// The keys of section "Faults"; every one defaults to 0 (off).
inline constexpr portable::Setting<FaultSettings> kFaultSettings[] = {
    portable::integer_setting<&FaultSettings::drop_percent>("DropPercent", 0),
    portable::integer_setting<&FaultSettings::duplicate_percent>("DuplicatePercent", 0),
    portable::integer_setting<&FaultSettings::truncate_percent>("TruncatePercent", 0),
    portable::integer_setting<&FaultSettings::corrupt_percent>("CorruptPercent", 0),
    portable::integer_setting<&FaultSettings::reorder_parts>("ReorderParts", 0),
    portable::integer_setting<&FaultSettings::seed>("Seed", 0),
};

// Reads section "Faults".
template <class Reader>
FaultSettings read_fault_settings(const Reader& ini) {
  return portable::read_settings<FaultSettings>(ini, kFaultsSection, kFaultSettings);
}

// True when a fault is asked for that befalls single datagrams.
inline bool faults_datagrams(const FaultSettings& s) {
  return s.drop_percent > 0 || s.duplicate_percent > 0 || s.truncate_percent > 0 ||
         s.corrupt_percent > 0;
}

// What goes out for one datagram: `copies` sends (0 to 2) of `bytes`.
struct Shipment {
  Datagram bytes;
  int copies;
};

// The fault choices of a run, drawn from one random source seeded from Seed.
class FaultInjector {
 public:
  // Reads the settings again when the file's contents have changed since the
  // last call.  A Seed other than the one in use starts the choices afresh.
  void update(const platform::ProfileFile& ini);

  // The order in which the parts of `message` go out, as indices into it:
  // part order, or with ReorderParts a random order, reported in `lines`.
  std::span<const std::size_t> order(std::span<const Datagram> message, std::string& lines);

  // Draws the faults of one datagram, in the order drop, duplicate, truncate,
  // change, and returns what to send: `datagram` itself, or a changed copy
  // valid until the next call.  Each fault done appends its line to `lines`.
  Shipment shape(Datagram datagram, std::string& lines);

 private:
  // True with a chance of `percent` in 100; no draw for 0 or less.
  bool roll(std::int32_t percent);

  FaultSettings settings_{};
  bool any_ = false;  // some datagram fault is asked for
  std::optional<RandomSource> random_;
  std::uint32_t seed_ = 0;
  std::optional<std::uint64_t> version_;  // of the file contents last read
  std::vector<std::size_t> order_;
  std::vector<std::uint8_t> copy_;
};

}  // namespace feedcast
