// PrintPacket: the header lines and records of one received packet.
#pragma once

#include "feedwatch/console_output.h"
#include "feedwatch/packet_buffer.h"
#include "feedwatch/record_expansion.h"

namespace feedwatch {

// Prints the packet in `buffer`, whose record area has been expanded with the
// outcome `expansion` and whose NameTerminator the caller has set to zero:
// the expansion lines of a compressed packet, then the server name, kind and
// scheme, timestamp and counts, and the records.
void print_packet(const PacketBuffer& buffer, Expansion expansion, Console& console);

}  // namespace feedwatch
