// The capture reader on any file: it must end, with the datagrams it found
// and at most one fault, within its memory bounds, whatever the bytes.
//
// Input: the bytes of a capture file.
#include <cstdint>
#include <cstdio>

#include "capture/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (file == nullptr) return 0;  // an empty input cannot be opened in memory
  capture::Reader reader(file, capture::all_ports(), {.max_held_bytes = 1 << 18});
  std::uint64_t last_offset = 0;
  while (const auto d = reader.next()) {
    // Each datagram lies within one packet and comes from a block already read.
    if (d->payload.size() > 65535 || d->block_offset >= size || d->block_offset < last_offset) {
      __builtin_trap();
    }
    last_offset = d->block_offset;
  }
  if (reader.error() && reader.error()->offset > size) __builtin_trap();
  std::fclose(file);
  return 0;
}
