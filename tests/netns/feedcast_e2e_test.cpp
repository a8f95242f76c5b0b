// feedcast end to end: the program runs in a temporary directory with a
// crafted feedcast.ini, and its datagrams are received on a socket joined to
// the group.  Record bytes and trace lines are checked by the unit tests and
// the pipeline tests; these tests check what only a real process on a real
// socket shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "feedcast/sender_config.h"
#include "feedcast/transmit_loop.h"
#include "packet/catalogue.h"
#include "platform/command_line.h"
#include "support/multicast.h"
#include "support/packets.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using test_support::GroupReceiver;
using test_support::kGroup;

constexpr std::size_t kHeader = 68;
constexpr auto kWait = 5s;

std::uint32_t be32(const Bytes& b, std::size_t at) {
  return std::uint32_t{b.at(at)} << 24 | std::uint32_t{b.at(at + 1)} << 16 |
         std::uint32_t{b.at(at + 2)} << 8 | b.at(at + 3);
}

std::uint32_t now() { return static_cast<std::uint32_t>(std::time(nullptr)); }

// The datagrams the generator's own code builds from `ini` for `time`.
std::vector<Bytes> built(const std::string& ini_text, std::int64_t time) {
  test_support::TempDir dir;
  dir.write("feedcast.ini", ini_text);
  platform::ProfileFile ini(dir.file("feedcast.ini"));
  const feedcast::SenderConfig config = feedcast::read_sender_config(ini);
  feedcast::PacketSource source(config, *packet::find_kind(config.message_type), ini);
  std::string failure;
  std::vector<Bytes> parts;
  for (const feedcast::Datagram d : source.next(time, failure)) parts.emplace_back(d.begin(), d.end());
  return parts;
}

class Feedcast : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test_support::in_private_namespace())
        << "run through scripts/in-private-netns: this test sends multicast";
  }

  // Writes feedcast.ini, unless `ini` is null, and starts the program.
  test_support::Process& start(const char* ini, const std::vector<std::string>& args = {}) {
    if (ini) dir_.write("feedcast.ini", ini);
    std::vector<std::string> argv{FEEDCAST_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return process_.emplace(argv, dir_.path());
  }
  test_support::Process& start(const std::string& ini, const std::vector<std::string>& args = {}) {
    return start(ini.c_str(), args);
  }

  // Waits for the program's end, which must come with `status`.
  void expect_end(int status) {
    ASSERT_TRUE(process_->wait_for(kWait)) << "feedcast did not stop";
    EXPECT_EQ(process_->exit_status(), status) << process_->errors();
  }

  test_support::TempDir dir_;
  std::optional<test_support::Process> process_;
};

TEST_F(Feedcast, AnEmptyFileSendsEmptyApplicationPacketsAgainAndAgain) {
  GroupReceiver receiver(6020);
  const std::uint32_t before = now();
  start("");
  const auto d = receiver.receive(kWait);
  ASSERT_TRUE(d) << "nothing arrived on port 6020";
  const std::uint32_t timestamp = be32(d->bytes, 60);
  EXPECT_TRUE(timestamp >= before && timestamp <= now()) << timestamp;
  EXPECT_EQ(std::vector<Bytes>{d->bytes}, built("", timestamp));
  EXPECT_EQ(d->ttl, 64);
  EXPECT_TRUE(receiver.receive(kWait));
  EXPECT_TRUE(process_->shows("Encode value read from the file was 0", kWait))
      << "the trace is not flushed while the program runs";
}

// Section MCast decides the group, the time-to-live and the local binding.
// Source: up to 3 characters binds any address, 4 to 8 bind that address,
// 9 or more also make it the multicast interface.  inet_addr reads "127.2"
// as 127.0.0.2 and "1.2" as 1.0.0.2, which is no local address.  A group
// address can be bound but is no interface (see the refusals).
struct Delivery {
  const char* name;
  std::string mcast;
  const char* group;
  int ttl;
  bool bound;  // sent from the Source address 127.0.0.2
};

void PrintTo(const Delivery& c, std::ostream* os) { *os << c.name; }

