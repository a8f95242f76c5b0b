#include "support/packets.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "packet/catalogue.h"

namespace test_support {

TempDir::TempDir() : path_((std::filesystem::temp_directory_path() / "feedtest-XXXXXX").string()) {
  if (mkdtemp(path_.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TempDir::write(const std::string& name, const std::string& content) const {
  std::ofstream(file(name), std::ios::binary | std::ios::trunc) << content;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> make_packet(const packet::HeaderFields& fields,
                                      const std::vector<std::uint8_t>& records) {
  std::vector<std::uint8_t> p(packet::kHeaderSize);
  packet::write_header(p.data(), fields);
  p.insert(p.end(), records.begin(), records.end());
  return p;
}

packet::HeaderFields default_fields(std::uint8_t message_type, std::uint16_t num_record) {
  const packet::Kind* kind = packet::find_kind(message_type);
  return {.release_number = 6,
          .build_number = 6,
          .server_name = u"CC1",
          .message_type = message_type,
          .timestamp = 1607198400,
          .num_record = num_record,
          .record_size = kind ? kind->record_size : std::uint16_t{0}};
}

std::vector<std::uint8_t> controls_packet(std::uint8_t count) {
  packet::HeaderFields fields = default_fields(4, 1);
  fields.server_name =
      u"\x1b]0;owned\x07\x1b[2J\x9b"
      u"1m\x7f";
  std::vector<std::uint8_t> p = make_packet(fields, be32_words({1, 2, 3, 4, 5, 6, 7}));
  p[3] = 0x1b;
  p[8] = count == 0 ? 0 : 1;
  p[9] = count;
  return p;
}

std::vector<std::uint8_t> nodal(std::uint32_t tag, std::uint8_t number, std::uint8_t count) {
  std::vector<std::uint8_t> p =
      make_packet(default_fields(4, 1), be32_words({tag, 0, 0, 0, 0, 0, 0}));
  p[8] = number;
  p[9] = count;
  return p;
}

std::unique_ptr<feedwatch::PacketBuffer> received(const std::vector<std::uint8_t>& datagram) {
  auto buffer = std::make_unique<feedwatch::PacketBuffer>();
  buffer->fill(0);
  std::copy(datagram.begin(), datagram.end(), buffer->begin());
  return buffer;
}

std::vector<std::uint8_t> zlib_compress(const std::vector<std::uint8_t>& plain) {
  std::vector<std::uint8_t> stream(compressBound(plain.size()));
  uLongf length = stream.size();
  if (compress(stream.data(), &length, plain.data(), plain.size()) != Z_OK) {
    throw std::runtime_error("compress failed");
  }
  stream.resize(length);
  return stream;
}

std::vector<std::uint8_t> be32_words(const std::vector<std::uint32_t>& words) {
  std::vector<std::uint8_t> bytes(words.size() * 4);
  for (std::size_t i = 0; i < words.size(); ++i) packet::store_be32(&bytes[4 * i], words[i]);
  return bytes;
}

}  // namespace test_support
