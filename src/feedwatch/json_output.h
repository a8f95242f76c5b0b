// The JSON display: one JSON object per displayed packet, one line each
// (JSON Lines, schema 1), with the same records as the text display.
#pragma once

#include <chrono>
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

// Appends `text` (UTF-8) to `out` as a JSON string, escaped as JSON requires.
void append_json_string(std::string& out, std::string_view text);

// Returns a calendar time in RFC 3339 form, UTC, to the microsecond
// ("2026-12-07T01:20:29.123456Z").
std::string rfc3339_utc(std::chrono::system_clock::time_point time);

// Appends the JSON object of the packet in `buffer` (whose record area
// `expansion` has already expanded, leaving `area_bytes` bytes of records),
// without a line end.  `part` is null for a single packet.
void append_packet_json(std::string& out, const PacketBuffer& buffer, const Arrival& arrival,
                        const MessagePart* part, Expansion expansion, std::size_t area_bytes);

// JSON Lines on a stream: each line written whole and flushed at once.
class JsonLines {
 public:
  // Writes to `stream` (standard output in the program).
  explicit JsonLines(std::FILE* stream) : stream_(stream) {}

  // Writes the line of one displayed packet (see append_packet_json).
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
