// PrintPacket: expands one received packet's record area in place and
// prints its header lines and records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "feedwatch/console_output.h"

namespace feedwatch {

// The size of the buffer that holds one packet: room for any UDP datagram.
inline constexpr std::size_t kPacketBufferSize = 65536;

// Prints the packet at the start of `packet`, a buffer of kPacketBufferSize
// bytes whose NameTerminator the caller has set to zero.  A nonzero Encoding
// makes it expand the record area in place first, never past the buffer's
// end; then come the server name, kind and scheme, timestamp and counts, and
// the records.  A null pointer prints one line and nothing else.
void print_packet(std::uint8_t* packet, Console& console);

}  // namespace feedwatch
