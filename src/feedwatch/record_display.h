// The record display: every record of a packet, field by field.
#pragma once

#include <cstddef>

#include "feedwatch/console_output.h"
#include "feedwatch/packet_buffer.h"
#include "packet/record_layouts.h"

namespace feedwatch {

// Prints the records of the packet in `buffer` with its kind's display lines,
// each followed by the separator line, stepping by the kind's own record
// size.  Nothing is printed for a kind outside 1 to 6; records stop at the
// last one that lies wholly inside the buffer.
void display_records(const PacketBuffer& buffer, Console& console);

// The number of records the display shows for the packet in `buffer` read
// with `layout`: NumRecord, but no more than lie wholly inside the buffer.
std::size_t shown_record_count(const PacketBuffer& buffer, const packet::RecordLayout& layout);

// Returns the layout the display reads the packet's records with (by its
// kind and release); null for a kind outside the catalogue.
const packet::RecordLayout* display_layout(const PacketBuffer& buffer);

}  // namespace feedwatch
