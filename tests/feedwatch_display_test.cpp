// What the monitor shows for whole packets, as text and as JSON Lines, and the
// feed statistics of a crafted sequence, compared with baseline files.
// Run with UPDATE_BASELINES=1 to rewrite the baselines after a deliberate change.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <utility>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "feedcast/record_size.h"
#include "feedcast/transmit_loop.h"
#include "feedwatch/feed_statistics.h"
#include "feedwatch/json_output.h"
#include "feedwatch/packet_buffer.h"
#include "feedwatch/receive_loop.h"
#include "platform/system.h"
#include "portable/visible_controls.h"
#include "support/baseline.h"
#include "support/console_capture.h"
#include "support/packets.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using json = nlohmann::ordered_json;
using test_support::be32_words;
using test_support::default_fields;
using test_support::expect_baseline;
using test_support::make_packet;
using test_support::zlib_compress;

// A record of `words` 32-bit fields counting up from `first`.
std::vector<std::uint32_t> counting(std::size_t words, std::uint32_t first) {
  std::vector<std::uint32_t> v(words);
  std::iota(v.begin(), v.end(), first);
  return v;
}

// A Nodal packet of `records` records counting up from `key`, as part `number` of `count`.
Bytes nodal(std::uint16_t records, std::uint32_t key, std::uint8_t number = 0,
            std::uint8_t count = 0) {
  Bytes p = make_packet(default_fields(4, records), be32_words(counting(7 * records, key)));
  p[8] = number;
  p[9] = count;
  return p;
}

// The packet feedcast sends for an Agent table of two records of `size`
// bytes, every field of the layout it fills keyed with a value of its own.
Bytes agent_from_feedcast(std::uint16_t size) {
  const packet::Kind& agent = *packet::find_kind(3);
  const packet::RecordLayout& layout = *agent.written_layout(size);
  std::string text = "[MCast]\nMessageType=3\n";
  if (size == agent.version_layout.layout->size) {
    text += "ReleaseNumber=" + std::to_string(agent.version_layout.release_number) +
            "\nMinorVersion=" + std::to_string(agent.version_layout.minor_version) + "\n";
  }
  text += "[Agent]\nNumber=2\nRecordSize=" + std::to_string(size) + "\n";
  for (unsigned r = 0; r < 2; ++r) {
    for (std::size_t f = 0; f < layout.fields.size(); ++f) {
      text += std::string(layout.fields[f].name) + std::to_string(r) + "=" +
              std::to_string(f == 0 ? -1 : static_cast<int>(100 * r + f)) + "\n";
    }
  }
  test_support::TempDir dir;
  dir.write("feedcast.ini", text);
  platform::ProfileFile ini(dir.file("feedcast.ini"));
  const feedcast::SenderConfig config = feedcast::read_sender_config(ini);
  const packet::Kind kind = *feedcast::sized_kind(agent, config, ini);
  feedcast::PacketSource source(config, kind, ini);
  const packet::Datagram sent = source.next(1607198400)->front();
  return Bytes(sent.begin(), sent.end());
}

// Datagrams shown by a monitor of their own, and the baseline of their text.
struct Case {
  const char* baseline;
  std::vector<Bytes> datagrams;
};

