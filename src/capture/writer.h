// The pcapng writer of a recording: one section, one Ethernet interface
// with nanosecond times, and one Enhanced Packet Block per datagram holding
// the frame it arrived in, rebuilt.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "capture/udp_datagram.h"

namespace capture {

// What the recording's header says of it; an empty text leaves its option out.
struct RecordingHeader {
  std::string application;     // shb_userappl, "feedwatch 1.0.0"
  std::string os;              // shb_os, the system the recording was made on
  std::string interface_name;  // if_name, the interface or interfaces listened on
};

// Writes a pcapng recording.  Blocks are kept in the writer's buffer and
// written out whole (a write never ends inside a block unless it fails), when
// the buffer fills and at flush(); so a recorder that is killed leaves whole
// blocks behind, all but those written since the last flush.  Every failure
// is the platform's error number (errno), never 0; after one, every call
// returns it.  The file's blocks are little-endian.
class Writer {
 public:
  Writer() = default;
  // Closes the file if it is open; call close() to learn whether that worked.
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Creates the file at `path`, replacing an existing one, and writes the
  // section header and interface description into the buffer.  Returns 0
  // or the error number.
  int create(const std::string& path, const RecordingHeader& header);

  // The same into `stream`, already open in binary mode (standard output):
  // the writer flushes it but does not close it.
  int start(std::FILE* stream, const RecordingHeader& header);

  // Appends the block of one datagram, its frame rebuilt (see
  // write_frame_headers) and stamped with its time.  A payload over
  // udp::kMaxPayload bytes is refused with EINVAL.
  int write(const UdpDatagram& datagram);

  // Writes out the blocks in the buffer and flushes the file.
  int flush();

  // Flushes and closes the file (a stream given to start() is only flushed).
  int close();

 private:
  // Appends `size` bytes to the buffer, writing out what it holds first when
  // they would not fit; returns where they go, or nullptr after a failure.
  std::uint8_t* append(std::size_t size);
  int write_out();
  int fail(int error);

  std::FILE* file_ = nullptr;
  bool owned_ = false;
  std::vector<std::uint8_t> buffer_;
  std::size_t buffered_ = 0;
  std::uint16_t identification_ = 0;
  int error_ = 0;
};

}  // namespace capture
