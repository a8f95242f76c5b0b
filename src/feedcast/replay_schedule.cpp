#include "feedcast/replay_schedule.h"

#include <cmath>

namespace feedcast {
namespace {

constexpr std::int64_t kOneSecond = 1'000'000'000;

std::int64_t pass_length_of(const CaptureSpan& span) {
  if (span.datagrams < 2) return kOneSecond;
  const std::int64_t length = span.length();
  return length + length / static_cast<std::int64_t>(span.datagrams - 1);
}

}  // namespace

ReplaySchedule::ReplaySchedule(const CaptureSpan& span, double speed, std::int64_t start)
    : first_ns_(span.first_ns), pass_length_(pass_length_of(span)), speed_(speed), start_(start) {}

std::int64_t ReplaySchedule::deadline(std::uint64_t pass, std::int64_t time_ns) const {
  if (speed_ <= 0) return start_;
  const long double offset =
      static_cast<long double>(pass) * pass_length_ + static_cast<long double>(time_ns - first_ns_);
  return start_ + static_cast<std::int64_t>(std::llround(offset / speed_));
}

}  // namespace feedcast
