// feedwatch end to end: the real program in a private network namespace, for
// what only a running process shows: its streams and exit statuses, the
// sockets it binds and joins, signals, and the quit key from a pipe and at a
// terminal.  What it prints for each packet is pinned by the unit tests.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "feedwatch/options.h"
#include "portable/command_line.h"
#include "portable/visible_controls.h"
#include "support/console_capture.h"
#include "support/http_client.h"
#include "support/multicast.h"
#include "support/packets.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using json = nlohmann::ordered_json;
using test_support::nodal;
using test_support::shown;

// The first lines of a monitor of the default group and port, the line of
// one that has joined on the loopback address, and both.
const std::string kHead = "Multicast Address: 235.5.6.7.\nPort Selection: 6040.\n\n";
const std::string kJoined = "adapter 0 - 127.0.0.1\n";
const std::string kStartup = kHead + kJoined;

// How often `what` occurs in `text`.
std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

// Process starts programs only inside a private network namespace.
class Feedwatch : public ::testing::Test {
 protected:
  // Starts feedwatch with `args` in a directory of its own, `input` waiting
  // on its standard input.
  test_support::Process& start(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), FEEDWATCH_PATH);
    process_.emplace(args, dir_.path(), "", input);
    return *process_;
  }

  test_support::TempDir dir_;
  std::optional<test_support::Process> process_;
};

// Runs that end before any datagram: help, version, a usage error (which
// wins over help), a port refused, a group the system refuses, no interface
// to join on.  What each stream holds, and the exit status.
TEST_F(Feedwatch, RunsThatEndAtOnce) {
  const struct {
    std::vector<std::string> args;
    std::string ini;
    int status;
    std::string out, err;
  } cases[] = {
      {{"--help"}, "", 0, std::string(feedwatch::help_text()), ""},
      {{"-V"}, "", 0, "feedwatch " + std::string(portable::program_version()) + "\n", ""},
      {{"6040", "-h", "--bogus"},
       "",
       2,
       "",
       "feedwatch: unrecognized option '--bogus'\nTry 'feedwatch --help'.\n"},
      {{},
       "[MCast]\nPort=6045\n",
       255,
       "Multicast Address: 235.5.6.7.\nError on port selection. Value [6045] not allowed.\n"
       " Usage: feedwatch.exe PORT \n\tPORT is an integer multiple of 10, between 6020 and 6130.\n"
       "\tThis may also be set in feedwatch.ini file in the same directory\n",
       ""},
      // Cut to 19 characters, which inet_addr cannot read: Linux refuses the
      // resulting 255.255.255.255 as a group with EINVAL.
      {{"6020"},
       "[MCast]\nIP=235.5.6.7.extra.long.text\n",
       255,
       "Multicast Address: 235.5.6.7.extra.lon.\nPort Selection: 6020.\n\n"
       "adapter 0 - 127.0.0.1 - setsockopt failed! Error: 22, Exiting application.\n",
       ""},
      {{"-i", "eth9"},
       "",
       255,
       kHead + "No local interface that is up has the address or name eth9\n",
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? c.ini : c.args.back());
    dir_.write("feedwatch.ini", c.ini);
    test_support::Process& p = start(c.args);
    ASSERT_TRUE(p.wait_for(5s));
    EXPECT_EQ(p.exit_status(), c.status);
    EXPECT_EQ(p.output(), c.out);
    EXPECT_EQ(p.errors(), c.err);
  }
}

