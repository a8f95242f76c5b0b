// feedwatch with captures and several ports: a live run on all ports recorded
// with --write, read back by --read (which must show what the live run
// showed) and by tshark with the project's dissector; --quiet; a recording
// that cannot be written; captures broken in the ways a reader meets; --read
// with --stats and --count.  What is shown for each packet is the monitor's
// own display (support/console_capture.h); the faults' texts are the
// reader's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "capture/writer.h"
#include "packet/catalogue.h"
#include "support/capture_files.h"
#include "support/console_capture.h"
#include "support/multicast.h"
#include "support/packets.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using test_support::nodal;
using test_support::shown;

const std::string kJoined = "adapter 0 - 127.0.0.1\n";
const std::string kStartup = "Multicast Address: 235.5.6.7.\nPort Selection: 6040.\n\n" + kJoined;

// The port line of --all-ports, from the catalogue's ports.
std::string all_ports_line() {
  std::string line = "Port Selection:";
  for (const int port : packet::kStatPorts) line += " " + std::to_string(port) + ",";
  line.back() = '.';
  return line + "\n\n";
}

// A pcapng file of `datagrams` to the group on `port`, one second apart from
// `first_second`, each in an Ethernet frame.
Bytes capture_of(const std::vector<Bytes>& datagrams, std::uint16_t port,
                 std::uint64_t first_second = 1'600'000'000) {
  Bytes file = test_support::pcapng_section(false);
  const Bytes interface = test_support::pcapng_interface(false, 1);
  file.insert(file.end(), interface.begin(), interface.end());
  for (std::size_t n = 0; n < datagrams.size(); ++n) {
    const Bytes frame = test_support::framed(
        "ethernet",
        test_support::udp_packet(test_support::address("10.0.0.15"), 40000,
                                 test_support::address(test_support::kGroup), port,
                                 std::string(datagrams[n].begin(), datagrams[n].end())));
    // The interface has microsecond times.
    const Bytes block =
        test_support::pcapng_packet(false, 0, (first_second + n) * 1'000'000, frame);
    file.insert(file.end(), block.begin(), block.end());
  }
  return file;
}

class FeedwatchCaptures : public ::testing::Test {
 protected:
  // Runs feedwatch with `args` in the test's directory.
  test_support::Process& start(std::vector<std::string> args) {
    args.insert(args.begin(), FEEDWATCH_PATH);
    process_.emplace(args, dir_.path());
    return *process_;
  }

  // Runs feedwatch with `args` to its end; false when it did not end.
  bool run(std::vector<std::string> args) { return start(std::move(args)).wait_for(10s); }

  test_support::TempDir dir_;
  std::optional<test_support::Process> process_;
};

// One monitor of all twelve ports shows two kinds as they come and records
// everything, a hostile datagram too, in one file.  Read back, the file
// shows exactly what the live run showed, or with a port only that port's
// datagrams; tshark decodes every frame with the dissector.
TEST_F(FeedwatchCaptures, AllPortsRecordedAndReadBackAsShownLive) {
  const std::vector<std::pair<std::uint16_t, Bytes>> sent = {
      {6040, nodal(1)},       {6080, nodal(2, 1, 2)}, {6080, Bytes(10, 0x41)},
      {6080, nodal(3, 2, 2)}, {6130, nodal(4)},
  };
  test_support::Process& live = start({"-a", "-w", "feed.pcapng", "-c", "4"});
  const std::string head = "Multicast Address: 235.5.6.7.\n" + all_ports_line() + kJoined;
  ASSERT_TRUE(live.shows(head, 5s)) << live.output();
  std::vector<Bytes> all, on_6080;
  for (const auto& [port, datagram] : sent) {
    test_support::send_datagram(port, datagram);
    all.push_back(datagram);
    if (port == 6080) on_6080.push_back(datagram);
    // One at a time, so that the order of arrival is the order of sending.
    ASSERT_TRUE(test_support::eventually(
        [&] { return live.output().size() >= (head + shown(all)).size(); }, 5s));
  }
  ASSERT_TRUE(live.wait_for(5s));
  EXPECT_EQ(live.exit_status(), 0);
  EXPECT_EQ(live.output(), head + shown(all));

  const std::string capture = "Capture file: feed.pcapng.\n";
  ASSERT_TRUE(run({"-r", "feed.pcapng", "--all-ports"}));
  EXPECT_EQ(process_->exit_status(), 0);
  EXPECT_EQ(process_->output(), capture + all_ports_line() + shown(all));
  ASSERT_TRUE(run({"--read", "feed.pcapng", "6080"}));
  EXPECT_EQ(process_->output(), capture + "Port Selection: 6080.\n\n" + shown(on_6080));

  const std::string tshark = "cd " + dir_.path() + " && tshark -n -r feed.pcapng -X lua_script:" +
                             SOURCE_DIR
                             "/dissector/feedstats.lua -Y 'feedstats && !_ws.lua.error' "
                             "-T fields -e frame.number > frames 2> tshark.err";
  ASSERT_EQ(std::system(tshark.c_str()), 0) << test_support::read_file(dir_.file("tshark.err"));
  EXPECT_EQ(test_support::read_file(dir_.file("frames")), "1\n2\n3\n4\n5\n");
}

