// Whatever arrives and whatever the files hold: hostile traffic, broken
// configuration files, a long run, and the ways a monitor can be stopped.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "feedwatch/multipacket_store.h"
#include "packet/catalogue.h"
#include "support/multicast.h"
#include "support/packets.h"
#include "support/process.h"

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;  // the sanitizer's own memory hides the programs'
#else
constexpr bool kSanitized = false;
#endif

namespace {

using namespace std::chrono_literals;
using test_support::eventually;
using test_support::Process;
using test_support::TempDir;

// Gives a monitor whose output is thrown away time to join its group.
void let_monitor_start() { std::this_thread::sleep_for(700ms); }

std::vector<std::uint8_t> header(std::mt19937& random, std::size_t length) {
  std::vector<std::uint8_t> d(length);
  for (auto& b : d) b = static_cast<std::uint8_t>(random());
  return d;
}

void set16(std::vector<std::uint8_t>& d, std::size_t at, std::uint32_t v) {
  if (d.size() >= at + 2) packet::store_be16(d.data() + at, v);
}

TEST(Hostile, TrafficNeitherStopsNorGrowsTheMonitor) {
  ASSERT_TRUE(test_support::in_private_namespace());
  TempDir dir;
  Process watch({FEEDWATCH_PATH, "6040"}, dir.path(), "/dev/null");
  let_monitor_start();
  std::mt19937 random(6040);
  using test_support::send_datagram;
  // Every length, random bytes, with few records so the printout stays small.
  auto pool = header(random, 65507);
  pool[9] = 0;
  set16(pool, 64, 3);
  for (std::size_t length = 0; length <= pool.size(); ++length) {
    send_datagram(6040, {pool.begin(), pool.begin() + static_cast<long>(length)});
  }
  for (int i = 0; i < 300; ++i) {
    auto d = header(random, 68 + random() % 2000);  // random headers
    d[9] = static_cast<std::uint8_t>(random() % 2);
    send_datagram(6040, d);
    auto tiny = header(random, 68);  // 65,535 records in a tiny datagram
    tiny[9] = 0;
    tiny[58] = static_cast<std::uint8_t>(1 + i % 6);
    set16(tiny, 64, 65535);
    send_datagram(6040, tiny);
  }
  // Streams that expand far beyond the expansion buffer, and Encoding over plain data.
  const auto bomb = test_support::zlib_compress(std::vector<std::uint8_t>(8 << 20, 0));
  for (int i = 0; i < 50; ++i) {
    auto d = header(random, 68);
    d[9] = 0;
    d[12] = 1;
    set16(d, 64, 1 + random() % 100);
    d.insert(d.end(), i % 2 ? bomb.begin() : d.begin(), i % 2 ? bomb.end() : d.end());
    send_datagram(6040, d);
  }
  // Parts whose groups never complete: the store's bound must hold.
  for (std::uint32_t t = 0; t < 3 * feedwatch::kStoreCapacity; ++t) {
    auto d = header(random, 65507);
    d[9] = static_cast<std::uint8_t>(2 + random() % 254);
    packet::store_be32(d.data() + 60, t);
    send_datagram(6040, d);
    if (t % 64 == 0) std::this_thread::sleep_for(20ms);  // let the monitor keep up
  }
  std::this_thread::sleep_for(1s);
  const long peak = watch.status_kib("VmHWM");
  watch.send_input("q");
  send_datagram(6040, test_support::make_packet(test_support::default_fields(4)));
  ASSERT_TRUE(watch.wait_for(10s)) << "the monitor no longer stops on q";
  EXPECT_EQ(watch.exit_status(), 0);
  EXPECT_EQ(watch.errors(), "");
  // The store holds at most 512 parts of at most 65,507 bytes: 32 MiB, plus
  // the program itself and its buffers.
  if (!kSanitized) {
    EXPECT_LT(peak, 48 * 1024) << "peak resident memory in KiB";
  }
  std::printf("feedwatch peak resident memory after the flood: %ld KiB\n", peak);
}

// Broken configuration files give defaults: feedcast still sends kind 1 on 6020.
TEST(Hostile, BrokenConfigurationFilesGiveDefaults) {
  ASSERT_TRUE(test_support::in_private_namespace());
  std::mt19937 random(1);
  std::string junk(64 << 10, '\0');
  for (char& c : junk) c = static_cast<char>(random());
  std::string sections;
  for (int i = 0; i < 5000; ++i) sections += "[S" + std::to_string(i) + "]\nk=v\n";
  const std::string big(1 << 20, 'A');
  struct Case {
    const char* name;
    std::string text;
    std::u16string server;
  };
  const Case cases[] = {
      {"binary junk", junk, u""},
      {"1 MB line", big, u""},
      {"1 MB value", "[MCast]\nServerName=" + big + "\n[Application]\nNumber=1\n",
       u"AAAAAAAAAAAAAAAAAAAA"},
      {"thousands of sections", sections + "[MCast]\nServerName=S\n", u"S"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.write("feedcast.ini", c.text);
    test_support::GroupReceiver receiver(6020);
    Process cast({FEEDCAST_PATH}, dir.path());
    const auto d = receiver.receive(5s);
    ASSERT_TRUE(d.has_value()) << cast.errors();
    EXPECT_EQ(packet::message_type(d->bytes.data()), 1);
    EXPECT_EQ(packet::server_name(d->bytes.data()), c.server);
    EXPECT_EQ(cast.errors(), "");
  }
}

// feedcast at full speed into feedwatch: neither grows, and neither leaks
// (under the sanitizers, a leak changes the exit statuses checked here).
TEST(Soak, FullSpeedFeedDoesNotGrowEitherProgram) {
  ASSERT_TRUE(test_support::in_private_namespace());
  TempDir dir;
  std::string ini = "[MCast]\nMessageType=2\nUpdateRate=0\n[Skillset]\nNumber=350\nEncode=1\n";
  for (int i = 0; i < 350; ++i) ini += "SkillsetID" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  dir.write("feedcast.ini", ini);
  Process watch({FEEDWATCH_PATH, "6040"}, dir.path(), "/dev/null");
  let_monitor_start();
  Process cast({FEEDCAST_PATH}, dir.path(), "/dev/null");
  std::this_thread::sleep_for(3s);  // warm-up
  const long watch_start = watch.status_kib("VmRSS");
  const long cast_start = cast.status_kib("VmRSS");
  long watch_end = 0;
  long cast_end = 0;
  for (int second = 0; second < 6; ++second) {
    std::this_thread::sleep_for(1s);
    watch_end = std::max(watch_end, watch.status_kib("VmRSS"));
    cast_end = std::max(cast_end, cast.status_kib("VmRSS"));
  }
  std::printf("resident KiB after warm-up / at most later: feedwatch %ld / %ld, feedcast %ld / %ld\n",
              watch_start, watch_end, cast_start, cast_end);
  if (!kSanitized) {
    EXPECT_LE(watch_end - watch_start, 512);
    EXPECT_LE(cast_end - cast_start, 512);
  }
  // Raising Number over the limit ends feedcast through its normal way out.
  dir.write("feedcast.ini", "[MCast]\nMessageType=2\n[Skillset]\nNumber=351\n");
  ASSERT_TRUE(cast.wait_for(10s));
  EXPECT_EQ(cast.exit_status(), 1);
  EXPECT_EQ(cast.errors(), "Error: " + std::string(packet::find_kind(2)->limit_message) + "\n");
  watch.send_input("q");
  test_support::send_datagram(6040, test_support::make_packet(test_support::default_fields(4)));
  ASSERT_TRUE(watch.wait_for(10s));
  EXPECT_EQ(watch.exit_status(), 0);
  EXPECT_EQ(watch.errors(), "");
}

// A monitor on a terminal turns echo off and puts it back when a signal stops it.
TEST(Signals, StoppingTheMonitorRestoresTheTerminal) {
  ASSERT_TRUE(test_support::in_private_namespace());
  for (int signal_number : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal_number);
    TempDir dir;
    int master = -1;
    int slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios before{};
    tcgetattr(slave, &before);
    const pid_t pid = fork();
    if (pid == 0) {
      setsid();
      dup2(slave, STDIN_FILENO);
      dup2(slave, STDOUT_FILENO);
      if (chdir(dir.path().c_str()) != 0) _exit(127);
      execl(FEEDWATCH_PATH, FEEDWATCH_PATH, "6040", nullptr);
      _exit(127);
    }
    termios during{};
    EXPECT_TRUE(eventually(
        [&] { return tcgetattr(slave, &during) == 0 && (during.c_lflag & ECHO) == 0; }, 5s));
    EXPECT_EQ(during.c_lflag & ICANON, 0u);
    kill(pid, signal_number);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number);
    termios after{};
    tcgetattr(slave, &after);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    close(master);
    close(slave);
  }
}

