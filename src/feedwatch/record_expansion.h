// Expansion of a compressed record area, in place in the packet buffer.
#pragma once

#include <cstddef>

#include "feedwatch/packet_buffer.h"

namespace feedwatch {

// What expanding a packet's record area came to.
enum class Expansion {
  kPlain,     // Encoding 0: nothing to expand
  kExpanded,  // the stream expanded
  kNoRoom,    // the stream expands to more than the expansion room
  kCorrupt,   // the stream is damaged or incomplete
  kFailed,    // zlib failed in another way
};

// Expands the zlib stream at byte 68 of `buffer` when Encoding is nonzero.
// The stream goes into the first ExpandBufferSize bytes of `room`, no more
// than the room behind the header, which are copied back over the record
// area: what zlib produced after a success; after a failure, all of them,
// those that zlib did not write as zero.  `area_bytes`, when given,
// receives how many bytes were copied (0 when plain).
Expansion expand_record_area(PacketBuffer& buffer, PacketBuffer& room,
                             std::size_t* area_bytes = nullptr);

}  // namespace feedwatch
