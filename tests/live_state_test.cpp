// The live view's state, without a network: the hand-over from the loop,
// the ring of events and its limits, the streams' tables, the rates, the
// metrics and the page's files.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "feedwatch/live/event_ring.h"
#include "feedwatch/live/inbox.h"
#include "feedwatch/live/metrics_text.h"
#include "feedwatch/live/page_files.h"
#include "feedwatch/live/published_state.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "support/baseline.h"
#include "support/packets.h"

namespace {

using namespace std::chrono_literals;
using feedwatch::EventRing;
using feedwatch::HandedOver;
using feedwatch::MessagePart;
using feedwatch::StreamId;
using feedwatch::Taken;
using Json = nlohmann::ordered_json;

std::shared_ptr<const std::string> text(const std::string& s) {
  return std::make_shared<const std::string>(s);
}

HandedOver packet(const std::string& json, const StreamId& stream,
                  std::optional<MessagePart> part = std::nullopt) {
  return {HandedOver::Type::kPacket, text(json), stream, part, std::nullopt};
}

HandedOver summary(const std::string& json) {
  return {HandedOver::Type::kSummary, text(json), {}, std::nullopt, std::nullopt};
}

TEST(LiveRing, ServesAClientUpTo1000EventsBehindAndWhileItsEventsAreKept) {
  EventRing ring;
  for (int i = 0; i < 1500; ++i) ring.add({feedwatch::kPacketEvent, text("{}")});
  struct Case {
    std::uint64_t next;
    bool served;
  } cases[] = {{1500, true}, {500, true}, {499, false}, {0, false}};
  for (const Case& c : cases) EXPECT_EQ(ring.can_serve(c.next), c.served) << c.next;
  EXPECT_EQ(*ring.at(1499).data, "{}");

  // Large events give way by bytes long before 1000 of them are kept.
  EventRing large;
  const auto big = text(std::string(feedwatch::kMaxKeptEventBytes / 10, 'x'));
  for (int i = 0; i < 20; ++i) large.add({feedwatch::kPacketEvent, big});
  EXPECT_TRUE(large.can_serve(10));
  EXPECT_FALSE(large.can_serve(9));
}

// A stream's message is handed over when its last one came at least 50 ms
// before and the server has taken it; else it is skipped, and counted.  The
// server is woken once per take.
TEST(LiveInbox, HandsOverAStreamsMessagesOneAtATimeAndSpacedApart) {
  feedwatch::Inbox inbox;
  const StreamId cc1{"CC1", 2, 0};
  const StreamId cc2{"CC2", 2, 0};
  const std::chrono::steady_clock::time_point t0{};
  ASSERT_TRUE(inbox.admit(cc1, t0));
  EXPECT_TRUE(inbox.put(packet("0", cc1)));
  EXPECT_FALSE(inbox.admit(cc1, t0 + 60ms));  // the last one waits
  ASSERT_TRUE(inbox.admit(cc2, t0 + 10ms));
  EXPECT_FALSE(inbox.put(packet("1", cc2)));
  feedwatch::MetricsSnapshot counters;
  counters.datagrams = 7;
  inbox.put(summary("{}"), counters);
  Taken taken = inbox.take();
  EXPECT_EQ(taken.items.size(), 3u);
  EXPECT_EQ(taken.skipped, 1u);
  EXPECT_EQ(taken.counters->datagrams, 7u);
  EXPECT_FALSE(inbox.admit(cc2, t0 + 59ms));  // taken, but too soon
  ASSERT_TRUE(inbox.admit(cc1, t0 + 60ms));

  // Past the most bytes, or the most messages, that may wait, every stream
  // is skipped.
  EXPECT_TRUE(inbox.put(packet(std::string(feedwatch::kMaxWaitingBytes + 1, ' '), cc1)));
  EXPECT_FALSE(inbox.admit(cc2, t0 + 1s));
  EXPECT_EQ(inbox.take().skipped, 3u);
  for (std::size_t n = 0; n < feedwatch::kMaxWaitingMessages; ++n) {
    ASSERT_TRUE(inbox.admit({std::to_string(n), 2, 0}, t0 + 1s));
  }
  EXPECT_FALSE(inbox.admit(cc2, t0 + 1s));
  inbox.take();
  EXPECT_TRUE(inbox.admit(cc2, t0 + 1s));
}

// A packet handed over as the bytes the loop received is shown as the JSON
// display shows the whole buffer: what lies beyond the bytes reads as zero.
TEST(LiveState, ShowsAHandedOverPacketAsTheJsonDisplayDoes) {
  // Two records announced, one received: the display shows the second from
  // the buffer's zeros.
  std::vector<std::uint8_t> datagram = test_support::nodal(5);
  packet::write_number(datagram.data(), packet::header_field("NumRecord"), 2);
  const auto buffer = test_support::received(datagram);
  const feedwatch::Arrival arrival{{}, {}, {}, datagram.size(), std::nullopt};
  const std::size_t area = datagram.size() - packet::kHeaderSize;
  const std::string expected =
      feedwatch::packet_json(*buffer, arrival, nullptr, feedwatch::Expansion::kPlain, area);
  feedwatch::PublishedState state({"1.0.0", "235.5.6.7", {6050}, {}});
  Taken taken;
  taken.items.push_back(
      {HandedOver::Type::kPacket, nullptr, StreamId{"CC1", 4, 0}, std::nullopt,
       feedwatch::PacketCopy{datagram, arrival, feedwatch::Expansion::kPlain, area}});
  state.take_in(std::move(taken), {});
  EXPECT_EQ(*state.events().at(0).data, expected);
  EXPECT_NE(expected.find("\"DummyKey\":0,"), std::string::npos) << expected;
}

// Each stream's table is its last single packet or its last complete group,
// with its statistics from the latest summary.
TEST(LiveState, KeepsEachStreamsLatestCompleteTableWithItsStatistics) {
  const StreamId skillset{"CC1", 2, 0};
  const StreamId agent{"CC1", 3, 1};
  const StreamId hostile{"<b>\"x\"</b>", 9, 7};
  feedwatch::PublishedState state({"1.0.0", "235.5.6.7", {6040}, {}});
  const auto streams = [&state] { return Json::parse(state.streams_json({}))["streams"]; };
  Taken first;
  first.items = {packet("{\"s\":1}", skillset),
                 packet("{\"s\":2}", skillset),
                 packet("{\"a\":1}", agent, MessagePart{1, 2, 10}),
                 packet("{\"a\":2}", agent, MessagePart{2, 2, 10}),
                 packet("{\"a\":3}", agent, MessagePart{1, 2, 11}),
                 packet("{\"h\":1}", hostile)};
  state.take_in(std::move(first), {});
  EXPECT_EQ(streams().dump(),
            R"([{"server":"CC1","kind":"Skillset","scheme":"Interval to Date","table":[{"s":2}],)"
            R"("statistics":null},{"server":"CC1","kind":"Agent","scheme":"Moving Window",)"
            R"("table":[{"a":1},{"a":2}],"statistics":null},{"server":"<b>\"x\"</b>",)"
            R"("kind":null,"scheme":null,"table":[{"h":1}],"statistics":null}])");

