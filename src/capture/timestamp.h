// Capture times: a count of a file's time units, turned into nanoseconds
// since 1970 exactly.
#pragma once

#include <cstdint>

namespace capture {

// A time resolution as pcapng's if_tsresol gives it: with the top bit clear,
// units of 10^-n seconds; with it set, units of 2^-n seconds (n the low 7 bits).
using Resolution = std::uint8_t;

// The time `units` of `resolution` after 1970-01-01 00:00:00 UTC, plus
// `offset_seconds`, in nanoseconds: exact, but for the fractions of a
// nanosecond that finer units carry, which are cut off.  A time beyond the
// range of 64 bits is held at its end.
std::int64_t to_nanoseconds(std::uint64_t units, Resolution resolution,
                            std::int64_t offset_seconds = 0);

}  // namespace capture
