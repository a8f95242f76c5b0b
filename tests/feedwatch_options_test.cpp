// The monitor's command line: every option and its errors, and the port
// chosen from the argument and feedwatch.ini with every reason line, compared
// with a baseline file.  Where options may stand and how whole numbers read is
// the command-line parser's test.
// Run with UPDATE_BASELINES=1 to rewrite the baseline after a deliberate change.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "feedwatch/options.h"
#include "feedwatch/port_selection.h"
#include "support/baseline.h"
#include "support/console_capture.h"
#include "support/packets.h"

namespace {

// A short form of what was read: flags, values, then the port arguments.
std::string shown(const portable::Result<feedwatch::Options>& read) {
  if (!read) return "error: " + read.failure();
  const feedwatch::Options& o = *read;
  std::string s;
  if (o.help) s += "help ";
  if (o.version) s += "version ";
  if (o.json) s += "json ";
  if (o.stats) s += "stats ";
  if (o.count) s += "count=" + std::to_string(*o.count) + " ";
  if (o.timeout) {
    s += "us=" + std::to_string(o.timeout->count()) + "(" + feedwatch::seconds_text(*o.timeout) +
         ") ";
  }
  if (o.interface_name) s += "if=" + *o.interface_name + " ";
  if (o.quiet) s += "quiet ";
  if (o.all_ports) s += "all-ports ";
  if (o.write_path) s += "write=" + *o.write_path + " ";
  if (o.read_path) s += "read=" + *o.read_path + " ";
  if (o.http) s += "http=" + o.http->text() + " ";
  for (std::string_view a : o.arguments) s += "[" + std::string(a) + "]";
  return s;
}

TEST(Options, EveryOptionAndError) {
  const struct {
    std::vector<const char*> args;
    std::string expect;  // the options read, in a short form, or "error: <message>"
  } cases[] = {
      {{"-h"}, "help "},
      {{"--version"}, "version "},
      {{"--json", "-c", "5", "6040"}, "json count=5 [6040]"},
      {{"-c5", "-t", "2.5", "--stats"}, "stats count=5 us=2500000(2.5) "},
      {{"--timeout", ".25"}, "us=250000(0.25) "},
      {{"-t", "3."}, "us=3000000(3) "},
      {{"-t", "0.0000019"}, "us=1(0.000001) "},
      {{"-t", "1000000000.1"}, "us=1000000000100000(1000000000.1) "},
      {{"-i", "127.0.0.2", "--interface=lo"}, "if=lo "},
      {{"-6040"}, "[-6040]"},
      {{"6020", "6030"}, "[6020][6030]"},
      {{"-c", "0"}, "error: invalid packet count: '0'"},
      {{"-c", "5x"}, "error: invalid packet count: '5x'"},
      {{"-t", "1e3"}, "error: invalid time-out: '1e3'"},
      {{"-t", "."}, "error: invalid time-out: '.'"},
      {{"-t", ""}, "error: invalid time-out: ''"},
      {{"-t", "1.2.3"}, "error: invalid time-out: '1.2.3'"},
      {{"-t", "2000000000"}, "error: invalid time-out: '2000000000'"},
      {{"-i", ""}, "error: invalid interface: ''"},
      {{"-qa", "-w", "f.pcapng"}, "quiet all-ports write=f.pcapng "},
      {{"--read=f.pcap", "--all-ports", "--quiet"}, "quiet all-ports read=f.pcap "},
      {{"-r", "f.pcap", "6060"}, "read=f.pcap [6060]"},
      {{"-w", ""}, "error: invalid file name: ''"},
      {{"-a", "6040"}, "error: --all-ports takes no PORT"},
      {{"-r", "a", "-w", "b"}, "error: --read cannot go with --write"},
      {{"-r", "a", "-i", "lo"}, "error: --read cannot go with --interface"},
      {{"-r", "a", "--http", "80"}, "error: --read cannot go with --http"},
      {{"--http", "8080"}, "http=127.0.0.1:8080 "},
      {{"--http=0.0.0.0:65535"}, "http=0.0.0.0:65535 "},
      {{"--http", "[::1]:80"}, "http=[::1]:80 "},
      {{"--http", "::1:80"}, "http=[::1]:80 "},
      {{"--http", "0"}, "error: invalid HTTP address: '0'"},
      {{"--http", "65536"}, "error: invalid HTTP address: '65536'"},
      {{"--http", ":80"}, "error: invalid HTTP address: ':80'"},
      {{"--http", "host:"}, "error: invalid HTTP address: 'host:'"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shown(feedwatch::parse_options(c.args)), c.expect) << testing::PrintToString(c.args);
  }
}

// For each case, what is printed and which port and group are chosen.
TEST(PortSelection, EveryRuleAndMessage) {
  const struct {
    const char* name;
    const char* file;  // feedwatch.ini's text; nullptr: no file
    std::vector<std::string_view> args;
  } cases[] = {
      {"defaults", nullptr, {}},
      {"6130", nullptr, {"6130"}},
      {"6020", nullptr, {"6020"}},
      {"plus sign", nullptr, {"+6050"}},
      {"leading blanks", nullptr, {"  \t6050"}},
      {"leading zero", nullptr, {"06050"}},
      {"letters after", nullptr, {"6040abc"}},
      {"out of range", nullptr, {"6135"}},
      {"60x", nullptr, {"60x"}},
      {"6045x", nullptr, {"6045x"}},
      {"letters only", nullptr, {"abc"}},
      {"empty", nullptr, {""}},
      {"sign only", nullptr, {"-"}},
      {"negative: taken modulo 2^32", nullptr, {"-6040"}},
      {"eleven nines: saturated", nullptr, {"99999999999"}},
      {"negative saturated: not negated", nullptr, {"-4294967296"}},
      {"two arguments", "[MCast]\nPort=6100\n", {"6020", "6030"}},
      {"file port and group", "[MCast]\nPort=6090\nIP=235.1.1.1\n", {}},
      {"bad file port", "[MCast]\nPort=6045\n", {}},
      {"argument over bad file port", "[MCast]\nPort=6045\n", {"6100"}},
      {"non-numeric file port", "[MCast]\nPort=abc\n", {}},
      {"rejected and bad file port", "[mcast]\nport=7000\n", {"6135"}},
  };
  std::string shown;
  for (const auto& c : cases) {
    test_support::TempDir dir;
    if (c.file) dir.write("feedwatch.ini", c.file);
    const platform::ProfileFile ini(dir.file("feedwatch.ini"));
    test_support::CapturedConsole out;
    const portable::Result<feedwatch::PortChoice> choice =
        feedwatch::select_port(ini, c.args, out.console());
    shown += std::string("== ") + c.name + "\n" + out.text() +
             (choice ? "-> accepted " + std::to_string(choice->port) + " " + choice->group
                     : choice.failure() + "-> refused") +
             "\n";
  }
  test_support::expect_baseline("port_selection", shown);
}

}  // namespace