std::vector<Case> cases() {
  auto application = counting(42, 1);
  application[1] = 0xFFFFFFFF;  // -1
  packet::HeaderFields skillset = default_fields(2, 3);
  skillset.stat_scheme = 1;
  skillset.encoding = 1;
  // An invalid kind and scheme, edge timestamps and names.
  packet::HeaderFields invalid = default_fields(9, 1);
  invalid.stat_scheme = 255;
  invalid.record_size = 10;
  invalid.timestamp = 2147483647u;
  invalid.server_name = u"ABCDEFGHIJKLMNOPQRST";
  Bytes invalid_packet = make_packet(invalid, Bytes(10, 1));
  invalid_packet[56] = 0x00;
  invalid_packet[57] = 0x41;  // NameTerminator is zeroed before the name is read
  packet::HeaderFields unnamed = default_fields(6, 0);
  unnamed.timestamp = 2147483648u;
  unnamed.server_name = u"";
  // Encoding 7 over plain records whose first byte is zero: a data error.
  packet::HeaderFields corrupt = default_fields(4, 1);
  corrupt.encoding = 7;
  // A stream that expands to more than the expansion buffer: not enough room.
  packet::HeaderFields no_room = default_fields(6, 1);
  no_room.encoding = 1;
  // An empty table, compressed.
  packet::HeaderFields empty = default_fields(5, 0);
  empty.encoding = 1;
  // Parts 2, 3 and 1 of a message around a single packet with the pending
  // timestamp; part 3 announces two records but carries one, and a Skillset
  // datagram cut after 30 bytes follows.
  Bytes part3 = nodal(1, 30, 3, 3);
  part3[65] = 2;
  packet::HeaderFields ten = default_fields(2, 1);
  ten.server_name = u"ABCDEFGHIJ";
  Bytes skillset30 = make_packet(ten);
  skillset30.resize(30);
  // Records cut short; quote, backslash, control, lone and paired surrogates in
  // the name and a foreign HeaderId; no bytes; PacketCount 1 makes a single
  // packet; a stored part's name stops at twenty units.
  Bytes cut = nodal(1, 1);
  cut.resize(72);
  packet::HeaderFields odd = default_fields(4, 0);
  odd.server_name = u"q\"\\\x01\xD800z\xD83D\xDE00";
  Bytes odd_name = make_packet(odd);
  odd_name[1] = 'X';
  packet::HeaderFields long_name = default_fields(4, 0);
  long_name.server_name = u"ABCDEFGHIJKLMNOPQRST";
  Bytes stored_name = make_packet(long_name);
  stored_name[9] = 2;
  stored_name[57] = 'Z';
  // Random datagrams of up to 400 bytes without records, some of them parts.
  std::vector<Bytes> hostile;
  std::mt19937 random(14);
  for (int i = 0; i < 40; ++i) {
    Bytes r(random() % 400);
    for (auto& b : r) b = static_cast<std::uint8_t>(random());
    if (r.size() > 9) r[9] = static_cast<std::uint8_t>(random() % 4);
    if (r.size() > 65) r[64] = r[65] = 0;
    hostile.push_back(r);
  }
  return {
      {"application", {make_packet(default_fields(1, 2), be32_words(application))}},
      {"skillset_compressed",
       {make_packet(skillset, zlib_compress(be32_words(counting(3 * 29, 1000))))}},
      {"agent_104", {agent_from_feedcast(104)}},
      {"agent_108", {agent_from_feedcast(108)}},
      {"nodal", {make_packet(default_fields(4, 1), be32_words({0, 10, 8, 2, 3, 1, 0}))}},
      {"ivr", {make_packet(default_fields(5, 1), be32_words({255, 1, 2, 3, 4, 5, 6, 7}))}},
      {"route",
       {make_packet(default_fields(6, 2), {0, 0, 0, 7, 0x02, 0x01, 0,    0,    0,    9,
                                           0, 0, 0, 8, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF})}},
      {"invalid_kind_scheme", {invalid_packet, make_packet(unnamed)}},
      {"expansion",
       {make_packet(corrupt, be32_words({5, 6, 7, 8, 9, 10, 11})),
        make_packet(no_room, zlib_compress(Bytes(100, 0x11))),
        make_packet(empty, zlib_compress({}))}},
      {"multipacket", {nodal(2, 20, 2, 3), nodal(1, 70), part3, nodal(1, 10, 1, 3), skillset30}},
      {"odd_datagrams", {cut, odd_name, {}, nodal(1, 40, 7, 1), stored_name, stored_name}},
      {"hostile_datagrams", hostile},
  };
}