// A stop signal while a packet of some 700 KB of text is written (65,535
// Route records announced, 6,546 shown): the packet is finished and flushed,
// then the signal ends the monitor.
TEST(Signals, AStopSignalNeverCutsALine) {
  ASSERT_TRUE(test_support::in_private_namespace());
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    TempDir dir;
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
      if (chdir(dir.path().c_str()) != 0) _exit(127);
      execl(FEEDWATCH_PATH, FEEDWATCH_PATH, "6120", nullptr);
      _exit(127);
    }
    close(out[1]);
    std::string text;
    char chunk[4096];
    const auto read_some = [&] {
      const ssize_t n = read(out[0], chunk, sizeof chunk);
      if (n > 0) text.append(chunk, static_cast<std::size_t>(n));
      return n;
    };
    while (text.find("adapter 0") == std::string::npos && read_some() > 0) {
    }
    std::vector<std::uint8_t> routes(6543 * 10);
    for (std::size_t i = 0; i < routes.size(); ++i) routes[i] = static_cast<std::uint8_t>(i * 7);
    test_support::send_datagram(6120, test_support::make_packet(test_support::default_fields(6, 65535), routes));
    while (text.size() < 100000 && read_some() > 0) {
    }
    kill(pid, signal_number);  // the monitor waits to write the rest of the packet
    while (read_some() > 0) {
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number);
    std::size_t separators = 0;
    for (std::size_t at = 0; (at = text.find("*\n\n", at)) != std::string::npos; ++at) ++separators;
    EXPECT_EQ(separators, 6546u);
    EXPECT_EQ(text.substr(text.size() - 3), "*\n\n") << "the output ends in the middle of a line";
  }
}

