// feedcast --replay end to end: a capture written by the capture library is
// replayed in a private network namespace, and sockets joined to the groups
// receive what it sends: the captured bytes of the feed's datagrams, to
// their ports and groups, with the Timestamps moved, the faults of the
// generator's own injector, a count or a second pass as asked; a broken
// file ends the run after the datagrams before the fault.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "capture/writer.h"
#include "feedcast/faults.h"
#include "feedcast/replay.h"
#include "packet/header.h"
#include "support/capture_files.h"
#include "support/multicast.h"
#include "support/packets.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using test_support::address;

constexpr std::int64_t kCaptureStart = 1'700'000'000'000'000'000;
constexpr std::int64_t kStep = 10'000'000;  // 10 ms between two captured datagrams

// One datagram of the capture: where it went and what it held.
struct Captured {
  const char* group;
  std::uint16_t port;
  Bytes bytes;
};

Bytes packet_of(std::uint8_t number, std::uint8_t count, std::uint32_t time, std::uint8_t record) {
  packet::HeaderFields h = test_support::default_fields(6, 1);
  h.packet_number = number;
  h.packet_count = count;
  h.timestamp = time;
  return test_support::make_packet(h, Bytes(10, record));
}

// A single packet, other traffic, a hostile datagram to another group, a
// message in two parts, and a packet captured to a host address.
const std::vector<Captured>& capture_contents() {
  static const std::vector<Captured> contents = {
      {"235.5.6.7", 6020, packet_of(0, 0, 1000, 1)}, {"235.5.6.7", 5000, Bytes{9, 9, 9}},
      {"239.1.2.3", 6040, Bytes{'x', 'y', 'z'}},     {"235.5.6.7", 6020, packet_of(1, 2, 1001, 2)},
      {"235.5.6.7", 6020, packet_of(2, 2, 1001, 3)}, {"10.1.2.3", 6060, packet_of(0, 0, 1002, 4)},
  };
  return contents;
}

// The feed's datagrams of the capture, grouped into messages as the replay does.
std::vector<std::vector<const Captured*>> feed_messages() {
  const auto& c = capture_contents();
  return {{&c[0]}, {&c[2]}, {&c[3], &c[4]}, {&c[5]}};
}

// Writes the capture; returns the length of the file.
std::size_t write_capture(const std::string& path) {
  capture::Writer writer;
  EXPECT_EQ(writer.create(path, {"test", "", "lo"}), 0);
  std::int64_t time = kCaptureStart;
  for (const Captured& c : capture_contents()) {
    capture::UdpDatagram d;
    d.time_ns = time;
    time += kStep;
    d.source_address = address("10.0.0.1");
    d.source_port = 4000;
    d.destination_address = address(c.group);
    d.destination_port = c.port;
    d.payload = c.bytes;
    EXPECT_EQ(writer.write(d), 0);
  }
  EXPECT_EQ(writer.close(), 0);
  return test_support::read_file(path).size();
}

// Where the replay sends a captured datagram, with a group configured or none.
std::pair<std::string, std::uint16_t> target(const Captured& c, const char* configured) {
  if (configured) return {configured, c.port};
  const bool multicast = (address(c.group) >> 28) == 0xe;
  return {multicast ? c.group : test_support::kGroup, c.port};
}

