// The pcap format: a file header, then packet records.
#include "capture/file_formats.h"
#include "capture/frame_source.h"

namespace capture {

namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr std::int64_t kNanosecondsPerMicrosecond = 1'000;

}  // namespace

bool FrameSource::start_pcap(std::uint32_t magic) {
  const std::span<const std::uint8_t> header = stream_.extend(pcap::kFileHeaderSize - 4);
  if (header.size() < pcap::kFileHeaderSize) return short_read("truncated file header", 0);
  const std::uint16_t major = u16(&header[pcap::kVersionMajor]);
  if (major != pcap::kSupportedMajor) {
    return fail("unsupported pcap version " + std::to_string(major) + "." +
                    std::to_string(u16(&header[pcap::kVersionMinor])),
                0);
  }
  format_ = Format::kPcap;
  nanoseconds_ = magic == pcap::kMagicNanoseconds;
  link_type_ = u32(&header[pcap::kLinkType]) & 0xffff;
  return true;
}

std::optional<Frame> FrameSource::next_pcap() {
  const std::uint64_t at = stream_.offset();
  std::span<const std::uint8_t> record = stream_.take(pcap::kRecordHeaderSize);
  if (record.size() < pcap::kRecordHeaderSize) {
    if (!record.empty() || stream_.read_error() != 0) short_read("truncated packet record", at);
    format_ = Format::kDone;
    return std::nullopt;
  }
  const std::uint32_t captured = u32(&record[pcap::kCapturedLength]);
  if (captured > kMaxHeldBlock) {
    fail("packet record length " + std::to_string(captured) + " exceeds the limit of " +
             std::to_string(kMaxHeldBlock),
         at);
    return std::nullopt;
  }
  record = stream_.extend(captured);
  if (record.size() < pcap::kRecordHeaderSize + captured) {
    short_read("truncated packet record", at);
    return std::nullopt;
  }
  const std::int64_t unit = nanoseconds_ ? 1 : kNanosecondsPerMicrosecond;
  return Frame{.link_type = link_type_,
               .time_ns = std::int64_t{u32(&record[pcap::kSeconds])} * kNanosecondsPerSecond +
                          std::int64_t{u32(&record[pcap::kFraction])} * unit,
               .bytes = record.subspan(pcap::kRecordHeaderSize),
               .block_offset = at};
}

}  // namespace capture
