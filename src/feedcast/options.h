// feedcast's command line: feedcast [OPTION]...
#pragma once

#include <cstdint>
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
};

// Reads the arguments after the program's name; the last of repeated options
// counts, and of -h and -V the first given.  Arguments that are no options are
// ignored.  Fails with the text of a usage error.
portable::Result<Options> parse_options(std::span<const char* const> args);

// The text that -h/--help prints.
std::string_view usage_text();

}  // namespace feedcast
