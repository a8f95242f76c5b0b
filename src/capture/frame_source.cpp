// Telling the format of a capture file, and what both formats share.
#include "capture/frame_source.h"

#include "capture/file_formats.h"
#include "packet/byte_order.h"

namespace capture {

std::optional<Frame> FrameSource::next() {
  if (format_ == Format::kUnknown && !start()) format_ = Format::kDone;
  switch (format_) {
    case Format::kPcap: return next_pcap();
    case Format::kPcapng: return next_pcapng();
    default: return std::nullopt;
  }
}

bool FrameSource::start() {
  const std::span<const std::uint8_t> magic = stream_.take(4);
  if (magic.size() < 4) {
    return stream_.read_error() != 0 ? short_read("", 0)
                                     : fail(magic.empty() ? "empty file" : "not a capture file", 0);
  }
  if (packet::load_be32(magic.data()) == pcapng::kSectionHeader) {
    format_ = Format::kPcapng;
    return read_section_header(0);
  }
  for (const bool big : {false, true}) {
    big_endian_ = big;
    const std::uint32_t m = u32(magic.data());
    if (m == pcap::kMagicMicroseconds || m == pcap::kMagicNanoseconds) return start_pcap(m);
  }
  return fail("not a capture file", 0);
}

bool FrameSource::fail(std::string what, std::uint64_t at) {
  error_ = Error{std::move(what), at, 0};
  format_ = Format::kDone;
  return false;
}

bool FrameSource::short_read(const char* what, std::uint64_t at) {
  if (stream_.read_error() == 0) return fail(what, at);
  fail("read failed", at);
  error_->system_error = stream_.read_error();
  return false;
}

std::uint16_t FrameSource::u16(const std::uint8_t* p) const {
  return big_endian_ ? packet::load_be16(p) : packet::load_le16(p);
}

std::uint32_t FrameSource::u32(const std::uint8_t* p) const {
  return big_endian_ ? packet::load_be32(p) : packet::load_le32(p);
}

std::uint64_t FrameSource::u64(const std::uint8_t* p) const {
  const std::uint64_t first = u32(p), second = u32(p + 4);
  return big_endian_ ? first << 32 | second : second << 32 | first;
}

}  // namespace capture