  // A group whose parts carry two streams gives each its own parts.
  Taken mixed;
  mixed.items = {packet("{\"a\":4}", agent, MessagePart{1, 3, 12}),
                 packet("{\"s\":3}", skillset, MessagePart{2, 3, 12}),
                 packet("{\"a\":5}", agent, MessagePart{3, 3, 12}),
                 summary(R"({"streams":[{"server":"CC1","kind":"Agent","scheme":"Moving Window",)"
                         R"("packets":5},{"server":"CC2","kind":"Route","scheme":null}]})")};
  state.take_in(std::move(mixed), {});
  const Json now = streams();
  EXPECT_EQ(now[0]["table"].dump(), R"([{"s":3}])");
  EXPECT_EQ(now[1]["table"].dump(), R"([{"a":4},{"a":5}])");
  EXPECT_EQ(now[1]["statistics"]["packets"], 5);
  EXPECT_EQ(now[3]["server"], "CC2");
  EXPECT_EQ(now[3]["table"].dump(), "[]");
  EXPECT_EQ(state.events().end(), 11u);  // nine packets, the summary and its status
  EXPECT_EQ(state.events().at(10).head, feedwatch::kStatusEvent);
}

// The rates of the top line are taken over the last ten seconds of summaries.
TEST(LiveState, StatusGivesTheRatesOfTheLastTenSeconds) {
  const std::chrono::steady_clock::time_point start{};
  feedwatch::PublishedState state({"1.0.0", "235.5.6.7", {6040, 6050}, start});
  for (int second = 1; second <= 15; ++second) {
    Taken taken;
    taken.items = {summary("{}")};
    const std::uint64_t datagrams = second <= 5 ? 1000 * second : 5000 + 20 * (second - 5);
    taken.counters.emplace();
    taken.counters->datagrams = datagrams;
    taken.counters->displayed = datagrams / 2;
    state.take_in(std::move(taken), start + std::chrono::seconds(second));
  }
  const Json status = Json::parse(*state.events().at(state.events().end() - 1).data);
  EXPECT_EQ(status["datagrams_per_second"], 20.0);
  EXPECT_EQ(status["packets_per_second"], 10.0);
  EXPECT_EQ(status["uptime"], 15.0);
  EXPECT_EQ(status["ports"].dump(), "[6040,6050]");
}

