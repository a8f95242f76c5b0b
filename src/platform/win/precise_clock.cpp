// The steady clock and precise waits on Windows: the performance counter,
// Sleep while the deadline is further than the scheduler's tick, then
// yields.
#include "platform/precise_clock.h"

#include <windows.h>

namespace platform {
namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
// Sleep() may last up to a scheduler tick (15.6 ms by default) longer than
// asked: sleep only while the deadline is further than this.
constexpr std::int64_t kSleepMargin = 20'000'000;

std::int64_t counter_frequency() {
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}

}  // namespace

std::int64_t steady_nanoseconds() {
  static const std::int64_t frequency = counter_frequency();
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  const std::int64_t seconds = now.QuadPart / frequency;
  const std::int64_t rest = now.QuadPart % frequency;
  return seconds * kNanosecondsPerSecond + rest * kNanosecondsPerSecond / frequency;
}

void wait_until(std::int64_t deadline) {
  for (std::int64_t left = deadline - steady_nanoseconds(); left > 0;
       left = deadline - steady_nanoseconds()) {
    if (left > kSleepMargin) {
      Sleep(static_cast<DWORD>((left - kSleepMargin) / 1'000'000));
    } else {
      SwitchToThread();
    }
  }
}

}  // namespace platform