// How a run ends, with its status: by the time-out, with or without traffic
// (before the count, a line on standard error says so); by the count, which
// holds inside a message; by q from a pipe, where one key is read before each
// wait for a datagram and only a lower-case q ends it.
TEST_F(Feedwatch, TimeOutCountAndQuitKeyEndTheRunWithTheirStatus) {
  const std::vector<Bytes> message = {nodal(1), nodal(2, 1, 3), nodal(3, 2, 3), nodal(4, 3, 3)};
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string keys;  // waiting on standard input
    std::vector<Bytes> sent;
    int status;
    std::string shown;  // what follows the start-up lines
    std::string errors = "";
  } cases[] = {
      {"time-out, no traffic", {"-t", "0.3"}, "", {}, 0, ""},
      {"time-out before the count",
       {"-c", "2", "-t", "2"},
       "",
       {nodal(1)},
       1,
       shown({nodal(1)}),
       "feedwatch: 1 of 2 packets within 2 s\n"},
      {"count reached inside a message, a time-out pending",
       {"-c", "2", "-t", "30"},
       "",
       message,
       0,
       shown(message, 2)},
      {"Q, then x, then q after the second datagram",
       {},
       "Qxq",
       {nodal(1), nodal(2), nodal(3)},
       0,
       shown({nodal(1), nodal(2)})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::Process& p = start(c.args, c.keys);
    ASSERT_TRUE(p.shows(kJoined, 5s)) << p.output();
    for (const Bytes& d : c.sent) test_support::send_datagram(6040, d);
    ASSERT_TRUE(p.wait_for(5s)) << p.output();
    EXPECT_EQ(p.exit_status(), c.status);
    EXPECT_EQ(p.output(), kStartup + c.shown);
    EXPECT_EQ(p.errors(), c.errors);
  }
}

// Texts that carry terminal controls reach a terminal escaped, and a pipe
// as they came: exactly the monitor's own text.
TEST_F(Feedwatch, ControlsFromADatagramReachATerminalEscapedAndAPipeAsTheyCame) {
  const Bytes datagram = test_support::controls_packet();
  const std::string as_sent = kStartup + shown({datagram});
  std::string escaped;
  portable::append_visible(escaped, as_sent);
  const std::string command = std::string(FEEDWATCH_PATH) + " -c 1";
  for (const bool terminal : {false, true}) {
    test_support::Process p(terminal
                                ? test_support::at_terminal(command)
                                : std::vector<std::string>{"/bin/sh", "-c", command + " | cat"},
                            dir_.path());
    ASSERT_TRUE(p.shows("adapter 0 - ", 5s)) << p.output();
    test_support::send_datagram(6040, datagram);
    ASSERT_TRUE(p.wait_for(5s));
    EXPECT_EQ(test_support::from_terminal(p.output()), terminal ? escaped : as_sent);
  }
}

// At a terminal, q ends the monitor at once although no datagram arrives.
TEST_F(Feedwatch, QuitKeyAtATerminalTakesEffectAtOnce) {
  int master = -1;
  int slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const std::string out = dir_.file("out");
  test_support::Process p([&] {
    setsid();
    dup2(slave, STDIN_FILENO);
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
    if (chdir(dir_.path().c_str()) == 0) execl(FEEDWATCH_PATH, FEEDWATCH_PATH, "6040", nullptr);
  });
  ASSERT_TRUE(test_support::eventually(
      [&] { return test_support::read_file(out).find("adapter 0") != std::string::npos; }, 5s));
  std::this_thread::sleep_for(100ms);
  ASSERT_EQ(write(master, "xq", 2), 2);
  EXPECT_TRUE(p.wait_for(2s)) << "q had no effect without a datagram";
  EXPECT_EQ(p.exit_status(), 0);
  EXPECT_EQ(test_support::read_file(out), kStartup);
  close(master);
  close(slave);
}

// A second monitor binds the same port thanks to address reuse; each shows
// only its own group, although the host has joined both on that port.
TEST_F(Feedwatch, TwoMonitorsShareThePortAndEachShowsOnlyItsGroup) {
  test_support::Process& first = start({"-c", "1"});
  ASSERT_TRUE(first.shows(kJoined, 5s)) << first.output();
  test_support::TempDir other_dir;
  other_dir.write("feedwatch.ini", "[MCast]\nIP=235.5.6.8\n");
  test_support::Process second({FEEDWATCH_PATH, "-c", "1"}, other_dir.path());
  ASSERT_TRUE(second.shows(kJoined, 5s)) << second.output();
  test_support::send_datagram(6040, nodal(80), "235.5.6.8");
  test_support::send_datagram(6040, nodal(40));
  ASSERT_TRUE(first.wait_for(5s) && second.wait_for(5s));
  EXPECT_EQ(first.exit_status(), 0);
  EXPECT_EQ(second.exit_status(), 0);
  EXPECT_EQ(first.output(), kStartup + shown({nodal(40)}));
  EXPECT_EQ(second.output(), "Multicast Address: 235.5.6.8.\nPort Selection: 6040.\n\n" + kJoined +
                                 shown({nodal(80)}));
}