TEST(LiveMetrics, RendersTheCountersInTheTextFormat) {
  // Every counter a value of its own, so that none stands in another's place.
  feedwatch::MetricsSnapshot counters;
  std::uint64_t value = 100;
  for (std::uint64_t* c :
       {&counters.datagrams, &counters.bytes, &counters.displayed, &counters.short_datagrams,
        &counters.bad_header_id, &counters.expansion_failures, &counters.completed_messages,
        &counters.incomplete_groups, &counters.parts_held, &counters.parts_dropped,
        &counters.mixed_groups, &counters.gaps, &counters.gap_packets}) {
    *c = value++;
  }
  counters.kernel_drops = value++;
  feedwatch::StreamCounters skillset;
  skillset.stream = {"CC1", 2, 0};
  for (std::uint64_t* c : {&skillset.packets, &skillset.duplicates, &skillset.backwards,
                           &skillset.mixed_groups, &skillset.gaps, &skillset.gap_packets}) {
    *c = value++;
  }
  skillset.last_timestamp = 1607198400;
  skillset.last_arrival = std::chrono::system_clock::time_point(1607198400250ms);
  for (const double interval : {0.0005, 0.3, 1.0, 1.0, 75.0}) skillset.intervals.add(interval);
  feedwatch::StreamCounters hostile;
  hostile.stream = {"a\"b\\c\nd", 9, 7};
  hostile.packets = 1;
  counters.streams = {skillset, hostile};
  test_support::expect_baseline("live_metrics",
                                feedwatch::metrics_text(counters, value++, "1.0.0"));
  // Without the system's drop counter the metric is left out.
  counters.kernel_drops.reset();
  EXPECT_EQ(feedwatch::metrics_text(counters, 0, "1.0.0").find("kernel"), std::string::npos);
}

TEST(LivePage, ServesThePageFirstAndWithinTwoHundredKilobytes) {
  std::size_t bytes = 0;
  for (const feedwatch::PageFile& file : feedwatch::kPageFiles) bytes += file.bytes.size();
  EXPECT_LE(bytes, 200u * 1024);
  EXPECT_EQ(feedwatch::kPageFiles.front().path, "/");
}

// The page labels and shows each field as the C++ tables say.
TEST(LivePage, LayoutsAreThoseOfTheCTables) {
  std::string_view script;
  for (const feedwatch::PageFile& file : feedwatch::kPageFiles) {
    if (file.path == "/layouts.js") script = file.bytes;
  }
  const std::size_t start = script.find("const WIRE = ") + 13;
  const Json wire = Json::parse(script.substr(start, script.rfind(';') - start));
  const char* const shown[] = {"decimal", "hex", "hex_first_byte", "hidden"};
  for (int type = 1; const packet::Kind* kind = packet::find_kind(type); ++type) {
    const Json& entry = wire["kinds"][type - 1];
    EXPECT_EQ(entry["name"], kind->section);
    for (const auto& [layout, json] :
         {std::pair{kind->layout, entry["layout"]},
          std::pair{kind->version_layout.layout,
                    entry.value("version_layout", Json())["layout"]}}) {
      if (layout == nullptr) continue;
      ASSERT_EQ(json["fields"].size(), layout->fields.size()) << layout->name;
      for (std::size_t i = 0; i < layout->fields.size(); ++i) {
        const packet::Field& f = layout->fields[i];
        EXPECT_EQ(json["fields"][i]["name"], f.name);
        EXPECT_EQ(json["fields"][i]["label"], f.label);
        EXPECT_EQ(json["fields"][i]["shown"], shown[static_cast<int>(f.shown)]) << f.name;
      }
    }
  }
}

}  // namespace
