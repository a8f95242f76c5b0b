// feedcast end to end: the program runs in a temporary directory with a
// crafted feedcast.ini, and its datagrams are received on a socket joined to
// the group or by a running feedwatch.  Record bytes, trace lines, fault
// draws and the monitor's texts are checked by the unit tests; these tests
// check what only a real process on a real socket shows, against what the
// programs' own code builds and prints, and what the program does when its
// file goes away, is saved in place or goes over its kind's limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <ostream>
#include <regex>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "feedcast/check.h"
#include "feedcast/faults.h"
#include "feedcast/options.h"
#include "feedcast/sender_config.h"
#include "feedcast/transmit_loop.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "portable/command_line.h"
#include "support/console_capture.h"
#include "support/multicast.h"
#include "support/packets.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using test_support::eventually;
using test_support::GroupReceiver;
using test_support::kGroup;

constexpr auto kWait = 5s;
// A file the program refuses, its kind unknown: a run that reads it stops
// with status 1.
constexpr const char* kRefusedFile = "[MCast]\nMessageType=9\n";

// The datagrams the generator's own code builds from `ini` for `time`.
std::vector<Bytes> built(const std::string& ini_text, std::int64_t time) {
  test_support::TempDir dir;
  dir.write("feedcast.ini", ini_text);
  platform::ProfileFile ini(dir.file("feedcast.ini"));
  const feedcast::SenderConfig config = feedcast::read_sender_config(ini);
  feedcast::PacketSource source(config, *packet::find_kind(config.message_type), ini);
  const portable::Result<std::span<const packet::Datagram>> message = source.next(time);
  std::vector<Bytes> parts;
  for (const packet::Datagram d : *message) parts.emplace_back(d.begin(), d.end());
  return parts;
}

