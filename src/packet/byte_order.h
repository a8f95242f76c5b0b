// Byte-order conversion of single fields at fixed offsets of a byte buffer.
// Packet bytes are never cast to structures: every field is read and written
// byte by byte, so unaligned fields and padding are never an issue.
#pragma once

#include <cstdint>

namespace packet {

// Reads a big-endian 16-bit value from p[0..1].
inline std::uint16_t load_be16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

// Reads a big-endian 32-bit value from p[0..3].
inline std::uint32_t load_be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

// Writes the low 16 bits of v big-endian into p[0..1].
inline void store_be16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

// Writes v big-endian into p[0..3].
inline void store_be32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

// Writes the low 16 bits of v little-endian into p[0..1].
inline void store_le16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

// Reads a little-endian 16-bit value from p[0..1].
inline std::uint16_t load_le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// Reads a little-endian 32-bit value from p[0..3].
inline std::uint32_t load_le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

// Writes v little-endian into p[0..3].
inline void store_le32(std::uint8_t* p, std::uint32_t v) {
  store_le16(p, v);
  store_le16(p + 2, v >> 16);
}

}  // namespace packet
