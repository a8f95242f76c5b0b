#include "feedwatch/record_expansion.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "packet/header.h"

namespace feedwatch {
namespace {

// The room behind the header that an expanded record area may fill.
constexpr std::uint32_t kRecordRoom = kPacketBufferSize - packet::kHeaderSize;

Expansion outcome(int zlib_result) {
  switch (zlib_result) {
    case Z_OK: return Expansion::kExpanded;
    case Z_BUF_ERROR: return Expansion::kNoRoom;
    case Z_DATA_ERROR: return Expansion::kCorrupt;
    default: return Expansion::kFailed;
  }
}

}  // namespace

Expansion expand_record_area(PacketBuffer& buffer, std::size_t* area_bytes) {
  std::uint8_t* packet = buffer.data();
  if (area_bytes != nullptr) *area_bytes = 0;
  if (packet::encoding(packet) == 0) return Expansion::kPlain;
  const std::uint32_t table =
      std::uint32_t{packet::record_size(packet)} * packet::num_record(packet);
  const std::uint32_t capacity = std::min(packet::expand_buffer_size(table), kRecordRoom);
  std::vector<std::uint8_t> expanded(capacity);
  uLongf size = capacity;
  std::uint8_t* area = packet + packet::kHeaderSize;
  const int result = uncompress(expanded.data(), &size, area, kRecordRoom);
  const std::size_t copied = result == Z_OK ? size : capacity;
  std::memcpy(area, expanded.data(), copied);
  if (area_bytes != nullptr) *area_bytes = copied;
  return outcome(result);
}

}  // namespace feedwatch
