// The feed statistics of a crafted sequence, as text and as a JSON line,
// compared with a baseline file.
// Run with UPDATE_BASELINES=1 to rewrite the baseline after a deliberate change.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "feedwatch/feed_statistics.h"
#include "feedwatch/json_output.h"
#include "feedwatch/receive_loop.h"
#include "support/baseline.h"
#include "support/console_capture.h"
#include "support/packets.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using test_support::default_fields;
using test_support::make_packet;

// A Nodal part `number` of `count` of one record, `later` seconds after the others.
Bytes part(std::uint8_t number, std::uint8_t count, std::uint32_t later = 0) {
  packet::HeaderFields fields = default_fields(4, 1);
  fields.timestamp += later;
  Bytes p = make_packet(fields, test_support::be32_words({1, 1, 2, 3, 4, 5, 6}));
  p[8] = number;
  p[9] = count;
  return p;
}

// Two streams, a duplicate, a timestamp going back, a short datagram, a
// foreign HeaderId, a failed expansion, and a group that a part of a later
// one drops from a store of one part (the monitor says so).
TEST(FeedStatistics, CountTheCraftedSequence) {
  using namespace std::chrono_literals;
  const auto start = feedwatch::SteadyClock::time_point{} + 100s;
  feedwatch::FeedStatistics stats(start);
  test_support::CapturedConsole out;
  test_support::CapturedFile json_file;
  feedwatch::JsonLines json_lines(json_file.stream());
  feedwatch::Monitor monitor(out.console(), &json_lines, &stats, UINT64_MAX, 1);
  const auto buffer = std::make_unique<feedwatch::PacketBuffer>();
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
  const struct {
    Bytes bytes;
    std::chrono::milliseconds at;
  } sequence[] = {{a1, 0ms},    {a2, 1000ms}, {a2, 2500ms}, {a1, 3000ms}, {b, 3100ms},
                  {Bytes(20), 3200ms}, {part(1, 3), 3300ms}, {part(1, 2), 3400ms},
                  {part(2, 2), 3500ms}, {part(1, 2, 1), 3600ms}};
  for (const auto& s : sequence) {
    std::copy(s.bytes.begin(), s.bytes.end(), buffer->begin());
    feedwatch::Arrival arrival;
    arrival.length = s.bytes.size();
    arrival.at = start + s.at;
    monitor.handle_datagram(*buffer, arrival);
  }
  EXPECT_TRUE(out.text().ends_with("Multipacket store full - dropping 1 stored packet(s) of time 1607198400\n"));
  std::string text = stats.text_summary(monitor.store(), start + 4500ms);
  text += stats.json_summary(monitor.store(), start + 4500ms) + "\n";
  test_support::expect_baseline("statistics", text);
}

}  // namespace
