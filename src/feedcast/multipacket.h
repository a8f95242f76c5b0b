// Multi-packet messages: a table of more than MaxRecordsPerPacket records
// travels as consecutive slices, one packet each, every packet with a header
// of its own and the message's Timestamp.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "packet/catalogue.h"
#include "packet/datagram.h"
#include "packet/header.h"

namespace feedcast {

using packet::Datagram;

// The most packets a message can have: PacketCount is one byte.
inline constexpr std::uint32_t kMaxParts = 255;

// The number of packets that carry a table of `num_record` records with at
// most `max_per_packet` records each: 1 when `max_per_packet` is below 1 or
// the table fits into one packet.
std::uint32_t part_count(std::uint32_t num_record, std::int32_t max_per_packet);

// The refusal of a table that needs more than kMaxParts packets.
std::string too_many_parts_message(std::uint32_t num_record, std::uint32_t parts,
                                   std::int32_t max_per_packet);

// Writes a message of `parts` packets (2 to kMaxParts) into `buffers`, one
// each: part p (from 1) carries the p-th slice of `max_per_packet` records of
// `table` (the last one the rest) under the header `header` with its own
// PacketNumber, PacketCount and NumRecord.  With Encoding 1 each part's
// records are compressed on their own, their trace lines, in the kind's
// words, appended to `trace` and the lengths of their streams added to
// `stream_bytes`.  Returns the parts' datagrams in part order, views into
// `buffers`.
std::vector<Datagram> write_parts(const packet::Kind& kind, const packet::HeaderFields& header,
                                  const std::uint8_t* table, std::uint32_t parts,
                                  std::int32_t max_per_packet,
                                  std::vector<std::vector<std::uint8_t>>& buffers,
                                  std::string& trace, std::size_t& stream_bytes);

}  // namespace feedcast
