// The doubts about a configuration file that --check names: every place
// where the generator would read the file otherwise than its writer most
// likely meant, found in the file's text alone (the same on every platform).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "portable/profile_text.h"

namespace feedcast {

// One doubt: its line in the file (0 for the file as a whole) and what it is.
struct Doubt {
  std::uint32_t line;
  std::string text;
};

// A count of records in the words of the check: "1 record", "2 records".
std::string records_text(std::uint32_t count);

// Every doubt about the file whose text is `text`, the file-wide ones first,
// then by line:
//
// - a section that feedcast does not read, a read section that repeats an
//   earlier one, a key before any section, a section line without "]";
// - in the read sections ([MCast], [Faults], the configured kind's): a key
//   that is none of the section's (with the nearest one when one is close),
//   a repeated key, a key without a value, a number that the integer rule
//   reads only in part, a value that does not fit where it goes, a record
//   key past Number, a moving value while Simulate is off;
// - in the table: a Number over the kind's limit, an Encode that sends the
//   table plain under a nonzero Encoding, datagrams too large for UDP;
// - a file where the configured kind's section, or every read section, is
//   missing.
std::vector<Doubt> find_doubts(const portable::ProfileText& text);

}  // namespace feedcast