// The dates depend on the host's time zone; the baselines carry a marker.
std::string without_dates(std::string text, const std::vector<Bytes>& datagrams) {
  for (const Bytes& d : datagrams) {
    const std::string date =
        platform::local_date_text(d.size() >= 64 ? packet::load_be32(d.data() + 60) : 0);
    for (std::size_t at; (at = text.find(date)) != std::string::npos;) {
      text.replace(at, date.size(), "@DATE@\n");
    }
  }
  return text;
}

// The same datagrams through a text monitor and a JSON monitor: their texts.
// The JSON monitor's other lines would land among its JSON lines.
std::pair<std::string, std::string> run_both(const std::vector<Bytes>& datagrams) {
  test_support::CapturedConsole text;
  test_support::CapturedConsole json_lines;
  feedwatch::JsonLines json_out(json_lines.stream());
  feedwatch::Monitor text_monitor(text.console());
  feedwatch::Monitor json_monitor(json_lines.console(), &json_out);
  feedwatch::Arrival arrival;
  arrival.source = {platform::parse_dotted("192.0.2.7"), 6040};
  arrival.received = std::chrono::sys_days(std::chrono::year{2026} / 12 / 7) +
                     std::chrono::microseconds(4829123456);
  for (const Bytes& d : datagrams) {
    test_support::hand(text_monitor, d, arrival);
    test_support::hand(json_monitor, d, arrival);
  }
  return {text.text(), json_lines.text()};
}

TEST(PrintPacket, TextAndJsonOfEveryCaseMatchTheBaselines) {
  std::string json_lines;
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.baseline);
    const auto [text, json] = run_both(c.datagrams);
    expect_baseline(c.baseline, without_dates(text, c.datagrams));
    json_lines += json;
  }
  expect_baseline("json_lines", json_lines);
}

// NumRecord 65,535 Route Records: only those wholly inside the buffer show;
// a compressed table larger than the buffer cannot overflow it.
TEST(PrintPacket, TablesBeyondTheBufferStopAtItsEnd) {
  packet::HeaderFields huge = default_fields(2, 65535);
  huge.encoding = 1;
  const auto [text, json_lines] = run_both(
      {make_packet(default_fields(6, 65535)), make_packet(huge, zlib_compress(Bytes(70000, 0)))});
  const std::size_t end = json_lines.find('\n');
  const json route = json::parse(json_lines.substr(0, end));
  const json skillset = json::parse(json_lines.substr(end + 1));
  EXPECT_EQ(route["records"].size(), (feedwatch::kPacketBufferSize - 68) / 10);
  EXPECT_EQ(route["problems"][0],
            "records 6547 to 65535 lie beyond the end of the buffer and are not shown");
  EXPECT_EQ(skillset["expansion"], "no room");
  std::size_t shown = 0;
  for (std::size_t at = 0; (at = text.find("*****\n\n", at)) != std::string::npos; ++at) ++shown;
  EXPECT_EQ(shown, route["records"].size() + skillset["records"].size());
}