class Feedcast : public ::testing::Test {
 protected:
  // Writes feedcast.ini and starts the program.
  void start(const std::string& ini, const std::vector<std::string>& args = {}) {
    dir_.write("feedcast.ini", ini);
    std::vector<std::string> argv{FEEDCAST_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    process_.emplace(argv, dir_.path());
  }

  // Waits for the program's end, which must come with `status`.
  void expect_end(int status) {
    ASSERT_TRUE(process_->wait_for(kWait)) << "feedcast did not stop";
    EXPECT_EQ(process_->exit_status(), status) << process_->errors();
  }

  test_support::TempDir dir_;
  std::optional<test_support::Process> process_;
};

// Five thousand sections before the one read, and a 1 MB value before a key.
std::string large_file() {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "[S" + std::to_string(i) + "]\nk=v\n";
  return text + "[MCast]\nServerName=" + std::string(1 << 20, 'A') + "\nTTL=3\n";
}

// Section MCast decides the group, the time-to-live and the local binding.
// Source: up to 3 characters bind any address ("1.2" too), 4 to 8 bind that
// address, 9 or more also make it the multicast interface.  With -q nothing
// is traced, and the datagrams are the same.
struct Setting {
  const char* name;
  std::string ini;
  int ttl = 64;
  const char* from = nullptr;  // the address it is bound to and sends from; none: the system's
  const char* group = kGroup;
  std::uint16_t port = 6020;
  bool quiet = false;
};

void PrintTo(const Setting& c, std::ostream* os) { *os << c.name; }

class FeedcastSetting : public Feedcast, public ::testing::WithParamInterface<Setting> {};

// A packet that goes out is the one the generator's own code builds for its
// Timestamp, the time it is sent; more follow, and the trace is flushed as
// the program runs.
TEST_P(FeedcastSetting, SendsAsConfigured) {
  const Setting& c = GetParam();
  // An address of 8 characters for Source.
  ASSERT_EQ(std::system("ip address add 10.1.2.3/32 dev lo scope host"), 0);
  GroupReceiver receiver(c.port, c.group);
  const std::time_t before = std::time(nullptr);
  start(c.ini, c.quiet ? std::vector<std::string>{"-q"} : std::vector<std::string>{});
  const auto d = receiver.receive(kWait);
  ASSERT_TRUE(d) << "nothing arrived; standard error: " << process_->errors();
  const std::uint32_t timestamp = packet::timestamp(d->bytes.data());
  EXPECT_TRUE(timestamp >= before && timestamp <= std::time(nullptr)) << timestamp;
  EXPECT_EQ(std::vector<Bytes>{d->bytes}, built(c.ini, timestamp));
  EXPECT_EQ(d->ttl, c.ttl);
  if (c.from != nullptr) {
    EXPECT_EQ(d->from, c.from);
  } else {
    EXPECT_TRUE(d->from != "127.0.0.2" && d->from != "10.1.2.3") << "sent from " << d->from;
  }
  EXPECT_TRUE(receiver.receive(kWait)) << "no second packet";
  if (c.quiet) {
    EXPECT_EQ(process_->output(), "");
  } else if (c.port == 6020) {
    EXPECT_TRUE(process_->shows("Encode value read from the file was ", kWait))
        << "the trace is not flushed while the program runs";
  }
  EXPECT_EQ(process_->errors(), "");
}

INSTANTIATE_TEST_SUITE_P(
    MCast, FeedcastSetting,
    ::testing::Values(
        Setting{"EmptyFile", ""},
        Setting{.name = "Group", .ini = "[MCast]\nIP=239.1.2.3\n", .group = "239.1.2.3"},
        Setting{"SourceOf3", "[MCast]\nSource=1.2\n"},
        Setting{"SourceOf8", "[MCast]\nSource=10.1.2.3\n", 64, "10.1.2.3"},
        Setting{"SourceOf9AndTtl", "[MCast]\nSource=127.0.0.2\nTTL=1\n", 1, "127.0.0.2"},
        Setting{"LargeFile", large_file(), 3},
        Setting{.name = "QuietApplicationCompressed",
                .ini = "[Application]\nNumber=2\nEncode=1\nApplicationID1=7\n",
                .quiet = true},
        Setting{.name = "QuietSkillsetCompressed",
                .ini = "[MCast]\nMessageType=2\n[Skillset]\nNumber=3\nEncode=1\nCallsWaiting2=4\n",
                .port = 6040,
                .quiet = true}),
    [](const auto& info) { return std::string(info.param.name); });

// Runs that end by themselves, nothing sent: help, version and a usage error
// read nothing (the file in the folder would be refused); --check prints its
// report on standard output and a refusal as a run does, with status 0 for a
// clean file, 3 for doubts and 1 for a refusal or a file missing; a kind the
// catalogue lacks, a Source that is no local address, or no address at all
// (mistyped, or a short form such as "10.9"), a group address as the
// multicast interface and a table larger than a datagram stop the program
// with one line "Error: <message>" and status 1.  --config takes a path from
// the root, and Simulate 1 reaches the running program, which traces its
// seed first (the values themselves move as the unit tests check; its Route
// packets go to a port of their own), unless -q keeps every trace line away,
// the compression and fault lines too.
TEST_F(Feedcast, RunsThatEndByThemselves) {
  GroupReceiver receiver(6020);
  dir_.write("simulate.ini", "[MCast]\nMessageType=6\nSimulate=1\nSimulateSeed=5\n");
  dir_.write("quiet.ini",
             "[MCast]\nMessageType=6\nSimulate=1\nMaxRecordsPerPacket=1\n[Route]\nNumber=2\n"
             "Encode=1\n[Faults]\nDuplicatePercent=100\nReorderParts=1\n");
  const auto checked = [this](const std::string& text) {  // what --check prints for it
    dir_.write("feedcast.ini", text);
    platform::ProfileFile ini(dir_.file("feedcast.ini"));
    return feedcast::check_configuration(ini, 0).text;
  };
  const std::string clean = "[MCast]\nUpdateRate=1\n[Application]\nNumber=1\n";
  const std::string doubtful = "[MCast]\nUpdateRat=1\n[Application]\nNumber=1\n";
  const struct {
    std::string ini;
    std::vector<std::string> args;
    int status;
    std::string output, errors;
  } cases[] = {
      {kRefusedFile,
       {"--help", "--bogus"},
       2,
       "",
       "feedcast: unrecognized option '--bogus'\nTry 'feedcast --help'.\n"},
      {kRefusedFile, {"-h", "-c", "1"}, 0, std::string(feedcast::usage_text()), ""},
      {kRefusedFile,
       {"x", "--version"},
       0,
       "feedcast " + std::string(portable::program_version()) + "\n",
       ""},
      {kRefusedFile,
       {"-c", "2", "--config=" + dir_.file("simulate.ini")},
       0,
       "SimulateSeed=5\n",
       ""},
      {kRefusedFile, {"-c", "2", "--quiet", "-f", dir_.file("quiet.ini")}, 0, "", ""},
      {kRefusedFile, {}, 1, "", "Error: Incorrect Msg Type and Stat Scheme selected\n"},
      {clean, {"--check"}, 0, checked(clean), ""},
      {doubtful, {"--check", "-c", "1"}, 3, checked(doubtful), ""},
      {kRefusedFile,
       {"--check"},
       1,
       checked(kRefusedFile),
       "Error: Incorrect Msg Type and Stat Scheme selected\n"},
      {clean,
       {"--check", "-f", "none.ini"},
       1,
       "Configuration file " + dir_.file("none.ini") + "\n",
       "Error: cannot read configuration file " + dir_.file("none.ini") + ": " +
           std::strerror(ENOENT) + "\n"},
      {"[MCast]\nSource=10.9.9.9\n", {}, 1, "", "Error: Binding socket failed! Error: 99\n"},
      {"[MCast]\nSource=10.0.l.1\n", {}, 1, "", "Error: Binding socket failed! Error: 99\n"},
      {"[MCast]\nSource=10.9\n", {}, 1, "", "Error: Binding socket failed! Error: 99\n"},
      {"[MCast]\nSource=224.1.1.1\n", {}, 1, "", "Error: setsockopt failed! Error: 99\n"},
      {"[MCast]\nMessageType=3\n[Agent]\nNumber=780\n",
       {},
       1,
       "",
       "Error: sendto failed! Error: 90\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? c.ini : c.args.back());
    start(c.ini, c.args);
    expect_end(c.status);
    EXPECT_EQ(process_->output(), c.output);
    EXPECT_EQ(process_->errors(), c.errors);
  }
  EXPECT_FALSE(receiver.receive(100ms)) << "a packet was sent";
}

// Faults of every kind in one run: the datagrams on the wire and the trace
// are those of the generator's own injector, with the same Seed, over the
// messages its own code builds for the times that the trace names.
TEST_F(Feedcast, FaultsOnTheWireAreThoseOfTheInjector) {
  const std::string table =
      "[MCast]\nMessageType=6\nMaxRecordsPerPacket=1\n[Route]\nNumber=3\nRouteNumber0=10\n"
      "RouteNumber1=11\nRouteNumber2=12\n[Faults]\nSeed=9\nReorderParts=1\nDropPercent=20\n"
      "DuplicatePercent=30\nTruncatePercent=30\nCorruptPercent=40\n";
  GroupReceiver receiver(6120);
  start(table, {"--count", "4"});
  expect_end(0);
  std::vector<Bytes> wire;
  while (const auto d = receiver.receive(200ms)) wire.push_back(d->bytes);

  feedcast::FaultInjector injector;
  injector.update(platform::ProfileFile(dir_.file("feedcast.ini")));
  std::string lines;
  std::vector<Bytes> sent;
  const std::string trace = process_->output();
  const std::regex message_time("parts of time (\\d+) ");
  int messages = 0;
  for (std::sregex_iterator m(trace.begin(), trace.end(), message_time), end; m != end; ++m) {
    ++messages;
    const std::vector<Bytes> parts = built(table, std::stoll((*m)[1]));
    const std::vector<packet::Datagram> message(parts.begin(), parts.end());
    for (const std::size_t i : injector.order(message, lines)) {
      const feedcast::Shipment s = injector.shape(message[i], lines);
      for (int copy = 0; copy < s.copies; ++copy) sent.emplace_back(s.bytes.begin(), s.bytes.end());
    }
  }
  EXPECT_EQ(messages, 4) << "--count 4 sent another number of messages";
  EXPECT_EQ(trace, lines);
  EXPECT_EQ(wire, sent);
  for (const char* fault : {"dropped", "duplicated", "truncated", "changed"}) {
    EXPECT_NE(lines.find(fault), std::string::npos) << "the Seed gives no " << fault << " datagram";
  }
}

// feedcast into feedwatch: a table of a kind, scheme and Encode, every keyed
// field a value of its own, sent in one message or in parts.  feedcast, its
// file named from another folder, sends one message and ends without the
// pause after it; a feedwatch on the port of the kind and scheme shows what
// the monitor's own code shows for it.
TEST_F(Feedcast, IntoFeedwatchTheMonitorShowsTheMessageSent) {
  const struct {
    const char* name;
    int type, scheme, encode, records;
    int most;  // MaxRecordsPerPacket
  } cases[] = {
      {"Agent plain", 3, 0, 0, 2, 0},
      {"Route compressed, moving window", 6, 1, 1, 2, 0},
      {"Skillset compressed in parts", 2, 0, 1, 5, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const packet::Kind& kind = *packet::find_kind(c.type);
    std::string ini =
        "[MCast]\nServerName=PIPE\nUpdateRate=3600\nReleaseNumber=7\nMinorVersion=1\n";
    ini += "MessageType=" + std::to_string(c.type) + "\nStatScheme=" + std::to_string(c.scheme) +
           "\nMaxRecordsPerPacket=" + std::to_string(c.most) + "\n[" + std::string(kind.section) +
           "]\nNumber=" + std::to_string(c.records) + "\nEncode=" + std::to_string(c.encode) + "\n";
    std::uint32_t value = 70000;
    for (int r = 0; r < c.records; ++r) {
      for (const packet::Field& f : kind.layout->fields) {
        if (f.keyed)
          ini +=
              std::string(f.name) + std::to_string(r) + "=" + std::to_string(value += 1001) + "\n";
      }
    }
    test_support::TempDir other;
    other.write("feed.ini", ini);
    const std::string port = std::to_string(kind.port(static_cast<std::uint8_t>(c.scheme)));
    test_support::Process watch({FEEDWATCH_PATH, port}, dir_.path());
    ASSERT_TRUE(watch.shows("adapter 0 - 127.0.0.1\n", kWait)) << watch.output();

    const std::string name = std::filesystem::path(other.path()).filename().string();
    start(kRefusedFile, {"--config", "../" + name + "/feed.ini", "--count", "1"});
    expect_end(0);
    ASSERT_TRUE(watch.shows("Timestamp -> ", kWait)) << watch.output();
    const std::string out = watch.output();
    const std::string expected =
        test_support::shown(built(ini, std::stoll(out.substr(out.find("Timestamp -> ") + 13))));
    EXPECT_TRUE(watch.shows(expected, kWait)) << "expected:\n"
                                              << expected << "\nshown:\n"
                                              << watch.output();
  }
}

// The configuration file as the program runs: a raw receiver checks every
// datagram against the tables written.
class FeedcastFile : public Feedcast {};

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
int version_of(const Bytes& d) {
  if (d.size() != packet::kHeaderSize + kRecords * kRoute.record_size ||
      packet::num_record(d.data()) != kRecords || packet::server_name(d.data()) != u"V1") {
    return -1;
  }
  const int v = static_cast<int>(packet::load_be32(d.data() + packet::kHeaderSize) / 100);
  Bytes table(kRecords * kRoute.record_size, 0);
  for (int i = 0; i < kRecords; ++i) {
    packet::store_be32(table.data() + i * kRoute.record_size,
                       static_cast<std::uint32_t>(v * 100 + i));
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
  GroupReceiver receiver_{static_cast<std::uint16_t>(kRoute.port(0))};
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

// A directory in the file's place at start: status 1, the line on standard
// error, nothing sent.  Deleted as it runs, then a directory in its place,
// then back: the last table goes on meanwhile, one line marks the outage and
// one its end, and the new table follows.  A table over the kind's limit
// then ends the run through its normal way out.
TEST_F(FeedcastFile, KeepsSendingTheLastTableWhileTheFileIsAway) {
  const std::string path = dir_.file("feedcast.ini");
  const std::string cannot_read = "cannot read configuration file " + path + ": ";
  Tally tally;
  std::filesystem::create_directory(path);
  process_.emplace(std::vector<std::string>{FEEDCAST_PATH}, dir_.path());
  expect_end(1);
  EXPECT_EQ(process_->errors(), "Error: " + cannot_read + std::strerror(EISDIR) + "\n");
  EXPECT_EQ(process_->output(), "");
  std::filesystem::remove(path);
  start(version_text(1));
  ASSERT_TRUE(tally.saw(1)) << process_->errors();

  const std::string warning =
      "Warning: " + cannot_read + std::strerror(ENOENT) + "; sending the last table read\n";
  std::filesystem::remove(path);
  ASSERT_TRUE(eventually([&] { return process_->errors() == warning; }, 5s)) << process_->errors();
  const std::size_t at_outage = tally.versions().size();
  ASSERT_TRUE(eventually([&] { return tally.versions().size() > at_outage + 100; }, 5s));
  std::filesystem::create_directory(path);
  std::this_thread::sleep_for(300ms);
  std::filesystem::remove(path);
  dir_.write("feedcast.ini", version_text(2));
  ASSERT_TRUE(tally.saw(2));
  const std::vector<int> seen = tally.versions();
  const auto first_new = std::find(seen.begin(), seen.end(), 2);
  EXPECT_EQ(std::count(seen.begin(), first_new, 1), first_new - seen.begin())
      << "a datagram before the new table carried no whole old table (or the refused run sent one)";
  EXPECT_EQ(std::count(first_new, seen.end(), 2), seen.end() - first_new);

  dir_.write("feedcast.ini", "[Route]\nNumber=" + std::to_string(kRoute.max_records + 1) + "\n");
  ASSERT_TRUE(process_->wait_for(10s));
  EXPECT_EQ(process_->exit_status(), 1);
  EXPECT_EQ(process_->errors(), warning + "Configuration file " + path +
                                    " readable again\nError: " + std::string(kRoute.limit_message) +
                                    "\n");
}

// At a terminal, which the trace and the warnings share, a compressed
// Skillset leaves every trace line open: the warning when the file goes, the
// line when it is back and the failure that ends the run each start on a
// line of their own; with -q they are all the terminal shows.
TEST_F(FeedcastFile, WarningsStartOnALineOfTheirOwnAtATerminal) {
  const std::string path = dir_.file("feedcast.ini");
  const auto table = [](int records) {
    return "[MCast]\nMessageType=2\nUpdateRate=1\n[Skillset]\nEncode=1\nNumber=" +
           std::to_string(records) + "\n";
  };
  const std::string lines = "Warning: cannot read configuration file " + path + ": " +
                            std::strerror(ENOENT) + "; sending the last table read\n" +
                            "Configuration file " + path + " readable again\n" +
                            "Error: Max number of Skillsets exceed\n";
  for (const bool quiet : {false, true}) {
    SCOPED_TRACE(quiet);
    GroupReceiver receiver(6040);
    dir_.write("feedcast.ini", table(1));
    process_.emplace(test_support::at_terminal(std::string(FEEDCAST_PATH) + (quiet ? " -q" : "")),
                     dir_.path());
    const auto shown = [&](const std::string& text) {
      const auto found = [&] {
        return test_support::from_terminal(process_->output()).find(text) != std::string::npos;
      };
      return eventually(found, 5s);
    };
    ASSERT_TRUE(receiver.receive(kWait)) << process_->output();
    std::filesystem::remove(path);
    ASSERT_TRUE(shown("sending the last table read\n")) << process_->output();
    dir_.write("feedcast.ini", table(1));
    ASSERT_TRUE(shown("readable again\n")) << process_->output();
    dir_.write("feedcast.ini", table(351));
    ASSERT_TRUE(process_->wait_for(5s));
    const std::string text = test_support::from_terminal(process_->output());
    if (quiet) {
      EXPECT_EQ(text, lines);
      continue;
    }
    for (const std::string line : {"Warning: ", "Configuration file ", "Error: "}) {
      EXPECT_NE(text.find("Encoding complete\n" + line), std::string::npos) << line << text;
    }
    EXPECT_TRUE(text.ends_with("\nError: Max number of Skillsets exceed\n")) << text;
  }
}

// An editor saving in place truncates the file and writes it again, in one
// write() (pieces of 4096 bytes) or in 256-byte pieces; saves come 50 ms
// apart with a longer pause after every third; the generator sends at full
// speed.  No datagram may carry an empty or half-written table, and the last
// save must arrive.
TEST_F(FeedcastFile, InPlaceSavesNeverTearATable) {
  for (const std::size_t piece : {4096, 256}) {
    SCOPED_TRACE(piece);
    Tally tally;
    start(version_text(1));
    ASSERT_TRUE(tally.saw(1)) << process_->errors();
    int v = 1;
    for (const auto end = std::chrono::steady_clock::now() + 3s;
         std::chrono::steady_clock::now() < end;) {
      const std::string text = version_text(++v);
      std::ofstream file(dir_.file("feedcast.ini"), std::ios::trunc);  // one write() per flush
      for (std::size_t at = 0; at < text.size(); at += piece)
        file << text.substr(at, piece) << std::flush;
      file.close();  // an editor closes the file it saved
      std::this_thread::sleep_for(v % 4 == 0 ? 250ms : 50ms);
    }
    ASSERT_TRUE(tally.saw(v)) << "the last save never arrived";
    process_->kill();
    const std::vector<int> seen = tally.versions();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), -1), 0) << "datagrams with a torn table";
    EXPECT_GT(std::set<int>(seen.begin(), seen.end()).size(), 3u)
        << "no save was taken while the writer ran";
    EXPECT_EQ(process_->errors(), "");
  }
}

}  // namespace
