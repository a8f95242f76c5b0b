// A file read once from start to end, in pieces whose size the format
// decides: the capture reader's only access to its input, so that a pipe
// reads as well as a file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

namespace capture {

class ByteStream {
 public:
  // Reads `file`, opened in binary mode, from its current position; the
  // stream does not close it.
  explicit ByteStream(std::FILE* file) : file_(file) {}

  // Reads the next `count` bytes into a new piece and returns them: fewer
  // only when the file ends or a read fails first.  The view stays valid
  // until the next take() or extend().  Memory grows with the bytes that
  // arrive, never with a count that the file does not hold.
  std::span<const std::uint8_t> take(std::size_t count);

  // Reads `count` more bytes onto the end of the current piece and returns
  // the whole piece, as take() does.
  std::span<const std::uint8_t> extend(std::size_t count);

  // Passes over the next `count` bytes without keeping them; false when the
  // file ends or a read fails first.
  bool skip(std::uint64_t count);

  // The offset from the start of the file of the next byte to be read.
  std::uint64_t offset() const { return offset_; }

  // The platform's error number of a failed read, or 0.
  int read_error() const { return read_error_; }

 private:
  std::FILE* file_;
  std::vector<std::uint8_t> piece_;
  std::size_t piece_size_ = 0;
  std::uint64_t offset_ = 0;
  int read_error_ = 0;
};

}  // namespace capture
