// feedwatch end to end: the real program, driven by crafted datagrams on the
// loopback interface of a private network namespace and stopped with `q` on
// its standard input.  The lines of every kind and header are checked by the
// unit tests; these tests compare the whole console output of what only a
// running monitor shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "feedwatch/packet_buffer.h"
#include "feedwatch/receive_loop.h"
#include "support/console_capture.h"
#include "support/multicast.h"
#include "support/packets.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Words = std::vector<std::uint32_t>;
constexpr auto kWait = 5s;
const std::string kGroup = test_support::kGroup;

constexpr const char* kUsage =
    " Usage: feedwatch.exe PORT \n\tPORT is an integer multiple of 10, between 6020 and 6130.\n"
    "\tThis may also be set in feedwatch.ini file in the same directory\n";

// The start-up lines of a monitor that joined on the namespace's one address.
std::string startup(int port = 6040, const std::string& group = kGroup) {
  return "Multicast Address: " + group + ".\nPort Selection: " + std::to_string(port) +
         ".\n\nadapter 0 - 127.0.0.1\n";
}

// A Nodal record whose fields count up from `key`.
Words record(std::uint32_t k) { return {k, k + 1, k + 2, k + 3, k + 4, k + 5, k + 6}; }

Words concat(Words a, const Words& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A Nodal packet announcing `num_record` records, carrying `words`, as part
// `number` of `count`.
Bytes nodal(const Words& words, std::uint16_t num_record, int number = 0, int count = 0) {
  Bytes p = test_support::make_packet(test_support::default_fields(4, num_record),
                                      test_support::be32_words(words));
  p[8] = static_cast<std::uint8_t>(number);
  p[9] = static_cast<std::uint8_t>(count);
  return p;
}

// What the monitor's own code prints for `datagrams` received in this order
// (the text itself is pinned by the baselines).
std::string shown(const std::vector<Bytes>& datagrams) {
  test_support::CapturedConsole out;
  feedwatch::Monitor monitor(out.console());
  const auto buffer = std::make_unique<feedwatch::PacketBuffer>();
  for (const Bytes& d : datagrams) {
    std::copy(d.begin(), d.end(), buffer->begin());
    monitor.handle_datagram(*buffer, {.length = d.size()});
  }
  return out.text();
}

// The datagram after which a pressed `q` takes effect, and what it shows.
const Bytes kStopPacket = nodal({}, 0);
const std::string kStopText = shown({kStopPacket});

// A feedwatch in a directory of its own, with an optional feedwatch.ini.
class Monitor {
 public:
  explicit Monitor(std::vector<std::string> args = {}, const std::string& ini = "",
                   int port = 6040, const std::string& group = kGroup)
      : port_(port), group_(group) {
    if (!ini.empty()) dir_.write("feedwatch.ini", ini);
    args.insert(args.begin(), FEEDWATCH_PATH);
    process_.emplace(args, dir_.path());
  }

  bool ready() { return shows("adapter 0 - 127.0.0.1\n"); }
  bool shows(const std::string& text) { return process_->shows(text, kWait); }
  void send(const Bytes& datagram) {
    test_support::send_datagram(static_cast<std::uint16_t>(port_), datagram, group_.c_str());
  }
  void press(const std::string& keys) { process_->send_input(keys); }
  // The exit status; -2 when the monitor did not end in time.
  int wait_exit() { return process_->wait_for(kWait) ? process_->exit_status() : -2; }
  bool running() { return !process_->wait_for(300ms); }

  // Presses `q` once the monitor waits in its receive call and sends the
  // datagram after which the key takes effect.
  int stop() {
    std::this_thread::sleep_for(100ms);
    press("q");
    send(kStopPacket);
    return wait_exit();
  }

  std::string output() const { return process_->output(); }
  std::string errors() const { return process_->errors(); }

 private:
  test_support::TempDir dir_;
  int port_;
  std::string group_;
  std::optional<test_support::Process> process_;
};

class FeedwatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test_support::in_private_namespace())
        << "run through scripts/in-private-netns: this test joins multicast";
  }
};

// Start-up: the port and group chosen, or the reason and exit status -1.
struct Startup {
  const char* name;
  std::vector<std::string> args;
  std::string ini;
  int port;  // 0: refused
  std::string group;
  std::string output;
};

void PrintTo(const Startup& c, std::ostream* os) { *os << c.name; }

class FeedwatchStartup : public FeedwatchTest, public ::testing::WithParamInterface<Startup> {};