class FeedcastDelivery : public Feedcast, public ::testing::WithParamInterface<Delivery> {};

TEST_P(FeedcastDelivery, ArrivesAsConfigured) {
  const Delivery& c = GetParam();
  GroupReceiver receiver(6020, c.group);
  start("[MCast]\nUpdateRate=1\n" + c.mcast);
  const auto d = receiver.receive(kWait);
  ASSERT_TRUE(d) << "nothing arrived; standard error: " << process_->errors();
  EXPECT_EQ(d->bytes.size(), kHeader);
  EXPECT_EQ(d->ttl, c.ttl);
  EXPECT_EQ(d->from == "127.0.0.2", c.bound) << "sent from " << d->from;
  EXPECT_EQ(process_->errors(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Settings, FeedcastDelivery,
    ::testing::Values(Delivery{"TtlZero", "TTL=0\n", kGroup, 64, false},
                      Delivery{"TtlOne", "TTL=1\n", kGroup, 1, false},
                      Delivery{"Group", "IP=239.1.2.3\n", "239.1.2.3", 64, false},
                      Delivery{"SourceEmpty", "Source=\n", kGroup, 64, false},
                      Delivery{"SourceOf3", "Source=1.2\n", kGroup, 64, false},
                      Delivery{"SourceOf5", "Source=127.2\n", kGroup, 64, true},
                      Delivery{"GroupSourceOf8", "Source=224.1.11\n", kGroup, 64, false},
                      Delivery{"SourceOf9", "Source=127.0.0.2\nTTL=3\n", kGroup, 3, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The kind section is read afresh for every packet; MCast only at start.
TEST_F(Feedcast, EditOfTheKindSectionShowsInALaterPacket) {
  const std::string mcast = "[MCast]\nMessageType=6\nUpdateRate=1\nServerName=";
  GroupReceiver receiver(6120);
  start(mcast + "Before\n[Route]\nNumber=1\nRouteNumber0=100\n");
  const auto first = receiver.receive(kWait);
  ASSERT_TRUE(first);
  ASSERT_EQ(first->bytes.size(), kHeader + 10);
  EXPECT_EQ(be32(first->bytes, kHeader), 100u);

  // Replaced in one step, so the program never reads half a file.
  dir_.write("new.ini", mcast + "After\n[Route]\nNumber=2\nRouteNumber0=200\nRouteNumber1=300\n");
  std::filesystem::rename(dir_.file("new.ini"), dir_.file("feedcast.ini"));
  std::optional<test_support::Datagram> later;
  for (int n = 0; n < 5; ++n) {
    later = receiver.receive(kWait);
    if (!later || be32(later->bytes, kHeader) == 200) break;
  }
  ASSERT_TRUE(later && be32(later->bytes, kHeader) == 200) << "no packet carried the edit";
  ASSERT_EQ(later->bytes.size(), kHeader + 20);
  EXPECT_EQ(be32(later->bytes, 64), 2u << 16 | 10);  // NumRecord and RecordSize
  EXPECT_EQ(be32(later->bytes, 78), 300u);
  EXPECT_TRUE(std::equal(first->bytes.begin() + 16, first->bytes.begin() + 56,
                         later->bytes.begin() + 16))
      << "the server name changed";
}

// Simulate 1 moves the values the running program sends (the walks and
// counters themselves are checked by the unit tests); its seed is traced.
TEST_F(Feedcast, ValuesMoveWithSimulate) {
  GroupReceiver receiver(6120);
  start("[MCast]\nMessageType=6\nSimulate=1\nSimulateSeed=5\n"
        "[Route]\nNumber=1\nRouteNumber0=-20..20\nAllTrunksBusyTime0=1000+7\n");
  std::vector<std::int32_t> seen;
  while (seen.size() < 40) {
    const auto d = receiver.receive(kWait);
    ASSERT_TRUE(d);
    ASSERT_EQ(d->bytes.size(), kHeader + 10);
    seen.push_back(static_cast<std::int32_t>(be32(d->bytes, kHeader)));
    ASSERT_TRUE(seen.back() >= -20 && seen.back() <= 20) << seen.back();
  }
  EXPECT_EQ(seen.front(), -20) << "the first packet starts every walk";
  EXPECT_NE(std::count(seen.begin(), seen.end(), -20), 40);
  EXPECT_TRUE(process_->shows("SimulateSeed=5\n", kWait));
}

// Refusals: one line "Error: <message>" on standard error, status 1, nothing sent.
struct Refusal {
  const char* name;
  std::string ini;
  int port;           // watched for packets
  std::string error;  // a regular expression
  std::string output;
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class FeedcastRefusal : public Feedcast, public ::testing::WithParamInterface<Refusal> {};

TEST_P(FeedcastRefusal, StopsWithItsMessage) {
  const Refusal& c = GetParam();
  GroupReceiver receiver(static_cast<std::uint16_t>(c.port));
  start(c.ini);
  ASSERT_TRUE(process_->wait_for(kWait)) << "feedcast did not stop";
  EXPECT_EQ(process_->exit_status(), 1);
  const std::string errors = process_->errors();
  EXPECT_TRUE(std::regex_match(errors, std::regex("Error: " + c.error + "\n"))) << errors;
  EXPECT_EQ(process_->output(), c.output);
  EXPECT_FALSE(receiver.receive(100ms)) << "a packet was sent";
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FeedcastRefusal,
    ::testing::Values(
        Refusal{"WrongKind", "[MCast]\nMessageType=7\n", 6020,
                "Incorrect Msg Type and Stat Scheme selected", ""},
        Refusal{"SourceNoLocalAddress", "[MCast]\nSource=10.9.8.7\n", 6020,
                "Binding socket failed! Error: 99", ""},
        Refusal{"SourceOf4IsBound", "[MCast]\nSource=10.9\n", 6020,
                "Binding socket failed! Error: 99", ""},
        Refusal{"GroupSourceOf9IsNoInterface", "[MCast]\nSource=224.1.1.1\n", 6020,
                "setsockopt failed! Error: 99", ""},
        Refusal{"GroupNoDottedAddress", "[MCast]\nIP=not.a.group\n", 6020,
                "sendto failed! Error: [1-9][0-9]*", "Encode value read from the file was 0"},
        Refusal{"TableLargerThanADatagram", "[MCast]\nMessageType=3\n[Agent]\nNumber=780\n",
                6060, "sendto failed! Error: 90", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Help, version and usage errors: nothing read (the file would be refused),
// nothing sent.
TEST_F(Feedcast, HelpVersionAndUsageErrors) {
  GroupReceiver receiver(6020);
  dir_.write("feedcast.ini", "[MCast]\nMessageType=9\n");
  const std::string usage = "\nTry 'feedcast --help'.\n";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string output, errors;
  } cases[] = {
      {{"--help", "--bogus"}, 2, "", "feedcast: unrecognized option '--bogus'" + usage},
      {{"-h", "-c", "1"}, 0, "Usage: feedcast [OPTION]...\n", ""},
      {{"x", "--version"}, 0, "feedcast " + std::string(platform::program_version()) + "\n", ""},
  };
  for (const auto& c : cases) {
    start(nullptr, c.args);
    expect_end(c.status);
    EXPECT_EQ(process_->output().substr(0, c.output.size()), c.output);
    EXPECT_EQ(process_->errors(), c.errors);
  }
  EXPECT_FALSE(receiver.receive(100ms)) << "a packet was sent";
}

// --config names a file from the current directory or from the root;
// --count ends the run after that many messages, without the last pause.
TEST_F(Feedcast, ConfigFromAnotherFolderAndCount) {
  test_support::TempDir other;
  const std::string route = "[MCast]\nMessageType=6\nUpdateRate=";
  other.write("route.ini", route + "0\n[Route]\nNumber=1\nRouteNumber0=77\n");
  GroupReceiver receiver(6120);
  const std::string relative =
      "../" + std::filesystem::path(other.path()).filename().string() + "/route.ini";
  start(nullptr, {"--config", relative, "-c", "3"});
  expect_end(0);
  for (int n = 0; n < 3; ++n) {
    const auto d = receiver.receive(kWait);
    ASSERT_TRUE(d) << "packet " << n;
    EXPECT_EQ(be32(d->bytes, kHeader), 77u);
  }
  EXPECT_FALSE(receiver.receive(200ms)) << "more than 3 packets";

  other.write("route.ini", route + "3600\n");
  start(nullptr, {"-f" + other.file("route.ini"), "--count=1"});
  expect_end(0);
  EXPECT_TRUE(receiver.receive(kWait));
  EXPECT_EQ(process_->errors(), "");
}

// A table over the UDP limit travels as a message of two parts.
TEST_F(Feedcast, AFullAgentTableTravelsInTwoParts) {
  GroupReceiver receiver(6060);
  start("[MCast]\nMessageType=3\nMaxRecordsPerPacket=500\n[Agent]\nNumber=1000\nAgentID999=5\n",
        {"--count", "1"});
  expect_end(0);
  std::vector<Bytes> parts;
  while (const auto d = receiver.receive(parts.size() < 2 ? kWait : 200ms)) parts.push_back(d->bytes);
  ASSERT_EQ(parts.size(), 2u);
  for (int p = 0; p < 2; ++p) {
    EXPECT_EQ(parts[p].size(), kHeader + 500 * 84);
    EXPECT_EQ(parts[p][8], p + 1);
    EXPECT_EQ(parts[p][9], 2);
    EXPECT_EQ(be32(parts[p], 60), be32(parts[0], 60));
  }
  EXPECT_EQ(be32(parts[1], kHeader + 499 * 84 + 4), 5u);
}

// Each fault at 100 %: what arrives is what the trace lines say, against the
// message that the generator's own code builds for the line's time.
TEST_F(Feedcast, FaultsOnTheWireAsTheTraceSays) {
  const std::string table =
      "[MCast]\nMessageType=6\nMaxRecordsPerPacket=1\n[Route]\nNumber=3\nRouteNumber0=10\n"
      "RouteNumber1=11\nRouteNumber2=12\n[Faults]\nSeed=9\n";
  for (const char* faults : {"DropPercent=100\n", "DuplicatePercent=100\nReorderParts=1\n",
                             "TruncatePercent=100\n", "CorruptPercent=100\n"}) {
    SCOPED_TRACE(faults);
    GroupReceiver receiver(6120);
    start(table + faults, {"--count", "2"});
    expect_end(0);
    std::vector<Bytes> wire;
    while (const auto d = receiver.receive(200ms)) wire.push_back(d->bytes);

    std::istringstream lines(process_->output());
    std::size_t at = 0, faulted = 0;
    std::vector<int> order;
    for (std::string line; std::getline(lines, line);) {
      std::smatch m;
      if (std::regex_match(line, m, std::regex("Fault: parts of time \\d+ sent in the order (.*)"))) {
        for (char c : m[1].str()) if (c != ',') order.push_back(c - '0');
        continue;
      }
      ASSERT_TRUE(std::regex_match(line, m, std::regex(
          "Fault: (\\w+) (byte (\\d+) of )?packet (\\d) of 3( to (\\d+) bytes)?, time (\\d+)")))
          << line;
      ++faulted;
      const int number = std::stoi(m[4]);
      if (!order.empty()) {
        EXPECT_EQ(number, order.front());
        order.erase(order.begin());
      }
      Bytes expected = built(table, std::stoll(m[7])).at(number - 1);
      const std::string fault = m[1];
      if (fault == "dropped") continue;
      if (fault == "truncated") expected.resize(std::stoul(m[6]));
      for (int copy = fault == "duplicated" ? 2 : 1; copy > 0; --copy) {
        ASSERT_LT(at, wire.size()) << line;
        const Bytes& got = wire[at++];
        if (fault == "changed") {
          const std::size_t byte = std::stoul(m[3]);
          ASSERT_EQ(got.size(), expected.size());
          EXPECT_NE(got[byte], expected[byte]);
          expected[byte] = got[byte];
        }
        EXPECT_EQ(got, expected) << line;
      }
    }
    EXPECT_EQ(faulted, 6u);
    EXPECT_EQ(at, wire.size()) << "datagrams that no line explains";
    EXPECT_TRUE(order.empty());
  }
}

}  // namespace