// With --http the display goes on as without it, while the page's tables,
// events and metrics show the same packets; an address that cannot be
// served ends the run before the group is joined.
TEST_F(Feedwatch, LiveViewBesideTheDisplay) {
  test_support::Process& live = start({"-c", "2", "--http", "8480"});
  test_support::Process plain({FEEDWATCH_PATH, "-c", "2"}, dir_.path());
  ASSERT_TRUE(live.shows(kJoined, 5s) && plain.shows(kJoined, 5s)) << live.errors();
  test_support::send_datagram(6040, nodal(7));
  ASSERT_TRUE(live.shows("DummyKey   =7\t", 5s));
  const std::string close = " HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n";
  EXPECT_NE(test_support::http_exchange(8480, "GET /api/streams" + close).find("\"DummyKey\":7"),
            std::string::npos);
  EXPECT_TRUE(test_support::eventually(
      [&] {
        return test_support::http_exchange(8480, "GET /metrics" + close)
                   .find("\nfeedwatch_datagrams_total 1\n") != std::string::npos;
      },
      3s));
  test_support::send_datagram(6040, nodal(8));
  ASSERT_TRUE(live.wait_for(5s) && plain.wait_for(5s));
  EXPECT_EQ(live.exit_status(), 0);
  EXPECT_EQ(live.output(), plain.output());
  EXPECT_EQ(live.errors(), "");

  test_support::Process holder({FEEDWATCH_PATH, "--http", "8480"}, dir_.path());
  ASSERT_TRUE(holder.shows(kJoined, 5s));
  const struct {
    std::string address;
    std::string reason;
  } refused[] = {
      {"8480", "Address already in use"},
      {"192.0.2.1:8480", "Cannot assign requested address"},
      {"[::2]:8480", "Cannot assign requested address"},
  };
  for (const auto& c : refused) {
    test_support::Process& p = start({"--http", c.address});
    ASSERT_TRUE(p.wait_for(5s));
    EXPECT_EQ(p.exit_status(), 255);
    EXPECT_EQ(p.output(), kHead);
    const std::string shown_address = c.address == "8480" ? "127.0.0.1:8480" : c.address;
    EXPECT_EQ(p.errors(),
              "feedwatch: cannot serve HTTP on " + shown_address + ": " + c.reason + "\n");
  }
}

// In JSON mode standard output holds JSON lines only; the summary is the last.
TEST_F(Feedwatch, JsonLinesOnStandardOutputTheRestOnStandardError) {
  test_support::Process& p = start({"--json", "--stats", "-c", "2"});
  ASSERT_TRUE(
      test_support::eventually([&] { return p.errors().find(kJoined) != std::string::npos; }, 5s))
      << p.errors();
  test_support::send_datagram(6040, nodal(7));
  test_support::send_datagram(6040, Bytes(10, 0));
  ASSERT_TRUE(p.wait_for(5s));
  EXPECT_EQ(p.exit_status(), 0);
  std::istringstream out(p.output());
  std::vector<json> lines;
  for (std::string line; std::getline(out, line);) lines.push_back(json::parse(line));
  ASSERT_EQ(lines.size(), 3u) << p.output();
  EXPECT_EQ(lines[0]["records"][0]["DummyKey"], 7);
  EXPECT_NE(lines[0]["source"].get<std::string>().find(':'), std::string::npos);
  EXPECT_EQ(lines[1]["length"], 10);
  EXPECT_EQ(lines[2]["type"], "summary");
  EXPECT_EQ(lines[2]["datagrams"], 2);
  const std::string errors = p.errors();
  EXPECT_EQ(errors.rfind(kStartup, 0), 0u) << errors;
  EXPECT_NE(errors.find("\nFeed statistics after "), std::string::npos) << errors;
}