// --quiet shows no packet: standard output stays empty, and the start-up
// lines and the statistics go to standard error; with --json the summary
// alone goes to standard output.
TEST_F(FeedwatchCaptures, QuietShowsNoPacket) {
  for (const bool json : {false, true}) {
    SCOPED_TRACE(json ? "json" : "text");
    std::vector<std::string> args = {"-q", "--stats", "-c", "2"};
    if (json) args.push_back("--json");
    test_support::Process& p = start(args);
    ASSERT_TRUE(test_support::eventually(
        [&] { return p.errors().find(kJoined) != std::string::npos; }, 5s));
    test_support::send_datagram(6040, nodal(1));
    test_support::send_datagram(6040, nodal(2));
    ASSERT_TRUE(p.wait_for(5s));
    EXPECT_EQ(p.exit_status(), 0);
    EXPECT_EQ(p.errors().rfind(kStartup + "Feed statistics after ", 0), 0u) << p.errors();
    EXPECT_NE(p.errors().find("Datagrams: 2 (192 bytes), displayed: 2\n"), std::string::npos);
    const std::string out = p.output();
    EXPECT_EQ(out.rfind(json ? "{\"type\":\"summary\"" : "", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), json ? 1 : 0);
  }
}

// A recording that cannot be made ends the run with status 255: a file
// that cannot be created at once, a full disk when the blocks are written.
TEST_F(FeedwatchCaptures, RecordingThatCannotBeWritten) {
  const struct {
    std::string file;
    bool sends;
    std::string error;
  } cases[] = {
      {"/nonexistent/feed.pcapng", false,
       "Error: cannot create /nonexistent/feed.pcapng: " + std::string(std::strerror(ENOENT))},
      {"/dev/full", true, "Error: cannot write output: " + std::string(std::strerror(ENOSPC))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    test_support::Process& p = start({"-w", c.file, "-c", "1"});
    ASSERT_TRUE(p.shows(kStartup, 5s)) << p.output();
    if (c.sends) test_support::send_datagram(6040, nodal(1));
    ASSERT_TRUE(p.wait_for(5s));
    EXPECT_EQ(p.exit_status(), 255);
    EXPECT_EQ(p.output(), kStartup + (c.sends ? shown({nodal(1)}) : ""));
    EXPECT_EQ(p.errors(), c.error + "\n");
  }
}

// A broken capture: what came before the fault is shown, then the reader's
// text of the fault, with status 255.
TEST_F(FeedwatchCaptures, BrokenCaptureEndsAfterWhatCameBefore) {
  const std::vector<Bytes> datagrams = {nodal(1), nodal(2)};
  const Bytes whole = capture_of(datagrams, 6040);
  const std::size_t last_block =
      whole.size() - (capture_of({nodal(2)}, 6040).size() - capture_of({}, 6040).size());
  Bytes overlong = whole;
  overlong[last_block + 4] = 0xf0;  // the last block's length runs past the end
  const struct {
    const char* name;
    Bytes file;
    std::size_t shown_datagrams;
  } cases[] = {
      {"not a capture", Bytes{'[', 'M', 'C', 'a', 's', 't', ']', '\n'}, 0},
      {"cut inside the last block", Bytes(whole.begin(), whole.end() - 20), 1},
      {"a length past the end", overlong, 1},
      {"empty", Bytes{}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dir_.write("broken.pcapng", std::string(c.file.begin(), c.file.end()));
    const std::string read = test_support::read_capture(c.file);
    const std::string fault = read.substr(read.rfind('\n') + 1);
    ASSERT_TRUE(run({"-r", "broken.pcapng"}));
    EXPECT_EQ(process_->exit_status(), 255);
    EXPECT_EQ(
        process_->output(),
        "Capture file: broken.pcapng.\nPort Selection: 6040.\n\n" +
            shown(std::vector<Bytes>(datagrams.begin(), datagrams.begin() + c.shown_datagrams)));
    EXPECT_EQ(process_->errors(), "feedwatch: broken.pcapng: " + fault + "\n");
  }
}

// --read counts and times by the captured times: the statistics run from the
// first datagram to the last one handled, --count ends the run early, and
// JSON shows each datagram's captured time and sender.
TEST_F(FeedwatchCaptures, ReadWithStatisticsAndCount) {
  const std::vector<Bytes> datagrams = {nodal(1), nodal(2), nodal(3)};
  const Bytes file = capture_of(datagrams, 6040);
  dir_.write("feed.pcapng", std::string(file.begin(), file.end()));
  ASSERT_TRUE(run({"-r", "feed.pcapng", "--stats", "-c", "2", "-q"}));
  EXPECT_EQ(process_->exit_status(), 0);
  EXPECT_EQ(process_->output(), "");
  const std::string errors = process_->errors();
  EXPECT_NE(errors.find("Feed statistics after 1.000 s:\nDatagrams: 2 (192 bytes), displayed: 2\n"),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find("interval min 1000.000, mean 1000.000, max 1000.000 ms"), std::string::npos)
      << errors;
  // In JSON, the captured time and sender.
  ASSERT_TRUE(run({"-r", "feed.pcapng", "--json", "-c", "1"}));
  EXPECT_EQ(
      process_->output().rfind("{\"type\":\"packet\",\"schema\":1,\"received\":"
                               "\"2020-09-13T12:26:40.000000Z\",\"source\":\"10.0.0.15:40000\"",
                               0),
      0u)
      << process_->output();
}

}  // namespace