// The Application kind's trace lines give feedcast output of its own.
constexpr const char* kTracingFeed = "[MCast]\nUpdateRate=1\n[Application]\nNumber=1\n";

// `feedwatch | head`: the reader goes away and the program ends by SIGPIPE,
// without a word.
TEST(Output, AClosedPipeEndsEitherProgramQuietly) {
  ASSERT_TRUE(test_support::in_private_namespace());
  for (const char* program : {FEEDWATCH_PATH, FEEDCAST_PATH}) {
    SCOPED_TRACE(program);
    TempDir dir;
    dir.write("feedcast.ini", kTracingFeed);
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const std::string errors = dir.file("stderr");
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      dup2(open(errors.c_str(), O_WRONLY | O_CREAT, 0644), STDERR_FILENO);
      if (chdir(dir.path().c_str()) != 0) _exit(127);
      execl(program, program, "6040", nullptr);
      _exit(127);
    }
    close(out[1]);
    char first[16];
    ASSERT_GT(read(out[0], first, sizeof first), 0);  // like head, read a little, then go
    close(out[0]);
    int status = 0;
    EXPECT_TRUE(eventually(
        [&] {
          test_support::send_datagram(6040, test_support::make_packet(test_support::default_fields(6, 100)));
          return waitpid(pid, &status, WNOHANG) == pid;
        },
        5s));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE);
    EXPECT_EQ(test_support::read_file(errors), "");
  }
}

// A full disk: the failure on standard error, and feedwatch's status -1, or
// feedcast's 1, instead of a run that loses everything it prints.
TEST(Output, AFullDiskEndsEitherProgramWithTheReason) {
  ASSERT_TRUE(test_support::in_private_namespace());
  for (const auto& [program, status] : {std::pair{FEEDWATCH_PATH " 6040", 255}, {FEEDCAST_PATH, 1}}) {
    SCOPED_TRACE(program);
    TempDir dir;
    dir.write("feedcast.ini", kTracingFeed);
    Process run({"/bin/sh", "-c", std::string("exec ") + program + " > /dev/full"}, dir.path());
    ASSERT_TRUE(run.wait_for(5s));
    EXPECT_EQ(run.exit_status(), status);
    EXPECT_EQ(run.errors(), "Error: cannot write output: " + std::string(std::strerror(ENOSPC)) + "\n");
  }
}

}  // namespace
