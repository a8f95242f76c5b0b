// Compression of the record area with zlib, when a kind's "Encode" is 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "packet/catalogue.h"

namespace feedcast {

// What compressing a record area came to.
struct Compressed {
  std::size_t area;    // the length of the record area to send
  std::size_t stream;  // the length of the zlib stream; 0 when compression failed
};

// Replaces the plain record area of `packet` (NumRecord x RecordSize bytes
// from byte 68, as its header says) with one zlib stream made in a buffer of
// `capacity` bytes, and appends the trace lines, in the kind's words, to
// `trace`.  The record area to send is the table's length, or the stream's
// where that is longer.  When compression fails, the plain table stays and
// Encoding is set to 0, so the header still describes what is sent.
// `packet` must have room for `capacity` bytes behind the header.
Compressed compress_record_area(const packet::Kind& kind, std::uint8_t* packet,
                                std::uint32_t capacity, std::string& trace);

// The capacity of the compression buffer for a table: the expansion room.
std::uint32_t compression_capacity(const std::uint8_t* packet);

}  // namespace feedcast
