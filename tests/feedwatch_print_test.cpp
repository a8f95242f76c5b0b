// What the monitor prints for whole packets, compared with baseline files.
// Run with UPDATE_BASELINES=1 to rewrite the baselines after a deliberate change.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "feedwatch/packet_buffer.h"
#include "feedwatch/receive_loop.h"
#include "packet/catalogue.h"
#include "platform/system.h"
#include "support/console_capture.h"
#include "support/packets.h"

namespace {

using test_support::be32_words;
using test_support::default_fields;
using test_support::make_packet;
using test_support::zlib_compress;

// The dates depend on the host's time zone; the baselines carry a marker.
std::string without_dates(std::string text, const std::vector<std::uint32_t>& timestamps) {
  for (std::uint32_t t : timestamps) {
    const std::string date = platform::local_date_text(t);
    for (std::size_t at; (at = text.find(date)) != std::string::npos;) {
      text.replace(at, date.size(), "@DATE@\n");
    }
  }
  return text;
}

// Prints datagrams as the receive loop does and returns the text.
std::string monitor(const std::vector<std::vector<std::uint8_t>>& datagrams) {
  test_support::CapturedConsole out;
  feedwatch::Monitor monitor(out.console());
  const auto buffer = std::make_unique<feedwatch::PacketBuffer>();
  buffer->fill(0xCD);
  std::vector<std::uint32_t> timestamps;
  for (const auto& d : datagrams) {
    std::copy(d.begin(), d.end(), buffer->begin());
    timestamps.push_back(d.size() >= 64 ? packet::load_be32(d.data() + 60) : 0);
    monitor.handle_datagram(*buffer, {.length = d.size()});
  }
  return without_dates(out.text(), timestamps);
}

void expect_baseline(const std::string& name, const std::string& text) {
  const std::string path = std::string(BASELINE_DIR) + "/" + name + ".txt";
  if (std::getenv("UPDATE_BASELINES")) std::ofstream(path, std::ios::binary) << text;
  EXPECT_EQ(text, test_support::read_file(path)) << "baseline " << path;
}

// A record of `words` 32-bit fields counting up from `first`.
std::vector<std::uint32_t> counting(std::size_t words, std::uint32_t first) {
  std::vector<std::uint32_t> v(words);
  for (std::size_t i = 0; i < words; ++i) v[i] = first + static_cast<std::uint32_t>(i);
  return v;
}

TEST(PrintPacket, ApplicationRecords) {
  auto words = counting(21, 1);
  words[1] = 0xFFFFFFFF;  // -1
  auto second = counting(21, 101);
  words.insert(words.end(), second.begin(), second.end());
  expect_baseline("application", monitor({make_packet(default_fields(1, 2), be32_words(words))}));
}

TEST(PrintPacket, CompressedSkillsetRecordsInMovingWindow) {
  packet::HeaderFields f = default_fields(2, 3);
  f.stat_scheme = 1;
  f.encoding = 1;
  std::vector<std::uint32_t> words;
  for (std::uint32_t r = 0; r < 3; ++r) {
    auto w = counting(29, 1000 * (r + 1));
    words.insert(words.end(), w.begin(), w.end());
  }
  expect_baseline("skillset_compressed", monitor({make_packet(f, zlib_compress(be32_words(words)))}));
}

TEST(PrintPacket, AgentRecordsInBothLayouts) {
  auto words = counting(27, 0x10);  // 108 bytes: room for either stride
  words[0] = 0xFFFFFFFF;
  words[1] = 4660;
  expect_baseline("agent_104", monitor({make_packet(default_fields(3, 1), be32_words(words))}));
  packet::HeaderFields f = default_fields(3, 1);
  f.release_number = 8;
  f.minor_version = 4;
  expect_baseline("agent_108", monitor({make_packet(f, be32_words(words))}));
}

TEST(PrintPacket, NodalIvrAndRouteRecords) {
  expect_baseline("nodal", monitor({make_packet(default_fields(4, 1),
                                                be32_words({0, 10, 8, 2, 3, 1, 0}))}));
  expect_baseline("ivr", monitor({make_packet(default_fields(5, 1),
                                              be32_words({255, 1, 2, 3, 4, 5, 6, 7}))}));
  const std::vector<std::uint8_t> routes = {0, 0, 0, 7, 0x02, 0x01, 0, 0, 0, 9,
                                            0, 0, 0, 8, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
  expect_baseline("route", monitor({make_packet(default_fields(6, 2), routes)}));
}

TEST(PrintPacket, InvalidKindAndSchemeWithEdgeTimestampsAndNames) {
  packet::HeaderFields f = default_fields(9, 1);
  f.stat_scheme = 255;
  f.record_size = 10;
  f.timestamp = 2147483647u;
  f.server_name = u"ABCDEFGHIJKLMNOPQRST";
  packet::HeaderFields g = default_fields(6, 0);
  g.timestamp = 2147483648u;
  g.server_name = u"";
  auto a = make_packet(f, std::vector<std::uint8_t>(10, 1));
  a[56] = 0x00;
  a[57] = 0x41;  // NameTerminator is zeroed before the name is read
  expect_baseline("invalid_kind_scheme", monitor({a, make_packet(g)}));
}

TEST(PrintPacket, ExpansionOutcomes) {
  // Encoding 7 over plain records whose first byte is zero: a data error.
  packet::HeaderFields plain = default_fields(4, 1);
  plain.encoding = 7;
  // A stream that expands to more than the expansion buffer: not enough room.
  packet::HeaderFields small = default_fields(6, 1);
  small.encoding = 1;
  // An empty table, compressed.
  packet::HeaderFields empty = default_fields(5, 0);
  empty.encoding = 1;
  expect_baseline(
      "expansion",
      monitor({make_packet(plain, be32_words({5, 6, 7, 8, 9, 10, 11})),
               make_packet(small, zlib_compress(std::vector<std::uint8_t>(100, 0x11))),
               make_packet(empty, zlib_compress({}))}));
}

// Parts 2, 3 and 1 of a Nodal message around a single packet with the
// pending timestamp; part 3 announces two records but carries one, and a
// Skillset datagram cut after 30 bytes follows.
TEST(PrintPacket, MultiPacketMessageAndShortDatagrams) {
  auto nodal = [](std::uint16_t records, std::uint32_t key, int number, int count) {
    auto p = make_packet(default_fields(4, records), be32_words(counting(7 * records, key)));
    p[8] = static_cast<std::uint8_t>(number);
    p[9] = static_cast<std::uint8_t>(count);
    return p;
  };
  auto part3 = nodal(1, 30, 3, 3);
  part3[65] = 2;
  packet::HeaderFields f = default_fields(2, 1);
  f.server_name = u"ABCDEFGHIJ";
  auto skillset = make_packet(f);
  skillset.resize(30);
  expect_baseline("multipacket", monitor({nodal(2, 20, 2, 3), nodal(1, 70, 0, 0), part3,
                                          nodal(1, 10, 1, 3), skillset}));
}

TEST(PrintPacket, RecordsStopAtTheBufferEnd) {
  // NumRecord 65,535 Route Records: only those wholly inside the buffer show.
  const std::string text = monitor({make_packet(default_fields(6, 65535))});
  std::size_t separators = 0;
  for (std::size_t at = 0; (at = text.find("*\n\n", at)) != std::string::npos; ++at) ++separators;
  EXPECT_EQ(separators, (65536u - 68u) / 10u);
}

TEST(PrintPacket, ACompressedTableLargerThanTheBufferCannotOverflowIt) {
  packet::HeaderFields f = default_fields(2, 65535);
  f.encoding = 1;
  const std::string text =
      monitor({make_packet(f, zlib_compress(std::vector<std::uint8_t>(70000, 0)))});
  EXPECT_NE(text.find("\nCompression was ON - not enough room in the output buffer\n"),
            std::string::npos);
}

TEST(LocalDate, ZeroPaddedDayInTheSystemZoneWhateverTzSays) {
  setenv("TZ", "America/New_York", 1);
  const std::string date = platform::local_date_text(1607198400);
  EXPECT_EQ(std::getenv("TZ"), nullptr);
  tm local{};
  const time_t t = 1607198400;
  localtime_r(&t, &local);
  char expected[64];
  std::strftime(expected, sizeof expected, "%a %b %d %H:%M:%S %Y\n", &local);
  EXPECT_EQ(date, expected);
  EXPECT_EQ(date.size(), 25u);
  EXPECT_EQ(platform::local_date_text(2147483648u).substr(20), "2038\n");
}

}  // namespace
