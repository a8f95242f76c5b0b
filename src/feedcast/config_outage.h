// A configuration file that cannot be read: the generator refuses to start
// on one, and says when a running feed loses its file and gets it back.
#pragma once

#include <string>

#include "platform/profile.h"

namespace feedcast {

// The refusal to start on an unreadable file:
// "cannot read configuration file <path>: <the system's reason>".
std::string unreadable_file_message(const platform::ProfileFile& ini);

// Follows whether the file can be read, from pass to pass, and makes one
// line when that changes: "Warning: cannot read configuration file <path>:
// <reason>; sending the last table read" when it is lost, and "Configuration
// file <path> readable again" when it is back.
class OutageReport {
 public:
  // Looks at the file's state after its last refresh (the file was readable
  // at start); returns the line for a change, with its line end, or "".
  std::string update(const platform::ProfileFile& ini);

 private:
  bool readable_ = true;
};

}  // namespace feedcast
