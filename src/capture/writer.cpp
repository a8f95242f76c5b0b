// Writing pcapng blocks.
#include "capture/writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "capture/file_formats.h"
#include "capture/frame_builder.h"
#include "capture/link_layer.h"
#include "packet/byte_order.h"

namespace capture {

namespace {

// Blocks are written out once this many bytes wait.
constexpr std::size_t kBufferSize = std::size_t{1} << 20;

// if_tsresol 9: times in nanoseconds.
constexpr std::uint8_t kNanosecondResolution = 9;

// The snap length the interface description gives: more than any frame.
constexpr std::uint32_t kSnapLength = 262144;

// An option's bytes: code, length, value, padding.
void add_option(std::vector<std::uint8_t>& options, std::uint16_t code, const std::uint8_t* value,
                std::size_t length) {
  const std::size_t at = options.size();
  options.resize(at + pcapng::kOptionHeaderSize + pcapng::padded(length));
  packet::store_le16(&options[at], code);
  packet::store_le16(&options[at + 2], static_cast<std::uint32_t>(length));
  if (length != 0) std::memcpy(&options[at + pcapng::kOptionHeaderSize], value, length);
}

void add_text_option(std::vector<std::uint8_t>& options, std::uint16_t code,
                     const std::string& text) {
  // An option's length has 16 bits; a text longer than that is cut.
  const std::size_t length = std::min<std::size_t>(text.size(), 0xfff0);
  if (length != 0) {
    add_option(options, code, reinterpret_cast<const std::uint8_t*>(text.data()), length);
  }
}

// A block of `type` with `fixed` bytes of fixed fields (after the type and
// length) and `options`, ended by opt_endofopt.
std::vector<std::uint8_t> block_with_options(std::uint32_t type,
                                             const std::vector<std::uint8_t>& fixed,
                                             std::vector<std::uint8_t> options) {
  if (!options.empty()) add_option(options, pcapng::kEndOfOptions, nullptr, 0);
  const std::size_t length =
      pcapng::kBlockPrefixSize + fixed.size() + options.size() + pcapng::kBlockTrailerSize;
  std::vector<std::uint8_t> block(length);
  packet::store_le32(&block[pcapng::kBlockType], type);
  packet::store_le32(&block[pcapng::kBlockLength], static_cast<std::uint32_t>(length));
  std::copy(fixed.begin(), fixed.end(), block.begin() + pcapng::kBlockPrefixSize);
  std::copy(options.begin(), options.end(),
            block.begin() + static_cast<std::ptrdiff_t>(pcapng::kBlockPrefixSize + fixed.size()));
  packet::store_le32(&block[length - pcapng::kBlockTrailerSize],
                     static_cast<std::uint32_t>(length));
  return block;
}

// The Section Header Block and the Interface Description Block.
std::vector<std::uint8_t> file_header(const RecordingHeader& header) {
  std::vector<std::uint8_t> section(pcapng::kSectionOptions - pcapng::kBlockPrefixSize);
  packet::store_le32(&section[0], pcapng::kByteOrderMagic);
  packet::store_le16(&section[4], pcapng::kSupportedMajor);
  std::fill(section.begin() + 8, section.end(), std::uint8_t{0xff});  // section length unknown
  std::vector<std::uint8_t> options;
  add_text_option(options, pcapng::kShbOs, header.os);
  add_text_option(options, pcapng::kShbUserApplication, header.application);
  std::vector<std::uint8_t> bytes = block_with_options(pcapng::kSectionHeader, section, options);

  std::vector<std::uint8_t> interface(pcapng::kInterfaceOptions - pcapng::kBlockPrefixSize);
  packet::store_le16(&interface[0], link_type::kEthernet);
  packet::store_le32(&interface[4], kSnapLength);
  options.clear();
  add_text_option(options, pcapng::kIfName, header.interface_name);
  add_option(options, pcapng::kIfTimestampResolution, &kNanosecondResolution, 1);
  const std::vector<std::uint8_t> description =
      block_with_options(pcapng::kInterfaceDescription, interface, options);
  bytes.insert(bytes.end(), description.begin(), description.end());
  return bytes;
}

}  // namespace

Writer::~Writer() { close(); }

int Writer::create(const std::string& path, const RecordingHeader& header) {
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return fail(errno != 0 ? errno : EIO);
  const int error = start(file, header);
  owned_ = true;
  return error;
}

int Writer::start(std::FILE* stream, const RecordingHeader& header) {
  file_ = stream;
  owned_ = false;
  // The writer's own buffer holds whole blocks; the stream's would cut them.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  buffer_.resize(kBufferSize);
  const std::vector<std::uint8_t> bytes = file_header(header);
  std::uint8_t* to = append(bytes.size());
  if (to != nullptr) std::memcpy(to, bytes.data(), bytes.size());
  return error_;
}

int Writer::write(const UdpDatagram& datagram) {
  if (error_ != 0) return error_;
  if (datagram.payload.size() > udp::kMaxPayload) return EINVAL;
  const std::size_t frame = kFrameHeadersSize + datagram.payload.size();
  const std::size_t length =
      pcapng::kPacketData + pcapng::padded(frame) + pcapng::kBlockTrailerSize;
  std::uint8_t* block = append(length);
  if (block == nullptr) return error_;
  const auto time = static_cast<std::uint64_t>(std::max<std::int64_t>(datagram.time_ns, 0));
  packet::store_le32(&block[pcapng::kBlockType], pcapng::kEnhancedPacket);
  packet::store_le32(&block[pcapng::kBlockLength], static_cast<std::uint32_t>(length));
  packet::store_le32(&block[pcapng::kInterfaceId], 0);
  packet::store_le32(&block[pcapng::kTimestampHigh], static_cast<std::uint32_t>(time >> 32));
  packet::store_le32(&block[pcapng::kTimestampLow], static_cast<std::uint32_t>(time));
  packet::store_le32(&block[pcapng::kCapturedLength], static_cast<std::uint32_t>(frame));
  packet::store_le32(&block[pcapng::kOriginalLength], static_cast<std::uint32_t>(frame));
  std::uint8_t* data = &block[pcapng::kPacketData];
  write_frame_headers(datagram, identification_++, data);
  if (!datagram.payload.empty()) {
    std::memcpy(data + kFrameHeadersSize, datagram.payload.data(), datagram.payload.size());
  }
  std::fill(data + frame, &block[length - pcapng::kBlockTrailerSize], std::uint8_t{0});
  packet::store_le32(&block[length - pcapng::kBlockTrailerSize],
                     static_cast<std::uint32_t>(length));
  return 0;
}

std::uint8_t* Writer::append(std::size_t size) {
  if (error_ != 0) return nullptr;
  if (buffered_ + size > buffer_.size()) {
    if (write_out() != 0) return nullptr;
    if (size > buffer_.size()) buffer_.resize(size);
  }
  std::uint8_t* to = buffer_.data() + buffered_;
  buffered_ += size;
  return to;
}

int Writer::write_out() {
  if (error_ != 0 || buffered_ == 0) return error_;
  errno = 0;
  const std::size_t written = std::fwrite(buffer_.data(), 1, buffered_, file_);
  if (written != buffered_) return fail(errno != 0 ? errno : EIO);
  buffered_ = 0;
  return 0;
}

int Writer::flush() {
  if (file_ == nullptr || write_out() != 0) return error_;
  errno = 0;
  if (std::fflush(file_) != 0) return fail(errno != 0 ? errno : EIO);
  return 0;
}

int Writer::close() {
  if (file_ == nullptr) return error_;
  flush();
  errno = 0;
  if (owned_ && std::fclose(file_) != 0 && error_ == 0) fail(errno != 0 ? errno : EIO);
  file_ = nullptr;
  return error_;
}

int Writer::fail(int error) {
  if (error_ == 0) error_ = error;
  return error_;
}

}  // namespace capture
