// Pipeline: feedcast, with a value of its own for every keyed field in
// feedcast.ini, feeds a feedwatch on the matching port, which must show each
// value where the kind's record layout puts it, and a feedwatch --json, whose
// line must hold the same.  Compressed cases use the other scheme: all twelve
// ports.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include <nlohmann/json.hpp>

#include "feedwatch/record_display.h"
#include "packet/catalogue.h"
#include "support/console_capture.h"
#include "support/json_display.h"
#include "support/multicast.h"
#include "support/packets.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using test_support::Process;

// The records of a kind's table: two, or as many as the kind allows.
int records_of(const packet::Kind& kind) { return std::min<int>(2, kind.max_records); }

// The feedcast.ini lines that give every keyed field of `records` records a
// value of its own, above 65,535, and the records' display: what the
// monitor's record display shows for a table holding those values, each
// stored by its field's rule.
std::pair<std::string, std::string> fill(const packet::Kind& kind, int records) {
  const auto buffer = std::make_unique<feedwatch::PacketBuffer>();
  packet::HeaderFields header = test_support::default_fields(kind.message_type, records);
  header.release_number = 7;  // as feedcast.ini gives them below: the
  header.minor_version = 1;   // Agent Record shows in its 104-byte layout
  packet::write_header(buffer->data(), header);
  std::string keys;
  for (int r = 0; r < records; ++r) {
    std::uint8_t* record = buffer->data() + packet::kHeaderSize + r * kind.record_size;
    std::uint32_t value = 70000u * static_cast<std::uint32_t>(r + 1);
    for (const packet::Field& f : kind.layout->fields) {
      if (!f.keyed) continue;
      value += 1000;
      keys += std::string(f.name) + std::to_string(r) + "=" + std::to_string(value) + "\n";
      packet::store_field(record, f, value);
    }
  }
  test_support::CapturedConsole display;
  feedwatch::display_records(*buffer, display.console());
  return {keys, display.text()};
}

class PipelineTest : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(PipelineTest, ConfiguredValuesAppearOnTheMonitor) {
  ASSERT_TRUE(test_support::in_private_namespace()) << "run through scripts/in-private-netns";
  const packet::Kind& k = *packet::find_kind(std::get<0>(GetParam()));
  const int encode = std::get<1>(GetParam());
  const auto [keys, records] = fill(k, records_of(k));
  const std::string name(k.section);
  const std::string number = std::to_string(records_of(k)), e = std::to_string(encode);
  test_support::TempDir dir;
  dir.write("feedcast.ini",
            "[MCast]\nMessageType=" + std::to_string(k.message_type) + "\nStatScheme=" + e +
                "\nServerName=PIPE-" + name +
                "\nUpdateRate=1\nReleaseNumber=7\nMinorVersion=1\nBuildNumber=9\n[" + name +
                "]\nNumber=" + number + "\nEncode=" + e + "\n" + keys);
  const std::string port = std::to_string(k.port(static_cast<std::uint8_t>(encode)));
  Process watch({FEEDWATCH_PATH, port}, dir.path());
  Process json_watch({FEEDWATCH_PATH, "--json", "--count=1", port}, dir.path());
  ASSERT_TRUE(watch.shows("adapter 0 - 127.0.0.1\n", 5s)) << watch.output();
  ASSERT_TRUE(test_support::eventually(
      [&] { return json_watch.errors().find("adapter 0 - 127.0.0.1\n") != std::string::npos; }, 5s));

  Process cast({FEEDCAST_PATH}, dir.path());
  ASSERT_TRUE(watch.shows("Timestamp -> ", 8s)) << watch.output() << cast.errors();
  const std::string out = watch.output();
  const auto shown = [&](unsigned long timestamp) {
    return
      "Packet header id -> KEBO\nReserve bytes -> 0;0;0;0\nVersion -> 7;1;9\n\n"
      "Print single packet:\n" +
      std::string(encode ? "\nCompression is 'on', de-compress\n\nCompression was ON - data "
                           "uncompressed successfully.\n" : "") +
      "Server id -> PIPE-" + name + "\n" + std::string(k.title) +
      (encode ? "Moving Window" : "Interval to Date") + "\nTimestamp -> " +
      std::to_string(timestamp) + " = " + test_support::local_date(timestamp) + "NumRecord -> " +
      number + "\nRecordSize -> " + std::to_string(k.record_size) + "\n\nEncoding : " + e +
      "\n" + records;
  };
  const std::string expected = shown(std::stoul(out.substr(out.find("Timestamp -> ") + 13)));
  EXPECT_TRUE(watch.shows(expected, 5s)) << "expected:\n" << expected << "\nshown:\n" << out;

