// The record display: every record of a packet, field by field.
#pragma once

#include <cstdint>

#include "feedwatch/console_output.h"

namespace feedwatch {

// Prints the records of the packet in `packet` (a kPacketBufferSize buffer)
// with its kind's display lines, each followed by the separator line, stepping
// by the kind's own record size.  Nothing is printed for a kind outside 1 to 6;
// records stop at the last one that lies wholly inside the buffer.
void display_records(const std::uint8_t* packet, Console& console);

}  // namespace feedwatch