struct Case {
  const char* name;
  std::vector<std::string> args;
  std::string ini;              // feedcast.ini; empty: none
  const char* group = nullptr;  // the group the file configures with --config
  std::size_t taken = 5;        // datagrams of the capture taken
  bool faults = false;          // the expectation comes from the injector
  bool retimed = false;         // Timestamps moved
  int ttl = 64;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Replay : public ::testing::TestWithParam<Case> {};

// The datagrams each receiver gets are the captured ones (with their
// Timestamps moved by one amount with --retime), in the replay's order.
TEST_P(Replay, SendsTheCapturedDatagrams) {
  const Case& c = GetParam();
  test_support::TempDir dir;
  write_capture(dir.file("feed.pcapng"));
  std::vector<std::string> argv{FEEDCAST_PATH, "--replay", dir.file("feed.pcapng")};
  argv.insert(argv.end(), c.args.begin(), c.args.end());
  if (!c.ini.empty()) dir.write("feedcast.ini", c.ini);

  std::map<std::pair<std::string, std::uint16_t>, std::unique_ptr<test_support::GroupReceiver>>
      receivers;
  for (const Captured& d : capture_contents()) {
    const auto where = target(d, c.group);
    if (!receivers.count(where)) {
      receivers[where] =
          std::make_unique<test_support::GroupReceiver>(where.second, where.first.c_str());
    }
  }
  const std::int64_t before = std::time(nullptr);
  test_support::Process feedcast(argv, dir.path());
  ASSERT_TRUE(feedcast.wait_for(10s));
  EXPECT_EQ(feedcast.exit_status(), 0) << feedcast.errors();

  std::map<std::pair<std::string, std::uint16_t>, std::vector<Bytes>> expected, received;
  feedcast::FaultInjector injector;
  if (c.faults) injector.update(platform::ProfileFile(dir.file("feedcast.ini")));
  std::string lines;
  std::size_t taken = 0;
  while (taken < c.taken) {
    for (const auto& message : feed_messages()) {
      if (taken == c.taken) break;
      std::vector<packet::Datagram> views;
      for (const Captured* d : message) views.emplace_back(d->bytes);
      for (const std::size_t i : injector.order(views, lines)) {
        if (taken == c.taken) break;
        ++taken;
        const feedcast::Shipment s = injector.shape(views[i], lines);
        for (int copy = 0; copy < s.copies; ++copy) {
          expected[target(*message[i], c.group)].emplace_back(s.bytes.begin(), s.bytes.end());
        }
      }
    }
  }
  std::optional<std::uint32_t> shift;
  const auto timestamp = packet::header_field("Timestamp");
  for (auto& [where, receiver] : receivers) {
    while (const auto d = receiver->receive(200ms)) {
      Bytes bytes = d->bytes;
      EXPECT_EQ(d->ttl, c.ttl);
      if (c.retimed && bytes.size() >= packet::kHeaderSize) {
        const std::uint32_t original =
            packet::read_number(expected[where].at(received[where].size()).data(), timestamp);
        const std::uint32_t moved = packet::read_number(bytes.data(), timestamp);
        if (!shift) shift = moved - original;
        EXPECT_EQ(moved - original, *shift) << "every Timestamp moves by the same amount";
        packet::write_number(bytes.data(), timestamp, original);
      }
      received[where].push_back(bytes);
    }
  }
  EXPECT_EQ(received, expected);
  if (c.retimed) {
    ASSERT_TRUE(shift);
    EXPECT_GE(std::int64_t{*shift} + 1000, before) << "the first Timestamp is the replay's start";
  }
  if (c.faults) {
    for (const char* fault : {"dropped", "duplicated", "truncated", "changed", "order"}) {
      EXPECT_NE(lines.find(fault), std::string::npos) << "the Seed gives no " << fault;
    }
    EXPECT_NE(feedcast.output().find(lines), std::string::npos) << feedcast.output();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Replay,
    ::testing::Values(
        Case{"as_captured", {}, ""}, Case{"a_count", {"--count", "3"}, "", nullptr, 3},
        Case{"two_passes_at_full_speed", {"--loop", "2", "--speed", "max"}, "", nullptr, 10},
        Case{"retimed", {"--retime", "--speed=4"}, "", nullptr, 5, false, true},
        Case{"faults",
             {"--loop=3", "--speed=max"},
             "[Faults]\nSeed=5\nReorderParts=1\nDropPercent=20\nDuplicatePercent=30\n"
             "TruncatePercent=30\nCorruptPercent=40\n",
             nullptr,
             15,
             true},
        Case{"a_configured_group_and_ttl",
             {"--config", "feedcast.ini"},
             "[MCast]\nIP=239.9.9.9\nTTL=3\n",
             "239.9.9.9",
             5,
             false,
             false,
             3}),
    [](const auto& info) { return std::string(info.param.name); });

// The trace: one line at the start, one at the end, a progress line in
// between only at a terminal; -q none.
TEST(ReplayTrace, StartAndSummary) {
  test_support::TempDir dir;
  const std::string file = dir.file("feed.pcapng");
  write_capture(file);
  test_support::Process traced({FEEDCAST_PATH, "--replay", file}, dir.path());
  test_support::Process quiet({FEEDCAST_PATH, "--replay", file, "-q"}, dir.path());
  test_support::Process terminal(
      test_support::at_terminal(std::string(FEEDCAST_PATH) + " --loop 2 --replay " + file),
      dir.path());
  ASSERT_TRUE(traced.wait_for(10s));
  ASSERT_TRUE(quiet.wait_for(10s));
  ASSERT_TRUE(terminal.wait_for(10s));
  EXPECT_EQ(quiet.output(), "");
  EXPECT_TRUE(std::regex_search(
      test_support::from_terminal(terminal.output()),
      std::regex(" s\n\rSent [0-9]+ datagrams in 0\\.[0-9] s, pass 1 of 2 *\r *\rSent 10 ")))
      << "at a terminal the progress line is written over, then blanked";
  EXPECT_TRUE(std::regex_match(
      traced.output(),
      std::regex("Replaying " + file +
                 ": 5 datagrams of the feed over 0\\.050 s\n"
                 "Sent 5 datagrams in 0\\.0[45]\\d s, greatest lateness \\d+\\.\\d{3} ms\n")))
      << traced.output();
}

// A file cut inside its last block: the datagrams before it go out, then
// the fault ends the run with status 1; a file that is no capture and one
// that is missing send nothing.
TEST(ReplayTrace, BrokenFiles) {
  test_support::TempDir dir;
  const std::string file = dir.file("feed.pcapng");
  const std::size_t length = write_capture(file);
  const std::string whole = test_support::read_file(file);
  dir.write("cut.pcapng", whole.substr(0, length - 8));
  dir.write("text.pcapng", "not a capture at all\n");
  const struct {
    const char* file;
    std::string error;
    std::size_t received;
  } cases[] = {
      {"cut.pcapng", "truncated", 4},
      {"text.pcapng", "at byte 0", 0},
      {"missing.pcapng", "No such file or directory", 0},
  };
  for (const auto& c : cases) {
    test_support::GroupReceiver r6020(6020), r6060(6060);
    test_support::GroupReceiver r6040(6040, "239.1.2.3");
    test_support::Process feedcast({FEEDCAST_PATH, "--replay", dir.file(c.file)}, dir.path());
    ASSERT_TRUE(feedcast.wait_for(10s));
    EXPECT_EQ(feedcast.exit_status(), 1) << c.file;
    const std::string errors = feedcast.errors();
    EXPECT_EQ(errors.rfind("Error: " + dir.file(c.file) + ": ", 0), 0u) << errors;
    EXPECT_NE(errors.find(c.error), std::string::npos) << errors;
    std::size_t received = 0;
    for (auto* r : {&r6020, &r6040, &r6060}) {
      while (r->receive(100ms)) ++received;
    }
    EXPECT_EQ(received, c.received) << c.file;
  }
}

}  // namespace
