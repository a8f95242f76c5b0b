// feedwatch run from scripts: its options and their errors, the count and
// the time-out with their exit statuses, JSON Lines beside the other lines
// on standard error, the statistics at the end and on SIGUSR1, joining one
// interface, and the quit key at a terminal with no traffic.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "feedwatch/options.h"
#include "platform/command_line.h"
#include "support/json_display.h"
#include "support/multicast.h"
#include "support/packets.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using json = nlohmann::ordered_json;

constexpr const char* kStartup =
    "Multicast Address: 235.5.6.7.\nPort Selection: 6040.\n\nadapter 0 - 127.0.0.1\n";

// A Nodal packet whose DummyKey is `tag`, as part `number` of `count`.
Bytes nodal(std::uint32_t tag, std::uint8_t number = 0, std::uint8_t count = 0) {
  Bytes p = test_support::make_packet(test_support::default_fields(4, 1),
                                      test_support::be32_words({tag, 0, 0, 0, 0, 0, 0}));
  p[8] = number;
  p[9] = count;
  return p;
}

std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

std::vector<json> json_lines(const std::string& text) {
  std::vector<json> lines;
  for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(json::parse(text.substr(at, end - at)));
  }
  return lines;
}

class FeedwatchScript : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test_support::in_private_namespace()) << "run through scripts/in-private-netns";
  }

  // Starts feedwatch with `args` in a directory of its own.
  test_support::Process& start(std::vector<std::string> args) {
    args.insert(args.begin(), FEEDWATCH_PATH);
    process_.emplace(args, dir_.path());
    return *process_;
  }

  // Waits until the monitor has joined the group (its lines on standard
  // error in JSON mode).
  bool ready(bool json = false) {
    return test_support::eventually(
        [&] {
          return (json ? process_->errors() : process_->output()).find("adapter 0 - 127.0.0.1\n") !=
                 std::string::npos;
        },
        5s);
  }

  test_support::TempDir dir_;
  std::optional<test_support::Process> process_;
};

// Help, version and usage errors: nothing else happens, no socket is opened.
TEST_F(FeedwatchScript, HelpVersionAndUsageErrors) {
  const std::string version = "feedwatch " + std::string(platform::program_version()) + "\n";
  const std::string try_help = "Try 'feedwatch --help'.\n";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  } cases[] = {
      {{"--help"}, 0, std::string(feedwatch::help_text()), ""},
      {{"6040", "-h", "--bogus"}, 2, "", "feedwatch: unrecognized option '--bogus'\n" + try_help},
      {{"-V"}, 0, version, ""},
      {{"--bogus", "6040"}, 2, "", "feedwatch: unrecognized option '--bogus'\n" + try_help},
      {{"--timeout", "soon"}, 2, "", "feedwatch: invalid time-out: 'soon'\n" + try_help},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    test_support::Process& p = start(c.args);
    ASSERT_TRUE(p.wait_for(5s));
    EXPECT_EQ(p.exit_status(), c.status);
    EXPECT_EQ(p.output(), c.out);
    EXPECT_EQ(p.errors(), c.err);
  }
}

// The count and the time-out, with and without traffic, and their statuses.
TEST_F(FeedwatchScript, CountAndTimeOutEndTheRunWithTheirStatus) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::vector<Bytes> sent;
    int status;
    std::size_t shown;  // packets displayed
  } cases[] = {
      {"time-out, no traffic", {"-t", "0.3"}, {}, 0, 0},
      {"time-out before the count, no traffic", {"-c", "2", "-t", "0.5"}, {}, 1, 0},
      {"time-out before the count", {"--count=2", "--timeout=1.5"}, {nodal(1)}, 1, 1},
      {"count reached", {"-c", "2", "-t", "30"}, {nodal(1), nodal(2), nodal(3)}, 0, 2},
      {"count reached inside a message", {"-c", "2"}, {nodal(1, 1, 3), nodal(2, 2, 3), nodal(3, 3, 3)}, 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = c.args;
    args.push_back("6040");
    test_support::Process& p = start(args);
    ASSERT_TRUE(ready()) << p.output();
    for (const Bytes& d : c.sent) test_support::send_datagram(6040, d);
    ASSERT_TRUE(p.wait_for(5s)) << p.output();
    EXPECT_EQ(p.exit_status(), c.status);
    EXPECT_EQ(count_of(p.output(), "Server id -> "), c.shown) << p.output();
    EXPECT_EQ(p.output().rfind(kStartup, 0), 0u);
    EXPECT_EQ(p.errors(), "");
  }
}

