// Writes the seeds of fuzz_datagrams into DIR: real packets, each seed one
// input of the target (datagrams, each behind its 2-byte big-endian length).
// For every kind and scheme, plain and compressed, the message feedcast
// builds for a table of three records (Nodal: one); two tables in parts,
// one plain and one compressed; and Agent records of the monitor's 104- and
// 108-byte layouts, every field filled, under the versions that select them.
// Packets come from the generator's own code (the message of a feedcast.ini,
// written for the purpose) and the packet library.
//
// Usage: write_datagram_seeds DIR   (then check DIR's files in)
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "feedcast/record_size.h"
#include "feedcast/sender_config.h"
#include "feedcast/transmit_loop.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "packet/record_layouts.h"
#include "platform/profile.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The calendar time of every seed's packets.
constexpr std::int64_t kNow = 1607198400;

// The value of field `j` of record `i`: one of its own.
std::uint32_t value_of(unsigned i, unsigned j) { return 1000 * (i + 1) + j + 1; }

// Writes one seed: its datagrams, each behind its length.
void write_seed(const std::filesystem::path& path, const std::vector<Bytes>& datagrams) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const Bytes& d : datagrams) {
    const char length[2] = {static_cast<char>(d.size() >> 8), static_cast<char>(d.size())};
    out.write(length, 2);
    out.write(reinterpret_cast<const char*>(d.data()), static_cast<std::streamsize>(d.size()));
  }
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

// The message feedcast sends for the configuration `ini`, built at kNow
// from a feedcast.ini written into `dir` and removed again.
std::vector<Bytes> feedcast_message(const std::filesystem::path& dir, const std::string& ini) {
  const std::filesystem::path path = dir / "feedcast.ini";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << ini;
  platform::ProfileFile file(path.string());
  const feedcast::SenderConfig config = feedcast::read_sender_config(file);
  const portable::Result<const packet::Kind*> kind = feedcast::check_kind_and_scheme(config);
  if (!kind) throw std::runtime_error("feedcast refuses the table: " + kind.failure());
  const portable::Result<packet::Kind> sized = feedcast::sized_kind(**kind, config, file);
  if (!sized) throw std::runtime_error("feedcast refuses the table: " + sized.failure());
  feedcast::PacketSource source(config, *sized, file);
  const portable::Result<std::span<const packet::Datagram>> sent = source.next(kNow);
  std::filesystem::remove(path);
  if (!sent) throw std::runtime_error("feedcast refuses the table: " + sent.failure());
  std::vector<Bytes> message;
  for (const packet::Datagram d : *sent) message.emplace_back(d.begin(), d.end());
  return message;
}

// A feedcast.ini for `records` records of `kind`, every keyed field set;
// `mcast` adds lines to section MCast.
std::string table_ini(const packet::Kind& kind, std::uint8_t scheme, int encode, unsigned records,
                      const std::string& mcast = "") {
  std::string text = "[MCast]\nMessageType=" + std::to_string(kind.message_type) +
                     "\nStatScheme=" + std::to_string(scheme) + "\nServerName=CCSERVER01\n" +
                     mcast + "[" + std::string(kind.section) +
                     "]\nNumber=" + std::to_string(records) + "\nEncode=" + std::to_string(encode) +
                     "\n";
  for (unsigned i = 0; i < records; ++i) {
    for (unsigned j = 0; j < kind.layout->fields.size(); ++j) {
      const packet::Field& f = kind.layout->fields[j];
      if (!f.keyed) continue;
      text += std::string(f.name) + std::to_string(i) + "=" + std::to_string(value_of(i, j)) + '\n';
    }
  }
  return text;
}

// A packet of two records of `layout`, every field filled, RecordSize its size.
Bytes layout_packet(const packet::RecordLayout& layout, std::uint8_t release, std::uint8_t minor) {
  const packet::Kind& agent = *packet::find_kind(3);
  packet::HeaderFields h{.release_number = release,
                         .minor_version = minor,
                         .build_number = 6,
                         .server_name = u"CCSERVER01",
                         .message_type = agent.message_type,
                         .timestamp = static_cast<std::uint32_t>(kNow),
                         .num_record = 2,
                         .record_size = layout.size};
  Bytes p(packet::kHeaderSize + 2u * layout.size);
  packet::write_header(p.data(), h);
  for (unsigned i = 0; i < 2; ++i) {
    for (unsigned j = 0; j < layout.fields.size(); ++j) {
      packet::store_field(&p[packet::kHeaderSize + i * layout.size], layout.fields[j],
                          value_of(i, j));
    }
  }
  return p;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_datagram_seeds DIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  try {
    std::filesystem::create_directories(dir);
    const char* const encodings[] = {"plain", "zlib"};
    for (int type = 1; const packet::Kind* kind = packet::find_kind(type); ++type) {
      const unsigned records = std::min(3u, unsigned{kind->max_records});
      for (std::uint8_t scheme = 0; packet::is_stat_scheme(scheme); ++scheme) {
        for (int encode = 0; encode < 2; ++encode) {
          const std::string name =
              lower(kind->section) + "-scheme" + std::to_string(scheme) + "-" + encodings[encode];
          write_seed(dir / name, feedcast_message(dir, table_ini(*kind, scheme, encode, records)));
        }
      }
    }
    // A message in parts of two records, plain and compressed.
    for (int encode = 0; encode < 2; ++encode) {
      const packet::Kind& kind = *packet::find_kind(encode == 0 ? 6 : 2);
      write_seed(dir / (lower(kind.section) + "-parts-" + encodings[encode]),
                 feedcast_message(dir, table_ini(kind, 0, encode, 5, "MaxRecordsPerPacket=2\n")));
    }
    write_seed(dir / "agent-104-bytes", {layout_packet(packet::kAgentLayout, 6, 0)});
    const packet::VersionLayout& v = packet::find_kind(3)->version_layout;
    write_seed(dir / "agent-108-bytes",
               {layout_packet(*v.layout, v.release_number, v.minor_version)});
  } catch (const std::exception& e) {
    std::fprintf(stderr, "write_datagram_seeds: %s\n", e.what());
    return 1;
  }
  return 0;
}
