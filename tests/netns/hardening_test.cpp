// Whatever arrives and however a program is stopped or cut off: hostile
// traffic, stop signals, a reader that goes away and a full disk.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "feedwatch/multipacket_store.h"
#include "packet/byte_order.h"
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
using test_support::send_datagram;
using test_support::TempDir;

// A named pipe, `dir`/stdout, for a program's standard output: the child,
// opening it, waits until the test opens it for reading.
std::string named_pipe(const TempDir& dir) {
  const std::string path = dir.file("stdout");
  if (mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
  return path;
}

// Datagrams of every length with random bytes, then parts whose groups never
// complete: the monitor goes on, stays within its store's bound (the crafted
// cases are the unit tests' and the fuzz targets'), and still stops on q.
TEST(Hostile, TrafficNeitherStopsNorGrowsTheMonitor) {
  TempDir dir;
  Process watch({FEEDWATCH_PATH, "6040"}, dir.path(), "/dev/null");
  std::this_thread::sleep_for(700ms);  // time to join the group
  std::mt19937 random(6040);
  // Single packets of three records, so that the printout stays small.
  std::vector<std::uint8_t> pool(65507);
  for (auto& b : pool) b = static_cast<std::uint8_t>(random());
  pool[9] = 0;
  packet::store_be16(pool.data() + 64, 3);
  for (std::size_t length = 0; length <= pool.size(); ++length) {
    send_datagram(6040, {pool.begin(), pool.begin() + static_cast<long>(length)});
  }
  for (std::uint32_t t = 0; t < 3 * feedwatch::kStoreCapacity; ++t) {
    auto d = pool;  // part 1 of 2 to 255, each of a group of its own
    d[8] = 1;
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
  EXPECT_TRUE(kSanitized || peak < 48 * 1024) << "peak resident memory " << peak << " KiB";
}

// A stop signal while a packet of some 700 KB of text is written (65,535
// Route records announced, 6,546 shown) by a monitor at a terminal, which
// turns echo off: the packet is finished and flushed, the terminal put back,
// then the signal ends the monitor.
TEST(Signals, AStopSignalNeverCutsALineAndRestoresTheTerminal) {
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    TempDir dir;
    const std::string pipe = named_pipe(dir);
    int master = -1;
    int slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios before{};
    tcgetattr(slave, &before);
    Process watch([&] {
      setsid();
      dup2(slave, STDIN_FILENO);
      dup2(open(pipe.c_str(), O_WRONLY), STDOUT_FILENO);
      if (chdir(dir.path().c_str()) == 0) execl(FEEDWATCH_PATH, FEEDWATCH_PATH, "6120", nullptr);
    });
    const int out = open(pipe.c_str(), O_RDONLY);
    std::string text;
    // Reads the monitor's output until `enough` holds or the output ends.
    const auto read_until = [&](auto enough) {
      char chunk[4096];
      for (ssize_t n = 1; n > 0 && !enough();) {
        n = read(out, chunk, sizeof chunk);
        if (n > 0) text.append(chunk, static_cast<std::size_t>(n));
      }
    };
    read_until([&] { return text.find("adapter 0") != std::string::npos; });
    termios during{};
    tcgetattr(slave, &during);
    EXPECT_EQ(during.c_lflag & (ECHO | ICANON), 0u);
    const std::vector<std::uint8_t> routes(6543 * 10, 7);
    send_datagram(6120, test_support::make_packet(test_support::default_fields(6, 65535), routes));
    read_until([&] { return text.size() >= 100000; });
    kill(watch.pid(), signal_number);  // the monitor waits to write the rest of the packet
    read_until([] { return false; });
    close(out);
    ASSERT_TRUE(watch.wait_for(5s));
    EXPECT_EQ(watch.exit_signal(), signal_number);
    std::size_t separators = 0;
    for (std::size_t at = 0; (at = text.find("*\n\n", at)) != std::string::npos; ++at) ++separators;
    EXPECT_EQ(separators, 6546u);
    EXPECT_EQ(text.substr(text.size() - 3), "*\n\n") << "the output ends in the middle of a line";
    termios after{};
    tcgetattr(slave, &after);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    close(master);
    close(slave);
  }
}

// The Application kind's trace lines give feedcast output of its own.
constexpr const char* kTracingFeed = "[MCast]\nUpdateRate=1\n[Application]\nNumber=1\n";

// A full disk under a run, the help, the version or feedcast's check: the
// failure on standard error, and feedwatch's status -1, or feedcast's 1,
// instead of a run that loses everything it prints.  Then
// `program | head`: the reader goes away and the program ends by SIGPIPE,
// without a word.
TEST(Output, AFullDiskOrAClosedPipeEndsEitherProgram) {
  for (const auto& [program, status] : {std::pair{FEEDWATCH_PATH, 255}, {FEEDCAST_PATH, 1}}) {
    SCOPED_TRACE(program);
    TempDir dir;
    dir.write("feedcast.ini", kTracingFeed);
    std::vector<const char*> args = {"6040", "--help", "-V"};
    if (std::string(program) == FEEDCAST_PATH) args.push_back("--check");
    for (const char* arg : args) {
      Process full({program, arg}, dir.path(), "/dev/full");
      ASSERT_TRUE(full.wait_for(5s)) << arg;
      EXPECT_EQ(full.exit_status(), status) << arg;
      EXPECT_EQ(full.errors(),
                "Error: cannot write output: " + std::string(std::strerror(ENOSPC)) + "\n");
    }

    Process run({program, "6040"}, dir.path(), named_pipe(dir));
    const int out = open(dir.file("stdout").c_str(), O_RDONLY);
    char first[16];
    ASSERT_GT(read(out, first, sizeof first), 0);  // like head, read a little, then go
    close(out);
    EXPECT_TRUE(eventually(
        [&] {
          send_datagram(6040, test_support::make_packet(test_support::default_fields(6, 100)));
          return run.wait_for(0ms);
        },
        5s));
    EXPECT_EQ(run.exit_signal(), SIGPIPE);
    EXPECT_EQ(run.errors(), "");
  }
}

}  // namespace
