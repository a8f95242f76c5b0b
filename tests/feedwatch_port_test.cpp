// The monitor's port selection: file, argument, every reason line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "feedwatch/port_selection.h"
#include "support/console_capture.h"
#include "support/packets.h"

namespace {

struct Case {
  const char* name;
  const char* file;                // feedwatch.ini's text; nullptr: no file
  std::vector<const char*> args;
  bool accepted;
  int port;
  const char* reasons;             // the lines between the address line and the port outcome
};

constexpr const char* kUsage =
    " Usage: feedwatch.exe PORT \n\tPORT is an integer multiple of 10, between 6020 and 6130.\n"
    "\tThis may also be set in feedwatch.ini file in the same directory\n";
constexpr const char* kFallback = "Error processing inputted port value, using value from .ini file\n";

TEST(PortSelection, EveryRuleAndMessage) {
  const std::string out_of_range = "Number found (%s) is out of range (6020 - 6130), or not a multiple of 10\n";
  auto range = [&](const char* v) {
    std::string s = out_of_range;
    return s.replace(s.find("%s"), 2, v) + kFallback;
  };
  const std::string r6135 = range("6135");
  const std::string rneg = range("4294961256");
  const std::string rbig = range("4294967295");
  const std::string none = std::string("No numerical value found\n") + kFallback;
  const std::string x = std::string("Found invalid character \"x\"\n") + kFallback;
  const Case cases[] = {
      {"defaults", nullptr, {}, true, 6040, ""},
      {"6130", nullptr, {"6130"}, true, 6130, ""},
      {"6020", nullptr, {"6020"}, true, 6020, ""},
      {"plus sign", nullptr, {"+6050"}, true, 6050, ""},
      {"leading blanks", nullptr, {"  \t6050"}, true, 6050, ""},
      {"leading zero", nullptr, {"06050"}, true, 6050, ""},
      {"letters after", nullptr, {"6040abc"}, true, 6040, ""},
      {"out of range", nullptr, {"6135"}, true, 6040, r6135.c_str()},
      {"60x", nullptr, {"60x"}, true, 6040, x.c_str()},
      {"6045x", nullptr, {"6045x"}, true, 6040, x.c_str()},
      {"letters only", nullptr, {"abc"}, true, 6040, none.c_str()},
      {"empty", nullptr, {""}, true, 6040, none.c_str()},
      {"sign only", nullptr, {"-"}, true, 6040, none.c_str()},
      {"negative", nullptr, {"-6040"}, true, 6040, rneg.c_str()},
      {"eleven nines", nullptr, {"99999999999"}, true, 6040, rbig.c_str()},
      {"two arguments", "[MCast]\nPort=6100\n", {"6020", "6030"}, true, 6100, ""},
      {"file port", "[MCast]\nPort=6090\nIP=235.1.1.1\n", {}, true, 6090, ""},
      {"bad file port", "[MCast]\nPort=6045\n", {}, false, 6045, ""},
      {"argument over bad file port", "[MCast]\nPort=6045\n", {"6100"}, true, 6100, ""},
      {"non-numeric file port", "[MCast]\nPort=abc\n", {}, false, 0, ""},
      {"rejected and bad file port", "[mcast]\nport=7000\n", {"6135"}, false, 7000,
       r6135.c_str()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::TempDir dir;
    if (c.file) dir.write("feedwatch.ini", c.file);
    const platform::ProfileFile ini(dir.file("feedwatch.ini"));
    test_support::CapturedConsole out;
    const std::vector<std::string_view> args(c.args.begin(), c.args.end());
    const feedwatch::PortChoice choice = feedwatch::select_port(ini, args, out.console());
    const std::string group = c.file && std::string(c.file).find("IP=") != std::string::npos
                                  ? "235.1.1.1"
                                  : "235.5.6.7";
    std::string expected = "Multicast Address: " + group + ".\n" + c.reasons;
    if (c.accepted) {
      expected += "Port Selection: " + std::to_string(c.port) + ".\n\n";
    } else {
      expected += "Error on port selection. Value [" + std::to_string(c.port) + "] not allowed.\n" +
                  kUsage;
    }
    EXPECT_EQ(out.text(), expected);
    EXPECT_EQ(choice.accepted, c.accepted);
    EXPECT_EQ(choice.port, c.port);
    EXPECT_EQ(choice.group, group);
  }
}

TEST(PortSelection, ConversionFollowsThe32BitRule) {
  struct Conv {
    const char* text;
    std::uint32_t value;
    std::size_t end;
  };
  for (const Conv& c : {Conv{"6040", 6040, 4}, Conv{" -1", 4294967295u, 3},
                        Conv{"4294967296", 4294967295u, 10}, Conv{"-4294967296", 4294967295u, 11},
                        Conv{"+", 0, 0}, Conv{"12 ", 12, 2}, Conv{"0x10", 0, 1}}) {
    const feedwatch::PortConversion r = feedwatch::convert_port_argument(c.text);
    EXPECT_EQ(r.value, c.value) << c.text;
    EXPECT_EQ(r.end, c.end) << c.text;
  }
}

}  // namespace