// Without --stats SIGUSR1 keeps its default action, as before; with it,
// SIGUSR1 reports without stopping, and SIGINT reports, then ends by the signal.
TEST_F(Feedwatch, StatisticsOnSignals) {
  test_support::Process& plain = start({});
  ASSERT_TRUE(plain.shows(kJoined, 5s)) << plain.output();
  kill(plain.pid(), SIGUSR1);
  ASSERT_TRUE(plain.wait_for(5s));
  EXPECT_EQ(plain.exit_signal(), SIGUSR1);
  test_support::Process& p = start({"--stats"});
  ASSERT_TRUE(p.shows(kJoined, 5s)) << p.output();
  test_support::send_datagram(6040, nodal(1));
  ASSERT_TRUE(p.shows("DummyKey   =1\t", 5s));
  kill(p.pid(), SIGUSR1);
  ASSERT_TRUE(p.shows("Datagrams: 1 (96 bytes), displayed: 1\n", 5s)) << p.output();
  EXPECT_FALSE(p.wait_for(200ms)) << "a report signal stopped the monitor";
  test_support::send_datagram(6040, nodal(2));
  ASSERT_TRUE(p.shows("DummyKey   =2\t", 5s));
  kill(p.pid(), SIGINT);
  ASSERT_TRUE(p.wait_for(5s));
  EXPECT_EQ(p.exit_signal(), SIGINT);
  EXPECT_EQ(count_of(p.output(), "Feed statistics after "), 2u);
  EXPECT_NE(p.output().find("Datagrams: 2 (192 bytes), displayed: 2\n"), std::string::npos);
}

// Datagrams sent while the monitor is stopped overflow its socket's buffer:
// the system's count of those it dropped, which comes with the next datagram
// queued, and those received make up all sent.
TEST_F(Feedwatch, StatisticsCountTheDatagramsTheSystemDropped) {
  test_support::Process& p = start({"--stats", "--json"});
  ASSERT_TRUE(
      test_support::eventually([&] { return p.errors().find(kJoined) != std::string::npos; }, 5s));
  kill(p.pid(), SIGSTOP);
  const int sent = 3000;
  for (int n = 0; n < sent; ++n) test_support::send_datagram(6040, nodal(n));
  kill(p.pid(), SIGCONT);
  std::this_thread::sleep_for(500ms);
  test_support::send_datagram(6040, nodal(sent));
  std::this_thread::sleep_for(500ms);
  kill(p.pid(), SIGINT);
  ASSERT_TRUE(p.wait_for(5s));
  const std::string out = p.output();
  const json summary = json::parse(out.substr(out.rfind("{\"type\":\"summary\"")));
  EXPECT_GT(summary["kernel_drops"].get<int>(), 0);
  EXPECT_EQ(summary["datagrams"].get<int>() + summary["kernel_drops"].get<int>(), sent + 1);
}

// --interface by an address added to the loopback interface, and by name,
// which joins on both of its addresses.
TEST_F(Feedwatch, InterfaceByAddressOrName) {
  ASSERT_TRUE(test_support::in_private_namespace()) << "run through scripts/in-private-netns";
  ASSERT_EQ(std::system("ip addr add 127.0.0.2/8 dev lo"), 0);
  const struct {
    std::string wanted;
    std::string adapters;
  } cases[] = {
      {"127.0.0.2", "adapter 0 - 127.0.0.2\n"},
      {"lo",
       "adapter 0 - 127.0.0.1\nadapter 1 - 127.0.0.2 - ignoring setsockopt error: 98, assume "
       "address is IP alias.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wanted);
    test_support::Process& p = start({"-i", c.wanted, "-c", "1"});
    ASSERT_TRUE(p.shows(kHead + c.adapters, 5s)) << p.output();
    test_support::send_datagram(6040, nodal(5));
    ASSERT_TRUE(p.wait_for(5s));
    EXPECT_EQ(p.exit_status(), 0);
    EXPECT_EQ(p.output(), kHead + c.adapters + shown({nodal(5)}));
  }
}

}  // namespace
