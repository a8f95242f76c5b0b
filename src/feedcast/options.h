// feedcast's command line: feedcast [OPTION]...
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "portable/result.h"

namespace feedcast {

// What the command line asks for.
struct Options {
  bool help = false;        // print the usage and exit
  bool version = false;     // print the version and exit
  bool quiet = false;       // no trace on standard output
  std::string config_file;  // empty: feedcast.ini in the current directory
  std::uint64_t count = 0;  // messages to send before exiting; 0: no end
  bool check = false;       // send nothing: describe the run and the file's doubts
  std::string replay_file;  // a capture to send again instead of generated messages
  double speed = 1;         // of the replay against the capture's own times; 0: as fast as it goes
  std::uint64_t loops = 1;  // passes over the capture; 0: no end
  bool retime = false;      // move each replayed Timestamp to the time of the replay
};

// Reads the arguments after the program's name; the last of repeated options
// counts, and of -h and -V the first given.  Arguments that are no options are
// ignored.  --speed, --loop and --retime need --replay, which --check
// refuses.  Fails with the text of a usage error.
portable::Result<Options> parse_options(std::span<const char* const> args);

// Reads a replay speed: "max" (returned as 0) or a positive decimal number of
// digits with at most one point, such as 10 or 0.25; nothing for any other text.
std::optional<double> parse_speed(std::string_view text);

// The text that -h/--help prints.
std::string_view usage_text();

}  // namespace feedcast