// Two streams, a duplicate, a timestamp going back, a short datagram, a
// foreign HeaderId, a failed expansion, a group that merges parts of two
// messages, and a group that a part of a later one drops from the full store
// (the monitor says so); a third stream, every 100 ms, then 400 ms later: a
// gap that would have held 3 packets.
TEST(FeedStatistics, CountTheCraftedSequence) {
  using namespace std::chrono_literals;
  const auto start = feedwatch::SteadyClock::time_point{} + 100s;
  feedwatch::FeedStatistics stats(start);
  test_support::CapturedConsole out;
  test_support::CapturedConsole json_file;
  feedwatch::JsonLines json_lines(json_file.stream());
  feedwatch::Monitor monitor(out.console(), &json_lines, &stats);
  const Bytes a1 = make_packet(default_fields(4, 0));
  packet::HeaderFields later = default_fields(4, 0);
  later.timestamp += 10;
  const Bytes a2 = make_packet(later);
  packet::HeaderFields other = default_fields(6, 0);
  other.server_name = std::u16string(u"B");
  other.stat_scheme = 1;
  other.encoding = 1;  // a table that does not expand
  Bytes b = make_packet(other, {1, 2, 3});
  b[0] = 'X';
  Bytes later_part = nodal(1, 1, 1, 2);
  ++later_part[63];  // one second later: a group of its own
  const struct {
    Bytes bytes;
    std::chrono::milliseconds at;
  } sequence[] = {{a1, 0ms},
                  {a2, 1000ms},
                  {a2, 2500ms},
                  {a1, 3000ms},
                  {b, 3100ms},
                  {Bytes(20), 3200ms},
                  {nodal(1, 1, 1, 3), 3300ms},
                  {nodal(1, 1, 1, 2), 3400ms},
                  {nodal(1, 1, 2, 2), 3500ms},
                  {later_part, 3600ms}};
  for (const auto& s : sequence) {
    feedwatch::Arrival arrival;
    arrival.at = start + s.at;
    if (s.bytes == later_part) {
      // Parts of groups of their own, too short to be packets, fill the store
      // up to one part short of full.
      for (std::uint32_t t = 1; t < feedwatch::kStoreCapacity; ++t) {
        Bytes filler(64);
        filler[9] = 2;
        packet::store_be32(filler.data() + 60, t);
        test_support::hand(monitor, filler, arrival);
      }
    }
    test_support::hand(monitor, s.bytes, arrival);
  }
  EXPECT_TRUE(out.text().ends_with(
      "Multipacket store full - dropping 1 stored packet(s) of time 1607198400\n"));
  packet::HeaderFields regular = default_fields(4, 0);
  regular.server_name = u"G";
  for (int n = 0; n <= 12; ++n) {
    feedwatch::Arrival arrival;
    arrival.at = start + std::chrono::milliseconds(n < 12 ? n * 100 : 1500);
    test_support::hand(monitor, make_packet(regular), arrival);
  }
  std::string text = stats.text_summary(monitor.store(), start + 4500ms);
  text += stats.json_summary(monitor.store(), start + 4500ms) + "\n";
  expect_baseline("statistics", text);
}

// Texts that carry terminal controls.  On a terminal every text taken from
// the datagram shows them as escapes: the header id line, "Server id", the
// storing line and the statistics' streams, while the monitor's own text
// stays as it is; on a file or a pipe the bytes pass as they came.
TEST(PrintPacket, ControlsFromTheDatagramShowEscapedOnATerminal) {
  std::string texts[2];
  for (const bool terminal : {false, true}) {
    test_support::CapturedConsole out(terminal);
    feedwatch::FeedStatistics stats({});
    feedwatch::Monitor monitor(out.console(), nullptr, &stats);
    test_support::hand(monitor, test_support::controls_packet());
    test_support::hand(monitor, test_support::controls_packet(2));
    // The statistics as Monitor::report() prints them, at a fixed time.
    out.console().print("%s", stats.text_summary(monitor.store(), {}));
    texts[terminal] = out.text();
  }
  const std::string name = test_support::kControlsName;
  const std::string header_id =
      "id -> K\x1b"
      "BO\n";
  for (const std::string& line : {header_id, "Server id -> " + name + "\n", " from " + name + "\n",
                                  "Stream " + name + ", "}) {
    EXPECT_NE(texts[0].find(line), std::string::npos) << line;
  }
  std::string escaped;
  portable::append_visible(escaped, texts[0]);
  EXPECT_NE(escaped, texts[0]);
  EXPECT_EQ(texts[1], escaped);
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
  EXPECT_EQ(platform::local_date_text(2147483648u).substr(20), "2038\n");
}

}  // namespace
