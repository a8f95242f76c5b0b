// feedcast and a configuration file that is missing, unreadable, gone for a
// while, rewritten in place or over its kind's limit as it runs: a raw
// receiver checks every datagram against the tables written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "packet/catalogue.h"
#include "packet/header.h"
#include "support/multicast.h"
#include "support/packets.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using test_support::eventually;
using test_support::Process;
using test_support::TempDir;

const packet::Kind& kRoute = *packet::find_kind(6);
constexpr int kRecords = 15;

// Version `v` of the file: a Route table, sent without pause, whose records
// carry RouteNumber v * 100 + their index and nothing else, from a server
// named after the version.
std::string version_text(int v) {
  std::string text = "[MCast]\nMessageType=6\nUpdateRate=0\nServerName=V" + std::to_string(v) +
                     "\n[Route]\nNumber=" + std::to_string(kRecords) + "\n";
  for (int i = 0; i < kRecords; ++i) {
    text += "RouteNumber" + std::to_string(i) + "=" + std::to_string(v * 100 + i) + "\n";
  }
  return text;
}

// The version whose whole table a datagram carries, or -1.  Section MCast is
// read at start only: every datagram carries the server name of version 1.
int version_of(const std::vector<std::uint8_t>& d) {
  if (d.size() != packet::kHeaderSize + kRecords * kRoute.record_size ||
      packet::num_record(d.data()) != kRecords || packet::server_name(d.data()) != u"V1") {
    return -1;
  }
  const int v = static_cast<int>(packet::load_be32(d.data() + packet::kHeaderSize) / 100);
  std::vector<std::uint8_t> table(kRecords * kRoute.record_size, 0);
  for (int i = 0; i < kRecords; ++i) {
    packet::store_be32(table.data() + i * kRoute.record_size, static_cast<std::uint32_t>(v * 100 + i));
  }
  return std::equal(table.begin(), table.end(), d.begin() + packet::kHeaderSize) ? v : -1;
}

// Receives every datagram on the Route port in a thread of its own and
// notes the version each carries, in arrival order.
class Tally {
 public:
  // The versions so far.
  std::vector<int> versions() const {
    const std::lock_guard lock(mutex_);
    return versions_;
  }

  // Waits until a datagram of version `v` has arrived.
  bool saw(int v) const {
    return eventually([&] { return std::ranges::count(versions(), v) > 0; }, 10s);
  }

 private:
  test_support::GroupReceiver receiver_{static_cast<std::uint16_t>(kRoute.port(0))};
  mutable std::mutex mutex_;
  std::vector<int> versions_;
  std::jthread thread_{[this](const std::stop_token& stop) {
    while (!stop.stop_requested()) {
      if (const auto d = receiver_.receive(50ms)) {
        const std::lock_guard lock(mutex_);
        versions_.push_back(version_of(d->bytes));
      }
    }
  }};
};

std::string file_line(const TempDir& dir, const std::string& reason) {
  return "configuration file " + dir.file("feedcast.ini") + ": " + reason;
}

// Status 1, the line on standard error, and no socket: nothing is sent.
// (Every reason is the reader's own, checked by the unit tests.)
TEST(FeedcastFile, RefusesToStartWithoutAReadableFile) {
  for (const int error : {ENOENT, EISDIR}) {
    SCOPED_TRACE(error);
    TempDir dir;
    if (error == EISDIR) std::filesystem::create_directory(dir.file("feedcast.ini"));
    test_support::GroupReceiver receiver(6020);
    Process cast({FEEDCAST_PATH}, dir.path());
    ASSERT_TRUE(cast.wait_for(5s));
    EXPECT_EQ(cast.exit_status(), 1);
    EXPECT_EQ(cast.errors(), "Error: cannot read " + file_line(dir, std::strerror(error)) + "\n");
    EXPECT_EQ(cast.output(), "");
    EXPECT_FALSE(receiver.receive(100ms)) << "a packet was sent";
  }
}

// Deleted, then a directory in its place, then back: the last table goes on
// meanwhile, one line marks the outage and one its end, and the new table
// follows.
TEST(FeedcastFile, KeepsSendingTheLastTableWhileTheFileIsAway) {
  TempDir dir;
  const std::string path = dir.file("feedcast.ini");
  dir.write("feedcast.ini", version_text(1));
  Tally tally;
  Process cast({FEEDCAST_PATH}, dir.path());
  ASSERT_TRUE(tally.saw(1)) << cast.errors();

  const std::string warning = "Warning: cannot read " + file_line(dir, std::strerror(ENOENT)) +
                              "; sending the last table read\n";
  std::filesystem::remove(path);
  ASSERT_TRUE(eventually([&] { return cast.errors() == warning; }, 5s)) << cast.errors();
  const std::size_t at_outage = tally.versions().size();
  ASSERT_TRUE(eventually([&] { return tally.versions().size() > at_outage + 100; }, 5s));
  std::filesystem::create_directory(path);
  std::this_thread::sleep_for(300ms);
  std::filesystem::remove(path);
  dir.write("feedcast.ini", version_text(2));
  ASSERT_TRUE(tally.saw(2));
  const std::vector<int> seen = tally.versions();
  const auto first_new = std::find(seen.begin(), seen.end(), 2);
  EXPECT_EQ(std::count(seen.begin(), first_new, 1), first_new - seen.begin())
      << "a datagram before the new table carried no whole old table";
  EXPECT_EQ(std::count(first_new, seen.end(), 2), seen.end() - first_new);

  // A table over the kind's limit ends the run through its normal way out.
  dir.write("feedcast.ini", "[Route]\nNumber=" + std::to_string(kRoute.max_records + 1) + "\n");
  ASSERT_TRUE(cast.wait_for(10s));
  EXPECT_EQ(cast.exit_status(), 1);
  EXPECT_EQ(cast.errors(), warning + "Configuration file " + path + " readable again\nError: " +
                               std::string(kRoute.limit_message) + "\n");
}

// An editor saving in place truncates the file and writes it again, in one
// write() (pieces of 4096 bytes) or in 256-byte pieces; saves come 50 ms
// apart with a longer pause after every third; the generator sends at full
// speed.  No datagram may carry an empty or half-written table, and the last
// save must arrive.
TEST(FeedcastFile, InPlaceSavesNeverTearATable) {
  for (const std::size_t piece : {4096, 256}) {
    SCOPED_TRACE(piece);
    TempDir dir;
    dir.write("feedcast.ini", version_text(1));
    Tally tally;
    Process cast({FEEDCAST_PATH}, dir.path());
    ASSERT_TRUE(tally.saw(1)) << cast.errors();
    int v = 1;
    for (const auto end = std::chrono::steady_clock::now() + 3s;
         std::chrono::steady_clock::now() < end;) {
      const std::string text = version_text(++v);
      std::ofstream file(dir.file("feedcast.ini"), std::ios::trunc);  // one write() per flush
      for (std::size_t at = 0; at < text.size(); at += piece) file << text.substr(at, piece) << std::flush;
      file.close();  // an editor closes the file it saved
      std::this_thread::sleep_for(v % 4 == 0 ? 250ms : 50ms);
    }
    ASSERT_TRUE(tally.saw(v)) << "the last save never arrived";
    cast.kill();
    const std::vector<int> seen = tally.versions();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), -1), 0) << "datagrams with a torn table";
    EXPECT_GT(std::set<int>(seen.begin(), seen.end()).size(), 3u)
        << "no save was taken while the writer ran";
    EXPECT_EQ(cast.errors(), "");
  }
}

}  // namespace
