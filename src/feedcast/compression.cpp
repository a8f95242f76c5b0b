#include "feedcast/compression.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "packet/catalogue.h"
#include "packet/header.h"

namespace feedcast {
namespace {

std::uint32_t table_length(const std::uint8_t* packet) {
  return std::uint32_t{packet::num_record(packet)} * packet::record_size(packet);
}

// The trace line of a compression result, in the kind's words.
std::string result_line(int result, const packet::CompressionWords& words) {
  const char* outcome = result == Z_OK          ? " successfully\n"
                        : result == Z_MEM_ERROR ? " eZLIB_MEM\n"
                        : result == Z_BUF_ERROR ? " eZLIB_BUF\n"
                                                : nullptr;
  if (outcome == nullptr) return {};
  std::string line = "\n";
  line += words.done;
  line += outcome;
  return line;
}

}  // namespace

std::uint32_t compression_capacity(const std::uint8_t* packet) {
  return packet::expand_buffer_size(table_length(packet));
}

Compressed compress_record_area(const packet::Kind& kind, std::uint8_t* packet,
                                std::uint32_t capacity, std::string& trace) {
  const std::uint32_t length = table_length(packet);
  std::uint8_t* area = packet + packet::kHeaderSize;
  std::vector<std::uint8_t> stream(capacity);
  uLongf stream_length = capacity;
  const int result = compress(stream.data(), &stream_length, area, length);
  trace += result_line(result, kind.compression_words);
  Compressed out{length, 0};
  if (result == Z_OK) {
    std::memcpy(area, stream.data(), stream_length);
    out = {std::max<std::size_t>(length, stream_length), stream_length};
  } else {
    packet::write_number(packet, packet::header_field("Encoding"), 0);
  }
  trace += kind.compression_words.step;
  trace += " complete";
  return out;
}

}  // namespace feedcast
