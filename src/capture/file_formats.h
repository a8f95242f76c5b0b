// The layouts of the two capture file formats, pcap and pcapng: magic
// numbers, block types, option codes and the offset of every field the
// reader and the writer use, each counted from the start of its header or
// block.
#pragma once

#include <cstddef>
#include <cstdint>

namespace capture::pcap {

// The file header's magic number, read in the file's byte order: the
// fractions of a second are microseconds or nanoseconds.
inline constexpr std::uint32_t kMagicMicroseconds = 0xa1b2c3d4;
inline constexpr std::uint32_t kMagicNanoseconds = 0xa1b23c4d;

// The file header.
inline constexpr std::size_t kFileHeaderSize = 24;
inline constexpr std::size_t kVersionMajor = 4;  // u16
inline constexpr std::size_t kVersionMinor = 6;  // u16
inline constexpr std::size_t kLinkType = 20;     // u32: the type in its low 16 bits
inline constexpr std::uint16_t kSupportedMajor = 2;

// A packet record: its header, then the captured bytes.
inline constexpr std::size_t kRecordHeaderSize = 16;
inline constexpr std::size_t kSeconds = 0;         // u32
inline constexpr std::size_t kFraction = 4;        // u32, micro- or nanoseconds
inline constexpr std::size_t kCapturedLength = 8;  // u32

}  // namespace capture::pcap

namespace capture::pcapng {

// Block types.
inline constexpr std::uint32_t kSectionHeader = 0x0a0d0d0a;
inline constexpr std::uint32_t kInterfaceDescription = 1;
inline constexpr std::uint32_t kObsoletePacket = 2;
inline constexpr std::uint32_t kSimplePacket = 3;
inline constexpr std::uint32_t kEnhancedPacket = 6;

// Every block: type, total length, body, the total length again.
inline constexpr std::size_t kBlockType = 0;    // u32
inline constexpr std::size_t kBlockLength = 4;  // u32, the whole block
inline constexpr std::size_t kBlockPrefixSize = 8;
inline constexpr std::size_t kBlockTrailerSize = 4;
inline constexpr std::size_t kMinBlockSize = kBlockPrefixSize + kBlockTrailerSize;

// Section Header Block.
inline constexpr std::uint32_t kByteOrderMagic = 0x1a2b3c4d;
inline constexpr std::size_t kByteOrder = 8;       // u32
inline constexpr std::size_t kMajorVersion = 12;   // u16
inline constexpr std::size_t kMinorVersion = 14;   // u16
inline constexpr std::size_t kSectionLength = 16;  // u64, all ones when unknown
inline constexpr std::size_t kSectionOptions = 24;
inline constexpr std::uint16_t kSupportedMajor = 1;

// Interface Description Block.
inline constexpr std::size_t kInterfaceLinkType = 8;  // u16
inline constexpr std::size_t kSnapLength = 12;        // u32
inline constexpr std::size_t kInterfaceOptions = 16;

// Enhanced Packet Block, and the Obsolete Packet Block that has the same
// layout with a 16-bit interface number followed by a drop count.
inline constexpr std::size_t kInterfaceId = 8;      // u32 (u16 in the obsolete block)
inline constexpr std::size_t kTimestampHigh = 12;   // u32
inline constexpr std::size_t kTimestampLow = 16;    // u32
inline constexpr std::size_t kCapturedLength = 20;  // u32
inline constexpr std::size_t kOriginalLength = 24;  // u32
inline constexpr std::size_t kPacketData = 28;

// Simple Packet Block.
inline constexpr std::size_t kSimpleOriginalLength = 8;  // u32
inline constexpr std::size_t kSimplePacketData = 12;

// Options: code, length of the value, the value padded to 4 bytes.
inline constexpr std::size_t kOptionHeaderSize = 4;
inline constexpr std::uint16_t kEndOfOptions = 0;
inline constexpr std::uint16_t kShbOs = 3;
inline constexpr std::uint16_t kShbUserApplication = 4;
inline constexpr std::uint16_t kIfName = 2;
inline constexpr std::uint16_t kIfTimestampResolution = 9;  // u8
inline constexpr std::uint16_t kIfTimestampOffset = 14;     // i64, seconds

// The timestamp resolution without if_tsresol: microseconds.
inline constexpr std::uint8_t kDefaultResolution = 6;

// Bytes rounded up to the 32-bit boundary that blocks and options keep.
constexpr std::size_t padded(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

}  // namespace capture::pcapng
