// IPv4 fragment reassembly on any sequence of fragments: it must stay within
// its memory bound and complete only datagrams whose every byte came from a
// fragment.
//
// Input: fragments of 5 bytes each: which datagram (source and
// identification, 2 bits each) with the more-fragments flag (bit 7), the
// offset in units of 8 bytes (13 bits, big-endian), the length in units of
// 8 bytes less the low 3 bits of the last byte, and the time step.
#include <cstdint>
#include <vector>

#include "capture/fragment_reassembly.h"

namespace {

constexpr std::size_t kLimit = 1 << 18;

// The byte at `at` of datagram `key`'s payload; `changed` fragments carry
// another.
std::uint8_t byte_of(unsigned key, std::size_t at, bool changed) {
  return static_cast<std::uint8_t>(at * 31 + key * 7 + (changed ? 1 : 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  capture::FragmentReassembly reassembly({.max_held_bytes = kLimit, .max_age_ns = 1000});
  std::vector<std::uint8_t> payload;
  std::int64_t time = 0;
  for (std::size_t i = 0; i + 5 <= size; i += 5) {
    const std::uint8_t* f = data + i;
    const unsigned key = f[0] & 0x0f;
    capture::ipv4::Header header{.header_length = 20,
                                 .more_fragments = (f[0] & 0x80) != 0,
                                 .fragment_offset = 8u * (((f[1] & 0x1f) << 8) | f[2]),
                                 .protocol = 17,
                                 .source = key >> 2};
    header.identification = key & 3;
    const std::size_t length = f[3] == 0 ? 0 : 8u * f[3] - (f[4] & 7);
    const bool changed = (f[0] & 0x40) != 0;
    payload.resize(length);
    for (std::size_t j = 0; j < length; ++j) {
      payload[j] = byte_of(key, header.fragment_offset + j, changed);
    }
    time += f[4] >> 3;
    const auto whole = reassembly.add(header, payload, time);
    if (reassembly.held_bytes() > kLimit || (whole && whole->size() > 65515)) __builtin_trap();
    if (!whole) continue;
    // Every byte agrees with the datagram's pattern, changed or not.
    for (std::size_t j = 0; j < whole->size(); ++j) {
      const std::uint8_t b = (*whole)[j];
      if (b != byte_of(key, j, false) && b != byte_of(key, j, true)) __builtin_trap();
    }
  }
  return 0;
}
