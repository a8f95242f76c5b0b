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
#include <string>
#include <vector>

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

// Checks all 68 header bytes of the defaults' packet: no server name, an
// empty Application table, version 6.0.6, and a Timestamp between `earliest`
// and now.
void expect_default_header(const Bytes& sent, std::uint32_t earliest) {
  ASSERT_GE(sent.size(), kHeader);
  Bytes h(kHeader, 0);
  for (int i = 0; i < 4; ++i) h[2 * i + 1] = static_cast<std::uint8_t>("KEBO"[i]);
  h[13] = 6;
  h[15] = 6;
  h[58] = 1;
  h[67] = 84;
  const std::uint32_t timestamp = be32(sent, 60);
  EXPECT_TRUE(timestamp >= earliest && timestamp <= now()) << timestamp;
  std::copy(sent.begin() + 60, sent.begin() + 64, h.begin() + 60);
  EXPECT_EQ(Bytes(sent.begin(), sent.begin() + kHeader), h);
}

class Feedcast : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test_support::in_private_namespace())
        << "run through scripts/in-private-netns: this test sends multicast";
  }

  // Writes feedcast.ini, unless `ini` is null, and starts the program.
  test_support::Process& start(const char* ini) {
    if (ini) dir_.write("feedcast.ini", ini);
    return process_.emplace(std::vector<std::string>{FEEDCAST_PATH}, dir_.path());
  }
  test_support::Process& start(const std::string& ini) { return start(ini.c_str()); }

  test_support::TempDir dir_;
  std::optional<test_support::Process> process_;
};

TEST_F(Feedcast, WithoutAFileSendsEmptyApplicationPacketsAgainAndAgain) {
  ASSERT_FALSE(std::filesystem::exists(dir_.file("feedcast.ini")));
  GroupReceiver receiver(6020);
  const std::uint32_t before = now();
  start(nullptr);
  const auto d = receiver.receive(kWait);
  ASSERT_TRUE(d) << "nothing arrived on port 6020";
  expect_default_header(d->bytes, before);
  EXPECT_EQ(d->bytes.size(), kHeader);
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
                      Delivery{"TtlNegative", "TTL=-2\n", kGroup, 64, false},
                      Delivery{"TtlOne", "TTL=1\n", kGroup, 1, false},
                      Delivery{"TtlSeven", "TTL=7\n", kGroup, 7, false},
                      Delivery{"Group", "IP=239.1.2.3\n", "239.1.2.3", 64, false},
                      Delivery{"SourceEmpty", "Source=\n", kGroup, 64, false},
                      Delivery{"SourceOf3", "Source=1.2\n", kGroup, 64, false},
                      Delivery{"SourceOf5", "Source=127.2\n", kGroup, 64, true},
                      Delivery{"SourceOf8", "Source=127.0.02\n", kGroup, 64, true},
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
        Refusal{"ApplicationOverLimit", "[Application]\nNumber=501\n", 6020,
                "Max number of Applications exceed", "Encode value read from the file was 0"},
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

}  // namespace
