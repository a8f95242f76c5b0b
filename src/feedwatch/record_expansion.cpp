#include "feedwatch/record_expansion.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "packet/header.h"

namespace feedwatch {
namespace {

// zlib from 1.2.9 on reports the length it wrote when uncompress fails.
static_assert(ZLIB_VERNUM >= 0x1290, "zlib 1.2.9 or later is needed");

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

Expansion expand_record_area(PacketBuffer& buffer, PacketBuffer& room, std::size_t* area_bytes) {
  std::uint8_t* packet = buffer.data();
  if (area_bytes != nullptr) *area_bytes = 0;
  if (packet::encoding(packet) == 0) return Expansion::kPlain;
  const std::uint32_t table =
      std::uint32_t{packet::record_size(packet)} * packet::num_record(packet);
  const std::uint32_t capacity = std::min(packet::expand_buffer_size(table), kRecordRoom);
  // Only what zlib writes is taken from the room: it reports how much that
  // is after a failure too, and the rest reads as zero.
  uLongf size = capacity;
  std::uint8_t* area = packet + packet::kHeaderSize;
  const int result = uncompress(room.data(), &size, area, kRecordRoom);
  std::memcpy(area, room.data(), size);
  const std::size_t copied = result == Z_OK ? size : capacity;
  std::fill(area + size, area + copied, std::uint8_t{0});
  if (area_bytes != nullptr) *area_bytes = copied;
  return outcome(result);
}

}  // namespace feedwatch
