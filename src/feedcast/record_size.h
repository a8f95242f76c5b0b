// The size of the records the generator writes: the kind's own, or, for a
// kind that offers others (Agent), the one its section's RecordSize asks
// for, which must be the size the monitor reads at the configured release.
// Read once at start.
#pragma once

#include <cstdint>

#include "feedcast/sender_config.h"
#include "packet/catalogue.h"
#include "portable/result.h"
#include "portable/settings.h"

namespace feedcast {

// The record size setting, as read; 0 when absent.
struct RecordSizeSetting {
  std::int32_t record_size;
};

// The record size key of a kind that offers other sizes, with the header field it goes into.
inline constexpr portable::Setting<RecordSizeSetting> kRecordSizeSettings[] = {
    portable::integer_setting<&RecordSizeSetting::record_size>("RecordSize", 0, "RecordSize"),
};

// The size that the kind's section asks for in `ini` (a ProfileFile or a
// portable::ProfileText); 0 when absent or when the kind offers no other.
template <class Reader>
std::int32_t configured_record_size(const Reader& ini, const packet::Kind& kind) {
  if (kind.record_size_choices.empty()) return 0;
  return portable::read_settings<RecordSizeSetting>(ini, kind.section, kRecordSizeSettings)
      .record_size;
}

// The kind with records of `size` bytes and their layout whatever the
// release, for the keys of a file; the kind itself for a size it does not offer.
packet::Kind kind_of_keys(const packet::Kind& kind, std::int32_t size);

// Returns the kind as the generator writes it with records of `size` bytes
// (0: the kind's own): the kind itself for its own size, else a copy with
// that size and its layout; or the refusal of a size the kind does not
// offer or that the monitor does not read at the configured release.
portable::Result<packet::Kind> kind_with_record_size(const packet::Kind& kind,
                                                     const SenderConfig& config, std::int32_t size);

// The configured kind as the generator writes it, RecordSize read from its
// section in `ini` (a ProfileFile or a portable::ProfileText) where the
// kind offers other sizes; or the refusal of that RecordSize.
template <class Reader>
portable::Result<packet::Kind> sized_kind(const packet::Kind& kind, const SenderConfig& config,
                                          const Reader& ini) {
  return kind_with_record_size(kind, config, configured_record_size(ini, kind));
}

}  // namespace feedcast
