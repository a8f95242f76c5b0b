// The pcapng format: sections of blocks, each block with its type and its
// length at both ends.
#include <algorithm>

#include "capture/file_formats.h"
#include "capture/frame_source.h"
#include "packet/byte_order.h"

namespace capture {

namespace {

// The shortest block of each type the reader reads, with every fixed field.
std::uint32_t min_block_length(std::uint32_t type) {
  switch (type) {
    case pcapng::kSectionHeader: return pcapng::kSectionOptions + pcapng::kBlockTrailerSize;
    case pcapng::kInterfaceDescription:
      return pcapng::kInterfaceOptions + pcapng::kBlockTrailerSize;
    case pcapng::kEnhancedPacket:
    case pcapng::kObsoletePacket: return pcapng::kPacketData + pcapng::kBlockTrailerSize;
    case pcapng::kSimplePacket: return pcapng::kSimplePacketData + pcapng::kBlockTrailerSize;
    default: return pcapng::kMinBlockSize;
  }
}

bool is_read(std::uint32_t type) {
  return type == pcapng::kInterfaceDescription || type == pcapng::kEnhancedPacket ||
         type == pcapng::kObsoletePacket || type == pcapng::kSimplePacket;
}

std::string number(std::uint64_t n) { return std::to_string(n); }

}  // namespace

std::optional<Frame> FrameSource::next_pcapng() {
  for (;;) {
    const std::uint64_t at = stream_.offset();
    std::span<const std::uint8_t> block = stream_.take(pcapng::kBlockPrefixSize);
    if (block.size() < pcapng::kBlockPrefixSize) {
      if (!block.empty() || stream_.read_error() != 0) short_read("truncated block", at);
      format_ = Format::kDone;
      return std::nullopt;
    }
    const std::uint32_t type = u32(&block[pcapng::kBlockType]);
    if (type == pcapng::kSectionHeader) {
      if (!read_section_header(at)) return std::nullopt;
      continue;
    }
    const std::uint32_t length = u32(&block[pcapng::kBlockLength]);
    if (!check_block_length(type, length, at)) return std::nullopt;
    if (!is_read(type)) {
      // Passed over without holding it: its length may be anything.
      if (!stream_.skip(length - pcapng::kMinBlockSize)) {
        short_read("truncated block", at);
        return std::nullopt;
      }
      block = stream_.take(pcapng::kBlockTrailerSize);
      if (block.size() < pcapng::kBlockTrailerSize) {
        short_read("truncated block", at);
        return std::nullopt;
      }
      if (u32(block.data()) != length) {
        fail("trailing block length " + number(u32(block.data())) + " differs from the leading " +
                 number(length),
             at);
        return std::nullopt;
      }
      continue;
    }
    block = stream_.extend(length - pcapng::kBlockPrefixSize);
    if (!check_block_end(block, length, at)) return std::nullopt;
    if (type == pcapng::kInterfaceDescription) {
      if (!read_interface(block, at)) return std::nullopt;
      continue;
    }
    return packet_frame(type, block, at);
  }
}

bool FrameSource::check_block_length(std::uint32_t type, std::uint32_t length, std::uint64_t at) {
  if (length % 4 != 0)
    return fail("block length " + number(length) + " is not a multiple of 4", at);
  if (length < min_block_length(type))
    return fail("block length " + number(length) + " is too short", at);
  if (is_read(type) && length > kMaxHeldBlock) {
    return fail("block length " + number(length) + " exceeds the limit of " + number(kMaxHeldBlock),
                at);
  }
  return true;
}

bool FrameSource::check_block_end(std::span<const std::uint8_t> block, std::uint32_t length,
                                  std::uint64_t at) {
  if (block.size() < length) return short_read("truncated block", at);
  const std::uint32_t trailing = u32(&block[length - pcapng::kBlockTrailerSize]);
  if (trailing != length) {
    return fail(
        "trailing block length " + number(trailing) + " differs from the leading " + number(length),
        at);
  }
  return true;
}

bool FrameSource::read_section_header(std::uint64_t at) {
  // The block type has been read, and at the start of a file nothing more.
  std::span<const std::uint8_t> block = stream_.extend(0);
  block = stream_.extend(pcapng::kByteOrder + 4 - block.size());
  if (block.size() < pcapng::kByteOrder + 4) return short_read("truncated block", at);
  const std::uint32_t magic = packet::load_be32(&block[pcapng::kByteOrder]);
  if (magic != pcapng::kByteOrderMagic &&
      packet::load_le32(&block[pcapng::kByteOrder]) != pcapng::kByteOrderMagic) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(magic));
    return fail(std::string("unknown byte-order magic ") + hex, at);
  }
  big_endian_ = magic == pcapng::kByteOrderMagic;
  const std::uint32_t length = u32(&block[pcapng::kBlockLength]);
  if (!check_block_length(pcapng::kSectionHeader, length, at)) return false;
  block = stream_.extend(length - block.size());
  if (!check_block_end(block, length, at)) return false;
  const std::uint16_t major = u16(&block[pcapng::kMajorVersion]);
  if (major != pcapng::kSupportedMajor) {
    return fail("unsupported pcapng version " + number(major) + "." +
                    number(u16(&block[pcapng::kMinorVersion])),
                at);
  }
  interfaces_.clear();
  return true;
}

