// The check the datagram target makes of the monitor's JSON lines.
#pragma once

#include <string_view>

namespace fuzz {

// True when `text` is a sequence of lines, each ending in a line end and
// holding one JSON object with the key "type".
bool json_objects_with_type(std::string_view text);

}  // namespace fuzz
