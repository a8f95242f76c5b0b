// The JSON display: every line parses as JSON and holds what the text display
// shows for the same datagram, rebuilt through the layout tables; strings are
// escaped whatever arrives; the feed statistics count a crafted sequence.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "feedwatch/feed_statistics.h"
#include "feedwatch/json_output.h"
#include "feedwatch/receive_loop.h"
#include "support/console_capture.h"
#include "support/json_display.h"
#include "support/packets.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using json = nlohmann::ordered_json;
using test_support::be32_words;
using test_support::default_fields;
using test_support::make_packet;
using test_support::zlib_compress;

// A Nodal part `number` of `count` whose DummyKey is `tag`.
Bytes part(std::uint8_t number, std::uint8_t count, std::uint32_t tag) {
  Bytes p = make_packet(default_fields(4, 1), be32_words({tag, 1, 2, 3, 4, 5, 6}));
  p[8] = number;
  p[9] = count;
  return p;
}

// The datagrams of the display tests and the hostile ones.
std::vector<Bytes> every_case() {
  std::vector<Bytes> d;
  std::vector<std::uint32_t> words(42);
  for (std::uint32_t i = 0; i < words.size(); ++i) words[i] = i * 7919u;
  words[1] = 0xFFFFFFFF;
  d.push_back(make_packet(default_fields(1, 2), be32_words(words)));
  packet::HeaderFields skillset = default_fields(2, 3);
  skillset.stat_scheme = 1;
  skillset.encoding = 1;
  d.push_back(make_packet(skillset, zlib_compress(be32_words(std::vector<std::uint32_t>(87, 0x80000001)))));
  const auto agent = be32_words(std::vector<std::uint32_t>(words.begin(), words.begin() + 27));
  d.push_back(make_packet(default_fields(3, 1), agent));
  packet::HeaderFields agent84 = default_fields(3, 1);
  agent84.release_number = 8;
  agent84.minor_version = 4;
  d.push_back(make_packet(agent84, agent));
  d.push_back(make_packet(default_fields(4, 1), be32_words({0, 10, 8, 2, 3, 1, 0})));
  d.push_back(make_packet(default_fields(5, 1), be32_words({255, 1, 2, 3, 4, 5, 6, 7})));
  d.push_back(make_packet(default_fields(6, 2), {0, 0, 0, 7, 0x02, 0x01, 0, 0, 0, 9,
                                                 0, 0, 0, 8, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
  packet::HeaderFields invalid = default_fields(9, 1);
  invalid.stat_scheme = 255;
  invalid.timestamp = 2147483648u;
  invalid.server_name = u"ABCDEFGHIJKLMNOPQRST";
  Bytes a = make_packet(invalid, Bytes(10, 1));
  a[57] = 0x41;  // NameTerminator as it arrived
  d.push_back(a);
  packet::HeaderFields corrupt = default_fields(4, 1);
  corrupt.encoding = 7;
  d.push_back(make_packet(corrupt, be32_words({5, 6, 7, 8, 9, 10, 11})));
  packet::HeaderFields no_room = default_fields(6, 1);
  no_room.encoding = 1;
  d.push_back(make_packet(no_room, zlib_compress(Bytes(100, 0x11))));
  packet::HeaderFields empty = default_fields(5, 0);
  empty.encoding = 1;
  d.push_back(make_packet(empty, zlib_compress({})));
  d.push_back(make_packet(default_fields(6, 65535)));  // records cut at the buffer's end
  packet::HeaderFields huge = default_fields(2, 65535);
  huge.encoding = 1;
  d.push_back(make_packet(huge, zlib_compress(Bytes(70000, 0))));
  Bytes cut = make_packet(default_fields(4, 1), be32_words({1, 2, 3, 4, 5, 6, 7}));
  cut.resize(72);
  d.push_back(cut);
  packet::HeaderFields odd = default_fields(4, 0);
  odd.server_name = u"q\"\\\x01\xD800z\xD83D\xDE00";  // quote, backslash, control, lone and paired surrogates
  Bytes odd_id = make_packet(odd);
  odd_id[1] = 'X';
  d.push_back(odd_id);
  Bytes thirty = make_packet(default_fields(2, 0));
  thirty.resize(30);
  d.push_back(thirty);
  d.push_back({});
  for (Bytes p : {part(2, 3, 20), make_packet(default_fields(4, 1), be32_words({70, 0, 0, 0, 0, 0, 0})),
                  part(3, 3, 30), part(1, 3, 10)}) {
    d.push_back(p);
  }
  std::mt19937 random(14);
  for (int i = 0; i < 40; ++i) {
    Bytes r(random() % 400);
    for (auto& b : r) b = static_cast<std::uint8_t>(random());
    if (r.size() > 9) r[9] = static_cast<std::uint8_t>(random() % 4);
    if (r.size() > 65) r[64] = r[65] = 0;  // few records
    d.push_back(r);
  }
  return d;
}

// The same datagrams through a text monitor and a JSON monitor.
struct Both {
  std::string text;
  std::vector<json> lines;
  std::string other_lines;  // what the JSON monitor printed besides
};

Both run_both(const std::vector<Bytes>& datagrams) {
  test_support::CapturedConsole text;
  test_support::CapturedConsole other;
  test_support::CapturedFile json_file;
  feedwatch::JsonLines json(json_file.stream());
  feedwatch::Monitor text_monitor(text.console());
  feedwatch::Monitor json_monitor(other.console(), &json);
  const auto buffer = std::make_unique<feedwatch::PacketBuffer>();
  buffer->fill(0xCD);
  for (const Bytes& d : datagrams) {
    feedwatch::Arrival arrival;
    arrival.length = d.size();
    arrival.source = {platform::parse_dotted("192.0.2.7"), 6040};
    arrival.received = std::chrono::sys_days(std::chrono::year{2026} / 12 / 7) +
                       std::chrono::microseconds(4829123456);
    std::copy(d.begin(), d.end(), buffer->begin());
    text_monitor.handle_datagram(*buffer, arrival);
    std::copy(d.begin(), d.end(), buffer->begin());
    json_monitor.handle_datagram(*buffer, arrival);
  }
  Both both{text.text(), {}, other.text()};
  const std::string lines = json_file.text();
  for (std::size_t at = 0, end; (end = lines.find('\n', at)) != std::string::npos; at = end + 1) {
    both.lines.push_back(json::parse(lines.substr(at, end - at)));
  }
  return both;
}

TEST(JsonDisplay, EveryLineHoldsWhatTheTextDisplayShows) {
  const std::vector<Bytes> datagrams = every_case();
  const Both both = run_both(datagrams);
  std::string rebuilt;
  for (const json& line : both.lines) rebuilt += test_support::text_from_json(line);
  EXPECT_EQ(rebuilt, test_support::without_storing_lines(both.text));
  EXPECT_EQ(both.other_lines, "");
}

TEST(JsonDisplay, KeysArrivalProblemsAndParts) {
  const std::vector<Bytes> datagrams = every_case();
  const Both both = run_both(datagrams);
  const json& first = both.lines[0];
  std::vector<std::string> keys;
  for (const auto& item : first.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"type", "schema", "received", "source", "length", "header",
                                            "kind", "scheme", "expansion", "records", "problems"}));
  keys.clear();
  for (const auto& item : first["header"].items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"HeaderId", "PacketNumber", "PacketCount", "Reserved1",
                                            "Reserved2", "Encoding", "ReleaseNumber", "MinorVersion",
                                            "BuildNumber", "ServerName", "NameTerminator", "MessageType",
                                            "StatScheme", "Timestamp", "NumRecord", "RecordSize"}));
  EXPECT_EQ(first["received"], "2026-12-07T01:20:29.123456Z");
  EXPECT_EQ(first["source"], "192.0.2.7:6040");
  EXPECT_EQ(first["length"], datagrams[0].size());
  EXPECT_EQ(first["problems"], json::array());
  EXPECT_EQ(first["records"][0]["CallsAbandoned"], -1);

  const auto find = [&](std::size_t index) { return both.lines.at(index); };
  EXPECT_EQ(find(7)["header"]["NameTerminator"], 0x41);
  EXPECT_EQ(find(7)["header"]["Timestamp"], 2147483648u);
  EXPECT_EQ(find(7)["problems"], json({"unknown MessageType 9: no records shown", "unknown StatScheme 255"}));
  EXPECT_EQ(find(2)["problems"], json({"RecordSize 84 differs from the 104 bytes the records are read by"}));
  EXPECT_EQ(find(11)["problems"], json({"records 6547 to 65535 lie beyond the end of the buffer and "
                                        "are not shown", "records 1 to 6546 lie beyond the 0 bytes of "
                                        "records received and show what the buffer held"}));
  EXPECT_EQ(find(14)["header"]["ServerName"], "q\"\\\x01\xEF\xBF\xBDz\xF0\x9F\x98\x80");
  EXPECT_EQ(find(14)["header"]["HeaderId"], "XEBO");
  EXPECT_EQ(find(14)["problems"], json({"HeaderId is not KEBO"}));
  EXPECT_EQ(find(16)["length"], 0);
  EXPECT_EQ(find(16)["problems"][0], "datagram of 0 bytes is shorter than the 68-byte header; the "
                                     "missing bytes read as zero");
  EXPECT_FALSE(find(17).contains("message"));  // the single packet amid the parts
  EXPECT_EQ(find(18)["message"], json({{"part", 1}, {"of", 3}, {"time", 1607198400}}));
  EXPECT_EQ(find(18)["records"][0]["DummyKey"], 20);
  EXPECT_EQ(find(20)["records"][0]["DummyKey"], 10);
}