  // The q takes effect after the next packet, at most UpdateRate later.
  watch.send_input("q");
  ASSERT_TRUE(watch.wait_for(5s)) << "feedwatch did not stop";
  EXPECT_EQ(watch.exit_status(), 0);
  EXPECT_EQ(watch.errors(), "");
  EXPECT_FALSE(cast.wait_for(0ms)) << "feedcast stopped: " << cast.errors();

  ASSERT_TRUE(json_watch.wait_for(5s)) << json_watch.output();
  EXPECT_EQ(json_watch.exit_status(), 0);
  const auto line = nlohmann::ordered_json::parse(json_watch.output());
  EXPECT_EQ(test_support::text_from_json(line), shown(line["header"]["Timestamp"]));
  EXPECT_EQ(line["problems"].size(), k.message_type == 3 ? 2u : 0u) << line["problems"];
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, PipelineTest, ::testing::Combine(::testing::Range(1, 7), ::testing::Values(0, 1)),
    [](const auto& info) {
      return std::string(packet::find_kind(std::get<0>(info.param))->section) +
             (std::get<1>(info.param) ? "_Compressed" : "_Plain");
    });

// The records that a monitor's output shows, packet after packet: what
// follows each Encoding line up to the next packet.
std::string shown_records(const std::string& output) {
  std::string records;
  for (std::size_t at = output.find("\nEncoding : "); at != std::string::npos;
       at = output.find("\nEncoding : ", at)) {
    at = output.find('\n', at + 1) + 1;
    const std::size_t end = std::min(output.find("Packet header id", at), output.find("\nPrint packet", at));
    records += output.substr(at, end - at);
  }
  return records;
}

// A table sent in parts, compressed part by part, shows on the monitor as the
// same records as the single packet of the same table.
TEST(PipelineMultipacket, PartsShowTheRecordsOfTheSinglePacket) {
  ASSERT_TRUE(test_support::in_private_namespace()) << "run through scripts/in-private-netns";
  const auto [keys, records] = fill(*packet::find_kind(2), 5);
  test_support::TempDir dir;
  const std::string table = "ServerName=PARTS\n[Skillset]\nNumber=5\nEncode=1\n" + keys;
  dir.write("single.ini", "[MCast]\nMessageType=2\n" + table);
  dir.write("parts.ini", "[MCast]\nMessageType=2\nMaxRecordsPerPacket=2\n" + table);
  Process watch({FEEDWATCH_PATH, "6040"}, dir.path());
  ASSERT_TRUE(watch.shows("adapter 0 - 127.0.0.1\n", 5s)) << watch.output();

  for (const char* ini : {"single.ini", "parts.ini"}) {
    Process cast({FEEDCAST_PATH, "--config", ini, "--count", "1"}, dir.path());
    ASSERT_TRUE(cast.wait_for(5s));
    EXPECT_EQ(cast.exit_status(), 0) << cast.errors();
  }
  ASSERT_TRUE(watch.shows("\nPrint packet 3:\n", 5s)) << watch.output();
  watch.send_input("q");
  test_support::send_datagram(6040, test_support::make_packet(test_support::default_fields(2)));
  ASSERT_TRUE(watch.wait_for(5s));
  const std::string out = watch.output();
  const std::size_t parts = out.find("Reserve bytes -> 1;3;0;0\n");
  ASSERT_NE(parts, std::string::npos) << out;
  EXPECT_EQ(shown_records(out.substr(0, parts)), records) << out;
  EXPECT_EQ(shown_records(out.substr(parts)), records) << out;
}

}  // namespace
