// The JSON display: one JSON object per displayed packet, one line each
// (JSON Lines, schema 1), with the same records as the text display.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "feedwatch/arrival.h"
#include "feedwatch/packet_buffer.h"
#include "feedwatch/record_expansion.h"

namespace feedwatch {

// Which part of a multi-packet message a displayed packet is: its position
// in the display of its group, the group's size, and the group's Timestamp.
struct MessagePart {
  std::size_t part;
  std::size_t of;
  std::uint32_t time;
};

// Returns the JSON object of the displayed packet in `buffer` (whose record
// area `expansion` has already expanded, leaving `area_bytes` bytes of
// records), without a line end; `part` is null for a single packet.
std::string packet_json(const PacketBuffer& buffer, const Arrival& arrival, const MessagePart* part,
                        Expansion expansion, std::size_t area_bytes);

// JSON Lines on a stream: each line written whole and flushed at once.
class JsonLines {
 public:
  // Writes to `stream` (standard output in the program).
  explicit JsonLines(std::FILE* stream) : stream_(stream) {}

  // Writes the line of one displayed packet: the JSON object of the packet in
  // `buffer` (whose record area `expansion` has already expanded, leaving
  // `area_bytes` bytes of records); `part` is null for a single packet.
  void write_packet(const PacketBuffer& buffer, const Arrival& arrival, const MessagePart* part,
                    Expansion expansion, std::size_t area_bytes);

  // Writes one line that holds a whole JSON value.
  void write_line(std::string_view json);

  // 0, or the error number of the first write that failed: after one,
  // nothing more is written.
  int error() const { return error_; }

 private:
  void write_pending();

  std::FILE* stream_;
  std::string line_;
  int error_ = 0;
};

}  // namespace feedwatch
