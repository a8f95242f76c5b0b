// The frames of a capture file, pcap or pcapng, one at a time, each with
// its link type and its time in nanoseconds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "capture/byte_stream.h"
#include "capture/error.h"
#include "capture/timestamp.h"

namespace capture {

// One captured frame: a view of its bytes, valid until the next call of
// FrameSource::next().
struct Frame {
  std::uint32_t link_type = 0;
  std::int64_t time_ns = 0;
  std::span<const std::uint8_t> bytes;
  std::uint64_t block_offset = 0;  // where its record or block begins
};

// The largest record or block the reader holds in memory; longer ones are
// faults (blocks of kinds it does not read are passed over, whatever their
// length).
inline constexpr std::uint32_t kMaxHeldBlock = 16u << 20;

// The most interfaces one pcapng section may describe.
inline constexpr std::size_t kMaxInterfaces = 65536;

// Reads the frames of a capture file, telling the format by its first bytes:
// pcap (microsecond or nanosecond magic, either byte order) or pcapng (any
// number of sections and interfaces, either byte order, if_tsresol and
// if_tsoffset, Enhanced, Simple and Obsolete Packet Blocks; blocks of other
// types are passed over).  A Simple Packet Block, which has no time, takes
// the time of the packet block before it (0 for the first) and the first
// interface of its section.
class FrameSource {
 public:
  // Reads `file`, opened in binary mode; the source does not close it.
  explicit FrameSource(std::FILE* file) : stream_(file) {}

  // The next frame; nothing at the end of the file or at a fault, which
  // error() then tells.  Once it has returned nothing it always does.
  std::optional<Frame> next();

  // The fault that ended the reading, if one did.
  const std::optional<Error>& error() const { return error_; }

 private:
  enum class Format { kUnknown, kPcap, kPcapng, kDone };

  // A pcapng interface as its description block gives it.
  struct Interface {
    std::uint32_t link_type = 0;
    std::uint32_t snap_length = 0;
    Resolution resolution = 6;
    std::int64_t offset_seconds = 0;
  };

  // Reads the first bytes and the file header (pcap) or the first section
  // header (pcapng); false at a fault.
  bool start();
  bool start_pcap(std::uint32_t magic);
  std::optional<Frame> next_pcap();
  std::optional<Frame> next_pcapng();
  // Reads a Section Header Block whose type has been read; false at a fault.
  bool read_section_header(std::uint64_t at);
  bool read_interface(std::span<const std::uint8_t> block, std::uint64_t at);
  std::optional<Frame> packet_frame(std::uint32_t type, std::span<const std::uint8_t> block,
                                    std::uint64_t at);
  // Checks a block's leading length against its type's minimum and the
  // 32-bit boundary; false at a fault.
  bool check_block_length(std::uint32_t type, std::uint32_t length, std::uint64_t at);
  // Checks that `block` is whole and ends with its length again.
  bool check_block_end(std::span<const std::uint8_t> block, std::uint32_t length, std::uint64_t at);

  // Records a fault at `at` and ends the reading; returns false.
  bool fail(std::string what, std::uint64_t at);
  // The fault of bytes that stopped short: a failed read, or `what`.
  bool short_read(const char* what, std::uint64_t at);

  // Fields in the byte order of the file or section.
  std::uint16_t u16(const std::uint8_t* p) const;
  std::uint32_t u32(const std::uint8_t* p) const;
  std::uint64_t u64(const std::uint8_t* p) const;

  ByteStream stream_;
  Format format_ = Format::kUnknown;
  bool big_endian_ = false;
  std::optional<Error> error_;
  // pcap
  std::uint32_t link_type_ = 0;
  bool nanoseconds_ = false;
  // pcapng: the current section's interfaces and the last packet's time
  std::vector<Interface> interfaces_;
  std::int64_t last_time_ns_ = 0;
};

}  // namespace capture
