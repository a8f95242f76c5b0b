// The counters in the Prometheus text exposition format, version 0.0.4: the
// run's counters as feedwatch_..._total, and per stream (labels server, kind
// and scheme) its packets, duplicates, backward steps, gaps, last Timestamp,
// last arrival and a histogram of its intervals.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "feedwatch/live/counters.h"

namespace feedwatch {

// The media type of the format.
inline constexpr std::string_view kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

// Returns the exposition of `counters` of a monitor of version `version`
// whose live view skipped `skipped` messages.
std::string metrics_text(const MetricsSnapshot& counters, std::uint64_t skipped,
                         std::string_view version);

}  // namespace feedwatch
