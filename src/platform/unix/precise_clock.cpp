// The steady clock and precise waits on POSIX systems.
#include "platform/precise_clock.h"

#include <sched.h>
#include <time.h>

#include <cerrno>

namespace platform {
namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
// How long before a deadline a sleep ends: more than the system's usual
// oversleep, so that the last stretch is spent yielding.
constexpr std::int64_t kSleepMargin = 200'000;

}  // namespace

std::int64_t steady_nanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
}

void wait_until(std::int64_t deadline) {
  const std::int64_t wake = deadline - kSleepMargin;
  if (steady_nanoseconds() < wake) {
    const timespec at{static_cast<time_t>(wake / kNanosecondsPerSecond),
                      static_cast<long>(wake % kNanosecondsPerSecond)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
  }
  while (steady_nanoseconds() < deadline) sched_yield();
}

}  // namespace platform