// A crafted sequence: two streams, a duplicate, a timestamp going back, a
// short datagram, a foreign HeaderId, a failed expansion and an incomplete group.
TEST(FeedStatistics, CountTheCraftedSequence) {
  using namespace std::chrono_literals;
  const auto start = feedwatch::SteadyClock::time_point{} + 100s;
  feedwatch::FeedStatistics stats(start);
  test_support::CapturedConsole out;
  test_support::CapturedFile json_file;
  feedwatch::JsonLines json_lines(json_file.stream());
  feedwatch::Monitor monitor(out.console(), &json_lines, &stats);
  const auto buffer = std::make_unique<feedwatch::PacketBuffer>();
  const Bytes a1 = make_packet(default_fields(4, 0));
  packet::HeaderFields later = default_fields(4, 0);
  later.timestamp += 10;
  const Bytes a2 = make_packet(later);
  packet::HeaderFields other = default_fields(6, 0);
  other.server_name = u"B";
  other.stat_scheme = 1;
  other.encoding = 1;  // a table that does not expand
  Bytes b = make_packet(other, {1, 2, 3});
  b[0] = 'X';
  const struct {
    Bytes bytes;
    std::chrono::milliseconds at;
  } sequence[] = {{a1, 0ms},    {a2, 1000ms}, {a2, 2500ms}, {a1, 3000ms}, {b, 3100ms},
                  {Bytes(20), 3200ms}, {part(1, 3, 5), 3300ms}, {part(1, 2, 6), 3400ms},
                  {part(2, 2, 7), 3500ms}};
  std::uint64_t bytes = 0;
  for (const auto& s : sequence) {
    std::copy(s.bytes.begin(), s.bytes.end(), buffer->begin());
    feedwatch::Arrival arrival;
    arrival.length = s.bytes.size();
    arrival.at = start + s.at;
    bytes += s.bytes.size();
    monitor.handle_datagram(*buffer, arrival);
  }
  const json summary = json::parse(stats.json_summary(monitor.store(), start + 4500ms));
  const json expected = {
      {"type", "summary"}, {"schema", 1}, {"seconds", 4.5}, {"datagrams", 9}, {"bytes", bytes},
      {"displayed", 8}, {"short", 1}, {"bad_header_id", 1}, {"expansion_failures", 1},
      {"multipacket", {{"completed", 1}, {"incomplete_groups", 1}, {"parts_held", 1}, {"parts_dropped", 0}}},
      {"streams",
       {{{"server", "CC1"}, {"kind", "Nodal"}, {"scheme", "Interval to Date"}, {"packets", 7},
         {"first_timestamp", 1607198400}, {"last_timestamp", 1607198400},
         {"interval_ms", {{"min", 100.0}, {"mean", 583.333}, {"max", 1500.0}}},
         {"backwards", 1}, {"duplicates", 1}},
        {{"server", "B"}, {"kind", "Route"}, {"scheme", "Moving Window"}, {"packets", 1},
         {"first_timestamp", 1607198400}, {"last_timestamp", 1607198400},
         {"interval_ms", {{"min", nullptr}, {"mean", nullptr}, {"max", nullptr}}},
         {"backwards", 0}, {"duplicates", 0}}}}};
  EXPECT_EQ(summary.dump(), json(expected).dump());
  const std::string text = stats.text_summary(monitor.store(), start + 4500ms);
  EXPECT_NE(text.find("Datagrams: 9 (" + std::to_string(bytes) + " bytes), displayed: 8\n"), std::string::npos);
  EXPECT_NE(text.find("Stream B, Route, Moving Window: 1 packet(s)"), std::string::npos);
}

}  // namespace