bool FrameSource::read_interface(std::span<const std::uint8_t> block, std::uint64_t at) {
  if (interfaces_.size() == kMaxInterfaces) {
    return fail("section describes more than " + number(kMaxInterfaces) + " interfaces", at);
  }
  Interface interface {
    .link_type = u16(&block[pcapng::kInterfaceLinkType]),
    .snap_length = u32(&block[pcapng::kSnapLength]), .resolution = pcapng::kDefaultResolution
  };
  const std::size_t end = block.size() - pcapng::kBlockTrailerSize;
  for (std::size_t p = pcapng::kInterfaceOptions; p + pcapng::kOptionHeaderSize <= end;) {
    const std::uint16_t code = u16(&block[p]), length = u16(&block[p + 2]);
    const std::size_t value = p + pcapng::kOptionHeaderSize;
    if (code == pcapng::kEndOfOptions) break;
    if (length > end - value) {
      return fail("option length " + number(length) + " runs past the end of the block", at);
    }
    if (code == pcapng::kIfTimestampResolution || code == pcapng::kIfTimestampOffset) {
      const std::size_t want = code == pcapng::kIfTimestampResolution ? 1 : 8;
      if (length != want) {
        return fail(std::string(want == 1 ? "if_tsresol" : "if_tsoffset") + " option of length " +
                        number(length),
                    at);
      }
      if (want == 1) interface.resolution = block[value];
      if (want == 8) interface.offset_seconds = static_cast<std::int64_t>(u64(&block[value]));
    }
    p = value + pcapng::padded(length);
  }
  interfaces_.push_back(interface);
  return true;
}

std::optional<Frame> FrameSource::packet_frame(std::uint32_t type,
                                               std::span<const std::uint8_t> block,
                                               std::uint64_t at) {
  const std::size_t room = block.size() - pcapng::kBlockTrailerSize;
  if (type == pcapng::kSimplePacket) {
    if (interfaces_.empty()) {
      fail("simple packet block before any interface description", at);
      return std::nullopt;
    }
    const Interface& first = interfaces_.front();
    std::size_t captured = std::min<std::size_t>(u32(&block[pcapng::kSimpleOriginalLength]),
                                                 room - pcapng::kSimplePacketData);
    if (first.snap_length != 0) captured = std::min<std::size_t>(captured, first.snap_length);
    return Frame{first.link_type, last_time_ns_, block.subspan(pcapng::kSimplePacketData, captured),
                 at};
  }
  const std::uint32_t id = type == pcapng::kObsoletePacket ? u16(&block[pcapng::kInterfaceId])
                                                           : u32(&block[pcapng::kInterfaceId]);
  if (id >= interfaces_.size()) {
    fail("packet block for interface " + number(id) + ", which the section does not describe", at);
    return std::nullopt;
  }
  const std::uint32_t captured = u32(&block[pcapng::kCapturedLength]);
  if (captured > room - pcapng::kPacketData) {
    fail("captured length " + number(captured) + " runs past the end of the block", at);
    return std::nullopt;
  }
  const Interface& interface = interfaces_[id];
  const std::uint64_t units =
      std::uint64_t{u32(&block[pcapng::kTimestampHigh])} << 32 | u32(&block[pcapng::kTimestampLow]);
  last_time_ns_ = to_nanoseconds(units, interface.resolution, interface.offset_seconds);
  return Frame{interface.link_type, last_time_ns_, block.subspan(pcapng::kPacketData, captured),
               at};
}

}  // namespace capture
