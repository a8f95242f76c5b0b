// --read: the datagrams of a capture file, handled as received ones, with
// their captured times as arrival times.
#pragma once

#include <optional>

#include "capture/reader.h"
#include "feedwatch/receive_loop.h"
#include "platform/events.h"

namespace feedwatch {

// Hands every datagram that `reader` yields to `monitor` until the end of
// the file (kEndOfInput), a fault of the file (kInputFault; the reader's
// error() tells it), the monitor's limit, a stop signal, the `deadline`, or
// output that cannot be written.  A report signal prints the statistics
// between two datagrams.  The first datagram arrives at `start`, each other
// one its captured time after it; `last_arrival` is the arrival of the last
// one handled (`start` when there was none).
LoopEnd run_capture_loop(capture::Reader& reader, platform::Signals& signals, Monitor& monitor,
                         std::optional<SteadyClock::time_point> deadline,
                         SteadyClock::time_point start, SteadyClock::time_point& last_arrival);

}  // namespace feedwatch
