// feedwatch --save-ini round trips: a table sent by feedcast, saved by a
// running monitor and sent again from the saved file gives the same
// datagrams, Timestamp aside.  One case per kind, plain, compressed and in
// parts, and per other record size, all derived from the catalogue.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "feedcast/multipacket.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "support/multicast.h"
#include "support/packets.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr auto kWait = 5s;

// One table to send: its kind, record size, Encode and records per packet
// (0: one packet).
struct RoundTrip {
  const packet::Kind* kind;
  std::uint16_t record_size;
  int encode;
  int max_per_packet;
};

std::string name_of(const RoundTrip& c) {
  return std::string(c.kind->section) + "_" + std::to_string(c.record_size) +
         (c.encode == 1 ? "_compressed" : "_plain") + (c.max_per_packet > 0 ? "_in_parts" : "");
}

// Names a case in the test's listing.
void PrintTo(const RoundTrip& c, std::ostream* out) { *out << name_of(c); }

std::vector<RoundTrip> round_trips() {
  std::vector<RoundTrip> cases;
  for (long type = 1; const packet::Kind* kind = packet::find_kind(type); ++type) {
    std::vector<std::uint16_t> sizes{kind->record_size};
    for (const packet::RecordSizeChoice& c : kind->record_size_choices) sizes.push_back(c.size);
    for (const std::uint16_t size : sizes) {
      for (const int encode : {0, 1}) {
        cases.push_back({kind, size, encode, 0});
        if (kind->max_records > 1) cases.push_back({kind, size, encode, 2});
      }
    }
  }
  return cases;
}

// The records a table of the kind carries: three, or the kind's limit.
std::uint16_t records_of(const RoundTrip& c) {
  return static_cast<std::uint16_t>(std::min<int>(3, c.kind->max_records));
}

// A field's value in a record: distinct, negative in every third field,
// with the top bit in fields shown in hexadecimal, as wide as the field.
std::string value_of(const packet::Field& field, std::size_t f, unsigned r) {
  std::int64_t v = (r + 1) * 1000 + f;
  if (field.width == 2) return std::to_string(v & 0xFFFF);
  if (field.shown == packet::Shown::kHex) return std::to_string(0x80000000 | v);
  return std::to_string(f % 3 == 0 ? -v : v);
}

// The configuration file of a case, with a server name that needs quotes.
std::string ini_of(const RoundTrip& c) {
  const packet::Kind& kind = *c.kind;
  const packet::RecordLayout& layout = *kind.written_layout(c.record_size);
  std::string ini = "[MCast]\nMessageType=" + std::to_string(kind.message_type) +
                    "\nStatScheme=" + std::to_string(kind.message_type % 2) +
                    "\nServerName=\" Lab;#1 \"\nBuildNumber=9\n";
  const packet::VersionLayout& other = kind.version_layout;
  if (other.layout != nullptr && other.layout->size == c.record_size) {
    ini += "ReleaseNumber=" + std::to_string(other.release_number) +
           "\nMinorVersion=" + std::to_string(other.minor_version) + "\n";
  }
  if (c.max_per_packet > 0) ini += "MaxRecordsPerPacket=" + std::to_string(c.max_per_packet) + "\n";
  ini += "[" + std::string(kind.section) + "]\nNumber=" + std::to_string(records_of(c)) +
         "\nEncode=" + std::to_string(c.encode) + "\n";
  if (c.record_size != kind.record_size)
    ini += "RecordSize=" + std::to_string(c.record_size) + "\n";
  for (unsigned r = 0; r < records_of(c); ++r) {
    for (std::size_t f = 0; f < layout.fields.size(); ++f) {
      const packet::Field& field = layout.fields[f];
      if (field.keyed)
        ini += std::string(field.name) + std::to_string(r) + "=" + value_of(field, f, r) + "\n";
    }
  }
  return ini;
}

// Runs feedcast once with `file` in `dir` and returns the `parts` datagrams
// it sent, their Timestamp zeroed.
std::vector<Bytes> sent_by_feedcast(const test_support::TempDir& dir, const std::string& file,
                                    test_support::GroupReceiver& raw, std::uint32_t parts) {
  test_support::Process feedcast({FEEDCAST_PATH, "-q", "-c", "1", "-f", file}, dir.path());
  EXPECT_TRUE(feedcast.wait_for(kWait));
  EXPECT_EQ(feedcast.exit_status(), 0) << feedcast.errors();
  std::vector<Bytes> datagrams;
  for (std::uint32_t p = 0; p < parts; ++p) {
    std::optional<test_support::Datagram> d = raw.receive();
    if (!d) break;
    packet::write_number(d->bytes.data(), packet::header_field("Timestamp"), 0);
    datagrams.push_back(d->bytes);
  }
  return datagrams;
}

class SaveIni : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(SaveIni, TheSavedFileSendsTheSameDatagrams) {
  const RoundTrip& c = GetParam();
  test_support::TempDir dir;
  dir.write("first.ini", ini_of(c));
  const std::uint32_t parts = feedcast::part_count(records_of(c), c.max_per_packet);
  const int port = c.kind->port(static_cast<std::uint8_t>(c.kind->message_type % 2));
  test_support::GroupReceiver raw(static_cast<std::uint16_t>(port));
  test_support::Process watch({FEEDWATCH_PATH, "--save-ini", "saved.ini", "-c",
                               std::to_string(parts), std::to_string(port)},
                              dir.path());
  ASSERT_TRUE(watch.shows("adapter 0", kWait)) << watch.output() << watch.errors();
  const std::vector<Bytes> first = sent_by_feedcast(dir, "first.ini", raw, parts);
  ASSERT_EQ(first.size(), parts);
  ASSERT_TRUE(watch.wait_for(kWait));
  ASSERT_EQ(watch.exit_status(), 0) << watch.errors();
  const std::vector<Bytes> again = sent_by_feedcast(dir, "saved.ini", raw, parts);
  EXPECT_EQ(again, first) << test_support::read_file(dir.file("saved.ini"));
}

INSTANTIATE_TEST_SUITE_P(EveryKind, SaveIni, ::testing::ValuesIn(round_trips()),
                         [](const auto& info) { return name_of(info.param); });

}  // namespace
