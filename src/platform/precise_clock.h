// A steady clock in nanoseconds and a wait for one of its instants that ends
// close to it: a sleep until shortly before, then yields until the instant,
// so that a schedule of many deadlines keeps to each one.
#pragma once

#include <cstdint>

namespace platform {

// Returns nanoseconds of a steady clock that no change of the calendar time
// moves; only differences between two readings mean something.
std::int64_t steady_nanoseconds();

// Returns once steady_nanoseconds() has reached `deadline`, at once when it
// already has.  Sleeps while the deadline is far, then gives up the
// processor in short turns until it is reached.
void wait_until(std::int64_t deadline);

}  // namespace platform
