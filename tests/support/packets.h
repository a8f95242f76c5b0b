// Test helpers: temporary directories, files, and crafted packets.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "feedwatch/packet_buffer.h"
#include "packet/header.h"

namespace test_support {

// A fresh directory, removed with its contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // The path of `name` inside the directory.
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Writes `content` to `name`, replacing it.
  void write(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

// Returns a file's whole content, or an empty string.
std::string read_file(const std::string& path);

// A packet: the header from `fields` (written by the generator's rules) and
// `records` behind it.
std::vector<std::uint8_t> make_packet(const packet::HeaderFields& fields,
                                      const std::vector<std::uint8_t>& records = {});

// Header fields with the generator's defaults for a kind.
packet::HeaderFields default_fields(std::uint8_t message_type, std::uint16_t num_record = 0);

// A Nodal packet of one record whose DummyKey is `tag`, as part `number`
// of `count` (both 0: a single packet).
std::vector<std::uint8_t> nodal(std::uint32_t tag, std::uint8_t number = 0, std::uint8_t count = 0);

// A Nodal packet of one record whose texts carry terminal controls: the
// server name a new title, a cleared screen, a C1 CSI and DEL, the HeaderId
// K, ESC, B, O; `count` its PacketCount.
std::vector<std::uint8_t> controls_packet(std::uint8_t count = 0);

// The server name of controls_packet() in UTF-8.
inline constexpr const char* kControlsName =
    "\x1b]0;owned\x07\x1b[2J\xc2\x9b"
    "1m\x7f";

// Returns the zlib stream of `plain` at the default level.
std::vector<std::uint8_t> zlib_compress(const std::vector<std::uint8_t>& plain);

// A packet buffer of the monitor's that holds `datagram` as received: the
// rest of it reads as zero.
std::unique_ptr<feedwatch::PacketBuffer> received(const std::vector<std::uint8_t>& datagram);

// Big-endian 32-bit words as bytes.
std::vector<std::uint8_t> be32_words(const std::vector<std::uint32_t>& words);

}  // namespace test_support
