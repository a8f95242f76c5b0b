// feedcast --check: what a run would send with a configuration file, found
// by the run's own code with no socket opened, and every doubt about the
// file, each naming its line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/profile.h"

namespace feedcast {

// What the check found.
struct CheckReport {
  // The lines for standard output: the file's path, what a run would send
  // as far as it would get, then one "Warning: <path>:<line>: <doubt>" per
  // doubt ("Warning: <path>: <doubt>" for the file as a whole).
  std::string text;
  // The failure with which a run would stop before it sends anything, in
  // the run's words; nothing when a run would send.
  std::optional<std::string> refusal;
  bool doubts = false;  // the text holds a Warning line

  // The exit status of --check: 1 when a run would be refused, else 3 when
  // there are doubts, else 0.
  int status() const { return refusal ? 1 : doubts ? 3 : 0; }
};

// Checks the configuration file `ini` as a run at calendar time `now` would
// read it.  Moving values (Simulate=1) are described as the first message has them.
CheckReport check_configuration(platform::ProfileFile& ini, std::int64_t now);

}  // namespace feedcast
