// The monitor's port selection: file, argument, every reason line, compared
// with a baseline file that shows, for each case, what is printed and chosen.
// Run with UPDATE_BASELINES=1 to rewrite the baseline after a deliberate change.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "feedwatch/port_selection.h"
#include "support/baseline.h"
#include "support/console_capture.h"
#include "support/packets.h"

namespace {

struct Case {
  const char* name;
  const char* file;  // feedwatch.ini's text; nullptr: no file
  std::vector<std::string_view> args;
};

TEST(PortSelection, EveryRuleAndMessage) {
  const Case cases[] = {
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
  for (const Case& c : cases) {
    test_support::TempDir dir;
    if (c.file) dir.write("feedwatch.ini", c.file);
    const platform::ProfileFile ini(dir.file("feedwatch.ini"));
    test_support::CapturedConsole out;
    const feedwatch::PortChoice choice = feedwatch::select_port(ini, c.args, out.console());
    shown += std::string("== ") + c.name + "\n" + out.text() + "-> " +
             (choice.accepted ? "accepted " : "refused ") + std::to_string(choice.port) + " " +
             choice.group + "\n";
  }
  test_support::expect_baseline("port_selection", shown);
}

}  // namespace