// In JSON mode standard output holds JSON lines only; the summary is the last.
TEST_F(FeedwatchScript, JsonLinesOnStandardOutputTheRestOnStandardError) {
  test_support::Process& p = start({"--json", "--stats", "-c", "2", "6040"});
  ASSERT_TRUE(ready(true)) << p.errors();
  test_support::send_datagram(6040, nodal(7));
  test_support::send_datagram(6040, Bytes(10, 0));
  ASSERT_TRUE(p.wait_for(5s));
  EXPECT_EQ(p.exit_status(), 0);
  const std::vector<json> lines = json_lines(p.output());
  ASSERT_EQ(lines.size(), 3u) << p.output();
  EXPECT_EQ(lines[0]["records"][0]["DummyKey"], 7);
  EXPECT_NE(lines[0]["source"].get<std::string>().find(':'), std::string::npos);
  EXPECT_EQ(lines[1]["length"], 10);
  EXPECT_EQ(lines[2]["type"], "summary");
  EXPECT_EQ(lines[2]["datagrams"], 2);
  EXPECT_EQ(lines[2]["short"], 1);
  EXPECT_EQ(lines[2]["streams"].size(), 1u);
  const std::string errors = p.errors();
  EXPECT_EQ(errors.rfind(kStartup, 0), 0u) << errors;
  EXPECT_NE(errors.find("\nFeed statistics after "), std::string::npos) << errors;
}

// SIGUSR1 reports without stopping; SIGINT reports, then ends by the signal.
TEST_F(FeedwatchScript, StatisticsOnSignals) {
  test_support::Process& p = start({"--stats", "6040"});
  ASSERT_TRUE(ready()) << p.output();
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

// Without --stats SIGUSR1 keeps its default action, as before.
TEST_F(FeedwatchScript, WithoutStatisticsSigusr1EndsTheMonitor) {
  test_support::Process& p = start({"6040"});
  ASSERT_TRUE(ready()) << p.output();
  kill(p.pid(), SIGUSR1);
  ASSERT_TRUE(p.wait_for(5s));
  EXPECT_EQ(p.exit_signal(), SIGUSR1);
}

// --interface on an address added to the loopback interface.
TEST_F(FeedwatchScript, InterfaceByAddressOrName) {
  ASSERT_EQ(std::system("ip addr add 127.0.0.2/8 dev lo"), 0);
  const struct {
    std::string wanted;
    int status;  // -1: runs
    std::string adapters;
  } cases[] = {
      {"127.0.0.2", -1, "adapter 0 - 127.0.0.2\n"},
      {"lo", -1,
       "adapter 0 - 127.0.0.1\nadapter 1 - 127.0.0.2 - ignoring setsockopt error: 98, assume "
       "address is IP alias.\n"},
      {"192.0.2.1", 255, "No local interface that is up has the address or name 192.0.2.1\n"},
      {"eth9", 255, "No local interface that is up has the address or name eth9\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wanted);
    test_support::Process& p = start({"-i", c.wanted, "-c", "1", "-t", "5", "6040"});
    const std::string expected = "Multicast Address: 235.5.6.7.\nPort Selection: 6040.\n\n" + c.adapters;
    if (c.status == -1) {
      ASSERT_TRUE(p.shows(expected, 5s)) << p.output();
      test_support::send_datagram(6040, nodal(5));
    }
    ASSERT_TRUE(p.wait_for(5s));
    EXPECT_EQ(p.exit_status(), c.status == -1 ? 0 : c.status);
    EXPECT_EQ(p.output().substr(0, expected.size()), expected);
    EXPECT_EQ(count_of(p.output(), "DummyKey   =5\t"), c.status == -1 ? 1u : 0u);
  }
}

// At a terminal, q ends the monitor at once although no datagram arrives.
TEST_F(FeedwatchScript, QuitKeyAtATerminalTakesEffectAtOnce) {
  int master = -1;
  int slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const std::string out = dir_.file("out");
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();
    dup2(slave, STDIN_FILENO);
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
    if (chdir(dir_.path().c_str()) != 0) _exit(127);
    execl(FEEDWATCH_PATH, FEEDWATCH_PATH, "6040", nullptr);
    _exit(127);
  }
  ASSERT_TRUE(test_support::eventually(
      [&] { return test_support::read_file(out).find("adapter 0") != std::string::npos; }, 5s));
  std::this_thread::sleep_for(100ms);
  ASSERT_EQ(write(master, "xq", 2), 2);
  int status = 0;
  const bool ended = test_support::eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 2s);
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  EXPECT_TRUE(ended) << "q had no effect without a datagram";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(test_support::read_file(out), kStartup);
  close(master);
  close(slave);
}

}  // namespace
