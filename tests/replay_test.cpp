// The replay's rules that need no network: the deadlines of a schedule, which
// datagrams form one message for the fault injector, and how a Timestamp
// moves.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "capture/udp_datagram.h"
#include "feedcast/replay.h"
#include "feedcast/replay_schedule.h"
#include "packet/header.h"
#include "support/packets.h"

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

// Deadlines from one start: a pass lasts from the first datagram to the last
// and one mean interval more; the speed divides every offset.
TEST(ReplaySchedule, DeadlinesFromOneStart) {
  const struct {
    feedcast::CaptureSpan span;
    double speed;
    std::uint64_t pass;
    std::int64_t time;
    std::int64_t pass_length, deadline;
  } cases[] = {
      {{5, 10 * kSecond, 14 * kSecond}, 1, 0, 12 * kSecond, 5 * kSecond, 2 * kSecond},
      {{5, 10 * kSecond, 14 * kSecond}, 1, 2, 10 * kSecond, 5 * kSecond, 10 * kSecond},
      {{5, 10 * kSecond, 14 * kSecond}, 10, 1, 14 * kSecond, 5 * kSecond, 9 * kSecond / 10},
      {{5, 10 * kSecond, 14 * kSecond}, 0.5, 0, 11 * kSecond, 5 * kSecond, 2 * kSecond},
      {{5, 10 * kSecond, 14 * kSecond}, 0, 3, 14 * kSecond, 5 * kSecond, 0},
      {{1, 7, 7}, 1, 2, 7, kSecond, 2 * kSecond},
      {{3, 9, 3}, 1, 1, 3, 0, -6},  // times that go back
  };
  for (const auto& c : cases) {
    const feedcast::ReplaySchedule schedule(c.span, c.speed, 1000);
    EXPECT_EQ(schedule.pass_length(), c.pass_length);
    EXPECT_EQ(schedule.deadline(c.pass, c.time), 1000 + c.deadline) << c.speed << " " << c.pass;
  }
}

feedcast::HeldDatagram held(std::uint8_t number, std::uint8_t count, std::uint32_t time,
                            std::uint16_t port = 6020, std::uint32_t to = 0xeb050607) {
  packet::HeaderFields h = test_support::default_fields(6);
  h.packet_number = number;
  h.packet_count = count;
  h.timestamp = time;
  return {test_support::make_packet(h), 0, to, port};
}

// Parts of one PacketCount, Timestamp, address and port join, up to their
// count, which completes the message; any other datagram is one by itself.
TEST(ReplayMessages, PartsJoinTheirMessage) {
  const feedcast::HeldDatagram first = held(1, 3, 100);
  const struct {
    const char* name;
    feedcast::HeldDatagram next;
    std::size_t held;
    bool joins;
  } cases[] = {
      {"next part", held(2, 3, 100), 1, true},
      {"last part", held(3, 3, 100), 2, true},
      {"a part too many", held(3, 3, 100), 3, false},
      {"another time", held(2, 3, 101), 1, false},
      {"another count", held(2, 4, 100), 1, false},
      {"another port", held(2, 3, 100, 6040), 1, false},
      {"another group", held(2, 3, 100, 6020, 0xef000001), 1, false},
      {"a single packet", held(0, 0, 100), 1, false},
      {"too short for a header", {{1, 2, 3}, 0, 0xeb050607, 6020}, 1, false},
  };
  for (const auto& c : cases) {
    capture::UdpDatagram next;
    next.payload = c.next.bytes;
    next.destination_address = c.next.destination;
    next.destination_port = c.next.port;
    EXPECT_EQ(feedcast::joins_message(first, c.held, next), c.joins) << c.name;
  }
  capture::UdpDatagram part;
  const feedcast::HeldDatagram second = held(2, 3, 100);
  part.payload = second.bytes;
  part.destination_address = second.destination;
  part.destination_port = second.port;
  EXPECT_FALSE(feedcast::joins_message(held(0, 0, 100), 1, part)) << "after a single packet";
  EXPECT_TRUE(feedcast::completes_message(held(0, 0, 100), 1)) << "a single packet";
  EXPECT_TRUE(feedcast::completes_message({{1, 2}, 0, 0, 6020}, 1)) << "a short datagram";
  EXPECT_FALSE(feedcast::completes_message(held(2, 3, 100), 2)) << "two parts of three";
  EXPECT_TRUE(feedcast::completes_message(held(3, 3, 100), 3)) << "three parts of three";
}

// A Timestamp moves modulo 2^32; a datagram too short for a header stays.
// (Where datagrams go is checked end to end.)
TEST(ReplayMessages, TimestampsMove) {
  feedcast::HeldDatagram d = held(0, 0, 0xfffffff0u);
  std::vector<std::uint8_t> expected = d.bytes;
  packet::write_number(expected.data(), packet::header_field("Timestamp"), 0x10);
  feedcast::move_timestamp(d.bytes, 0x20);
  EXPECT_EQ(d.bytes, expected) << "the Timestamp wraps at 2^32, the rest stays";
  std::vector<std::uint8_t> shorter(expected.begin(), expected.end() - 1);
  const std::vector<std::uint8_t> before = shorter;
  feedcast::move_timestamp(shorter, 5);
  EXPECT_EQ(shorter, before);
}

}  // namespace
