// Configuration files and packets of a chosen size, shared by the benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packet/catalogue.h"
#include "support/packets.h"

namespace bench {

// The text of a feedcast.ini that sends `records` records of `kind` as fast
// as possible (UpdateRate 0, TTL 1), every keyed field of every record set to
// a value of its own, compressed when `compressed`; `mcast` adds lines to
// section MCast.
std::string feedcast_ini(const packet::Kind& kind, int records, bool compressed,
                         const std::string& mcast = "");

// The same, plain, with Simulate 1 and every value moving: the keyed fields
// alternately a range of 101 values and a counter growing by up to 5.
std::string moving_feedcast_ini(const packet::Kind& kind, int records);

// Writes `text` to `path`, replacing the file.
void write_file(const std::string& path, const std::string& text);

// Sets a file's modification time `seconds` away from now (negative: in the
// past).  A time in the future keeps the reader re-reading the file on every
// refresh, as it does right after an edit.
void set_modified_time(const std::string& path, long seconds);

// The datagrams feedcast sends for the feedcast.ini at `path` (one, or the
// parts of a message), built by the generator's own code at calendar time `now`.
std::vector<std::vector<std::uint8_t>> feedcast_message(const std::string& path, std::int64_t now);

// A directory of its own, removed with its contents when the object goes.
using ScratchDir = test_support::TempDir;

}  // namespace bench
