#include "feedcast/compression.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "packet/header.h"

namespace feedcast {
namespace {

std::uint32_t table_length(const std::uint8_t* packet) {
  return std::uint32_t{packet::num_record(packet)} * packet::record_size(packet);
}

// The trace line of a compression result; the Skillset kind words it its own way.
const char* result_line(int result, bool skillset) {
  switch (result) {
    case Z_OK: return skillset ? "\nEncoded successfully\n" : "\nCompressed successfully\n";
    case Z_MEM_ERROR: return skillset ? "\nEncoded eZLIB_MEM\n" : "\nCompressed eZLIB_MEM\n";
    case Z_BUF_ERROR: return skillset ? "\nEncoded eZLIB_BUF\n" : "\nCompressed eZLIB_BUF\n";
    default: return "";
  }
}

}  // namespace

std::uint32_t compression_capacity(const std::uint8_t* packet) {
  return packet::expand_buffer_size(table_length(packet));
}

std::size_t compress_record_area(std::uint8_t* packet, std::uint32_t capacity, std::string& trace) {
  const std::uint32_t length = table_length(packet);
  std::uint8_t* area = packet + packet::offset::kRecordArea;
  std::vector<std::uint8_t> stream(capacity);
  uLongf stream_length = capacity;
  const int result = compress(stream.data(), &stream_length, area, length);
  const bool skillset = packet::message_type(packet) == 2;
  trace += result_line(result, skillset);
  std::size_t sent = length;
  if (result == Z_OK) {
    std::memcpy(area, stream.data(), stream_length);
    sent = std::max<std::size_t>(length, stream_length);
  } else {
    packet[packet::offset::kEncoding] = 0;
  }
  trace += skillset ? "Encoding complete" : "Compression complete";
  return sent;
}

}  // namespace feedcast
