// What the capture reader reports when a file cannot be read further.
#pragma once

#include <cstdint>
#include <string>

namespace capture {

// A fault of a capture file and where it lies: the byte offset of the file
// header, record or block at fault.  Everything before that place was read.
struct Error {
  std::string what;          // "truncated block", without the offset
  std::uint64_t offset = 0;  // from the start of the file
  int system_error = 0;      // the platform's error number when reading failed, else 0

  // The fault as the programs print it: "<what> at byte <offset>".
  std::string text() const { return what + " at byte " + std::to_string(offset); }
};

}  // namespace capture
