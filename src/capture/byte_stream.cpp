// Sequential reading of a capture file in pieces.
#include "capture/byte_stream.h"

#include <algorithm>
#include <cerrno>

namespace capture {

namespace {

// The least that one read may ask for; after it, a read asks for at most as
// many bytes as the piece already holds, so that the piece grows by at most
// twice the bytes that did arrive.
constexpr std::size_t kFirstChunk = std::size_t{1} << 16;

}  // namespace

std::span<const std::uint8_t> ByteStream::take(std::size_t count) {
  piece_size_ = 0;
  return extend(count);
}

std::span<const std::uint8_t> ByteStream::extend(std::size_t count) {
  while (count > 0) {
    const std::size_t chunk = std::min(count, std::max(kFirstChunk, piece_size_));
    if (piece_.size() < piece_size_ + chunk) piece_.resize(piece_size_ + chunk);
    errno = 0;
    const std::size_t got = std::fread(piece_.data() + piece_size_, 1, chunk, file_);
    piece_size_ += got;
    offset_ += got;
    count -= got;
    if (got < chunk) {
      if (std::ferror(file_)) read_error_ = errno != 0 ? errno : EIO;
      break;
    }
  }
  return {piece_.data(), piece_size_};
}

bool ByteStream::skip(std::uint64_t count) {
  std::uint8_t scratch[4096];
  while (count > 0) {
    const std::size_t chunk =
        static_cast<std::size_t>(std::min<std::uint64_t>(count, sizeof scratch));
    errno = 0;
    const std::size_t got = std::fread(scratch, 1, chunk, file_);
    offset_ += got;
    count -= got;
    if (got < chunk) {
      if (std::ferror(file_)) read_error_ = errno != 0 ? errno : EIO;
      return false;
    }
  }
  return true;
}

}  // namespace capture