TEST_P(FeedwatchStartup, ListensOrStopsWithTheReason) {
  const Startup& c = GetParam();
  Monitor monitor(c.args, c.ini, c.port, c.group);
  if (c.port == 0) {
    EXPECT_EQ(monitor.wait_exit(), 255);
    EXPECT_EQ(monitor.output(), c.output);
  } else {
    ASSERT_TRUE(monitor.ready()) << monitor.output();
    EXPECT_EQ(monitor.stop(), 0);
    EXPECT_EQ(monitor.output(), c.output + kStopText);
  }
  EXPECT_EQ(monitor.errors(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FeedwatchStartup,
    ::testing::Values(
        Startup{"Defaults", {}, "", 6040, kGroup, startup()},
        Startup{"GroupAndPortFromFile", {}, "[MCast]\nIP=235.5.6.9\nPort=6130\n", 6130,
                "235.5.6.9", startup(6130, "235.5.6.9")},
        Startup{"FilePortNotAStatPort", {}, "[MCast]\nPort=6045\n", 0, kGroup,
                "Multicast Address: 235.5.6.7.\n"
                "Error on port selection. Value [6045] not allowed.\n" + std::string(kUsage)},
        // Cut to 19 characters, which inet_addr cannot read: Linux refuses the
        // resulting 255.255.255.255 as a group with EINVAL.
        Startup{"GroupCutAndRefused", {"6020"}, "[MCast]\nIP=235.5.6.7.extra.long.text\n", 0,
                kGroup,
                "Multicast Address: 235.5.6.7.extra.lon.\nPort Selection: 6020.\n\n"
                "adapter 0 - 127.0.0.1 - setsockopt failed! Error: 22, Exiting application.\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FeedwatchTest, QuitKeyTypedBeforeAnyDatagramEndsAtOnce) {
  test_support::TempDir dir;
  test_support::Process monitor({FEEDWATCH_PATH}, dir.path(), "", "q");
  ASSERT_TRUE(monitor.wait_for(kWait)) << monitor.output();
  EXPECT_EQ(monitor.exit_status(), 0);
  EXPECT_EQ(monitor.output(), startup());
}

// One key is read after each datagram; only a lower-case q ends the monitor.
TEST_F(FeedwatchTest, QuitKeyTakesEffectAfterTheNextDatagram) {
  Monitor monitor;
  ASSERT_TRUE(monitor.ready()) << monitor.output();
  monitor.press("Q");
  monitor.send(nodal(record(10), 1));
  ASSERT_TRUE(monitor.shows(shown({nodal(record(10), 1)}))) << monitor.output();
  ASSERT_TRUE(monitor.running());

  monitor.press("xq");
  monitor.send(nodal(record(20), 1));
  ASSERT_TRUE(monitor.shows(startup() + shown({nodal(record(10), 1), nodal(record(20), 1)})))
      << monitor.output();
  EXPECT_TRUE(monitor.running()) << "only the x is read after the second datagram";
  monitor.send(nodal(record(30), 1));
  ASSERT_EQ(monitor.wait_exit(), 0) << monitor.output();
  EXPECT_EQ(monitor.output(), startup() + shown({nodal(record(10), 1), nodal(record(20), 1),
                                                 nodal(record(30), 1)}));
}

// The second, third and first parts of a message print in arrival order once
// all are in; a single packet with the pending timestamp prints at once.  The
// third part announces two records but carries one, and a 30-byte datagram
// follows: bytes that a datagram does not carry read as zero, never as those
// of an earlier one.
TEST_F(FeedwatchTest, MultiPacketMessageAndShortDatagrams) {
  setenv("TZ", "JST-9", 1);  // inherited by the monitor, which ignores it
  Monitor monitor;
  unsetenv("TZ");
  ASSERT_TRUE(monitor.ready()) << monitor.output();
  packet::HeaderFields f = test_support::default_fields(2, 1);
  f.server_name = u"ABCDEFGHIJ";
  const Bytes skillset = test_support::make_packet(f);
  const std::vector<Bytes> datagrams = {
      nodal(concat(record(20), record(50)), 2, 2, 3), nodal(record(70), 1),
      nodal(record(30), 2, 3, 3), nodal(record(10), 1, 1, 3),
      Bytes(skillset.begin(), skillset.begin() + 30)};  // up to name unit 7
  for (const Bytes& d : datagrams) monitor.send(d);
  ASSERT_TRUE(monitor.shows("Server id -> ABCDEFG\n")) << monitor.output();
  EXPECT_EQ(monitor.stop(), 0);
  EXPECT_EQ(monitor.output(), startup() + shown(datagrams) + kStopText);
}

// A second monitor binds the same port thanks to address reuse; each shows
// only its own group, although the host has joined both on that port.
TEST_F(FeedwatchTest, TwoMonitorsShareThePortAndEachShowsOnlyItsGroup) {
  Monitor first;
  ASSERT_TRUE(first.ready()) << first.output();
  Monitor second({}, "[MCast]\nIP=235.5.6.8\n", 6040, "235.5.6.8");
  ASSERT_TRUE(second.ready()) << second.output();
  second.send(nodal(record(80), 1));
  first.send(nodal(record(40), 1));
  ASSERT_TRUE(first.shows(shown({nodal(record(40), 1)}))) << first.output();
  ASSERT_TRUE(second.shows(shown({nodal(record(80), 1)}))) << second.output();
  EXPECT_EQ(first.stop(), 0);
  EXPECT_EQ(second.stop(), 0);
  EXPECT_EQ(first.output(), startup() + shown({nodal(record(40), 1)}) + kStopText);
  EXPECT_EQ(second.output(), startup(6040, "235.5.6.8") + shown({nodal(record(80), 1)}) + kStopText);
}

}  // namespace
