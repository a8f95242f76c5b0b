// The monitor's command line: every option and its errors.  Where options
// may stand and how whole numbers read is the command-line parser's test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "feedwatch/options.h"

namespace {

struct Case {
  std::vector<const char*> args;
  std::string expect;  // the options read, in a short form, or "error: <message>"
};

// A short form of what was read: flags, values, then the port arguments.
std::string shown(const feedwatch::Options& o) {
  if (!o.error.empty()) return "error: " + o.error;
  std::string s;
  if (o.help) s += "help ";
  if (o.version) s += "version ";
  if (o.json) s += "json ";
  if (o.stats) s += "stats ";
  if (o.count) s += "count=" + std::to_string(*o.count) + " ";
  if (o.timeout) s += "us=" + std::to_string(o.timeout->count()) + " ";
  if (o.interface_name) s += "if=" + *o.interface_name + " ";
  for (std::string_view a : o.arguments) s += "[" + std::string(a) + "]";
  return s;
}

TEST(Options, EveryOptionAndError) {
  const Case cases[] = {
      {{"-h"}, "help "},
      {{"--version"}, "version "},
      {{"--json", "-c", "5", "6040"}, "json count=5 [6040]"},
      {{"-c5", "-t", "2.5", "--stats"}, "stats count=5 us=2500000 "},
      {{"--timeout", ".25"}, "us=250000 "},
      {{"-t", "10"}, "us=10000000 "},
      {{"-t", "3."}, "us=3000000 "},
      {{"-t", "0.0000019"}, "us=1 "},
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
  };
  for (const Case& c : cases) {
    std::string line;
    for (const char* a : c.args) line += std::string(a) + " ";
    EXPECT_EQ(shown(feedwatch::parse_options(c.args)), c.expect) << line;
  }
}

}  // namespace
