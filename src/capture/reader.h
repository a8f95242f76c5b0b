// The capture reader: the UDP datagrams of a pcap or pcapng file, one at a
// time, with their IPv4 fragments joined.  What both programs read
// captures with.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "capture/error.h"
#include "capture/fragment_reassembly.h"
#include "capture/frame_source.h"
#include "capture/udp_datagram.h"

namespace capture {

// What the reader has met so far, besides the datagrams it yielded.
struct ReadCounts {
  std::uint64_t frames = 0;             // packet records and blocks read
  std::uint64_t datagrams = 0;          // UDP datagrams yielded
  std::uint64_t not_ipv4 = 0;           // frames of another protocol or an unknown link type
  std::uint64_t not_udp = 0;            // IPv4 packets of another protocol
  std::uint64_t malformed = 0;          // IPv4 or UDP headers broken, or cut short by the capture
  std::uint64_t other_ports = 0;        // UDP datagrams to a port not asked for
  ReassemblyCounts fragments;           // see FragmentReassembly; `pending` below is not in it
  std::uint64_t pending_fragments = 0;  // incomplete datagrams held now
};

// A file opened by open_capture(), closed when it goes.
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using CaptureFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for reading in binary mode; an empty pointer when it cannot
// be opened, with the platform's error number in `error`.
CaptureFile open_capture(const std::string& path, int& error);

// Reads the UDP datagrams over IPv4 that a capture file holds, to the
// destination ports asked for, in the file's order.  Frames of other
// protocols and datagrams to other ports are passed over and counted.  The
// file is read once from start to end, so that a pipe serves as well.
// Memory stays within the largest block the reader holds (kMaxHeldBlock) and
// the limits of fragment reassembly, whatever the file holds.
class Reader {
 public:
  // Reads `file` (opened in binary mode, not closed by the reader).
  Reader(std::FILE* file, const PortSet& ports, ReassemblyLimits limits = {});

  // The next datagram: its payload is a view valid until the next call.
  // Nothing at the end of the file or at a fault of the file, which error()
  // then tells; every datagram before the fault has been yielded.  A
  // datagram joined from fragments has the time and block of the fragment
  // that completed it.
  std::optional<UdpDatagram> next();

  // The fault that ended the reading, if one did.
  const std::optional<Error>& error() const { return frames_.error(); }

  // What was passed over so far.
  ReadCounts counts() const;

 private:
  // The datagram a UDP packet (header and payload) holds, if it is to be
  // yielded.
  std::optional<UdpDatagram> datagram(const ipv4::Header& ip, std::span<const std::uint8_t> udp,
                                      const Frame& frame);

  FrameSource frames_;
  std::unique_ptr<PortSet> ports_;
  FragmentReassembly fragments_;
  ReadCounts counts_;
};

}  // namespace capture
