// Values that move: the two forms, the walks and counters, their seed, and
// their state across passes and edits of the file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "feedcast/simulation.h"
#include "packet/byte_order.h"
#include "packet/catalogue.h"
#include "platform/profile.h"
#include "platform/settled_file.h"
#include "support/packets.h"

namespace {

using feedcast::ValueForm;
using test_support::TempDir;
constexpr auto kRange = ValueForm::Type::kRange;

// Each text as the parser reads it: "LOW..HIGH" a range, "START+MAX" a
// counter; plain numbers, other spellings, other bases and numbers too large
// are neither (the integer rule reads them as constants).
TEST(ValueForm, TheTwoFormsAndWhatIsNeither) {
  const auto read = [](const char* text) {
    const std::optional<ValueForm> f = feedcast::parse_value_form(text);
    if (!f) return std::string("neither");
    return std::string(f->type == kRange ? "range " : "counter ") + std::to_string(f->first) +
           " " + std::to_string(f->second);
  };
  const std::pair<const char*, const char*> cases[] = {
      {"0..12", "range 0 12"}, {" -5 ..\t5 ", "range -5 5"}, {"12..0", "range 0 12"},
      {"+5..+7", "range 5 7"}, {"-2147483648..4294967295", "range -2147483648 4294967295"},
      {"0000000007..0000000009", "range 7 9"}, {"120+3", "counter 120 3"},
      {"120 + 3", "counter 120 3"}, {"-3+2", "counter -3 2"},
      {"4294967295+4294967295", "counter 4294967295 4294967295"}};
  for (const auto& [text, form] : cases) EXPECT_EQ(read(text), form) << text;
  for (const char* text : {"12", "", "abc", "+5", "0..", "..5", "1..2..3", "1...3", "1..2x",
                           "1 2..3", "- 5..5", "5+", "5+-3", "5++3", "5+3+1", "0x10..0x20",
                           "1.5..3", "4294967296..5", "-2147483649..0", "5+4294967296",
                           "00000000001..5"}) {
    EXPECT_EQ(read(text), "neither") << text;
  }
}

// A Route table whose fields move, and the values of each pass.
class Moving {
 public:
  Moving(const std::string& route_keys, std::uint32_t seed, int records = 1)
      : simulation_(seed) {
    write(route_keys, records);
    ini_.emplace(dir_.file("feedcast.ini"));
  }

  // Saves the file and waits until a refresh takes it.
  void write(const std::string& route_keys, int records) {
    dir_.write("feedcast.ini", "[Route]\nNumber=" + std::to_string(records) + "\n" + route_keys);
    std::this_thread::sleep_for(2 * platform::kSettleTime);
  }

  // One pass; `reread` looks at the file again first, as every pass does.
  const std::vector<std::uint8_t>& pass(int records = 1, bool reread = false) {
    if (reread) ini_->refresh();
    area_.assign(std::size_t(records) * 10, 0xAA);
    simulation_.fill(kind(), *ini_, area_.data(), static_cast<std::uint16_t>(records));
    return area_;
  }

  std::int32_t route_number(int record = 0) const {
    return static_cast<std::int32_t>(packet::load_be32(area_.data() + record * 10));
  }
  std::uint32_t busy_time(int record = 0) const {
    return packet::load_be32(area_.data() + record * 10 + 6);
  }

  static const packet::Kind& kind() { return *packet::find_kind(6); }

 private:
  TempDir dir_;
  std::optional<platform::ProfileFile> ini_;
  feedcast::Simulation simulation_;
  std::vector<std::uint8_t> area_;
};

// Ranges stay inside, step by at most a tenth and reach both ends; counters
// grow by 0 to MAX and wrap at 2^32; the 16-bit field keeps the low 16 bits,
// least significant byte first, as a constant's.
TEST(Simulation, RangesWalkAndCountersGrow) {
  Moving m("RouteNumber0=4..-3\nAllTrunksBusy0=65530+3\nAllTrunksBusyTime0=0..1000\n"
           "RouteNumber1=4294967000+5\n", 7, 2);
  const std::vector<std::uint8_t>& area = m.pass(2);
  EXPECT_EQ(m.route_number(0), -3);  // the first pass shows LOW and START
  EXPECT_EQ(area[4] | area[5] << 8, 65530);
  EXPECT_EQ(m.busy_time(0), 0u);
  EXPECT_EQ(static_cast<std::uint32_t>(m.route_number(1)), 4294967000u);
  bool low = false, high = false, wrapped = false;
  std::int64_t time = 0;
  auto counter = static_cast<std::uint32_t>(m.route_number(1));
  for (int i = 0; i < 3000; ++i) {
    m.pass(2);
    ASSERT_TRUE(m.route_number(0) >= -3 && m.route_number(0) <= 4) << m.route_number(0);
    low |= m.route_number(0) == -3;
    high |= m.route_number(0) == 4;
    ASSERT_LE(m.busy_time(0), 1000u);
    ASSERT_LE(std::abs(m.busy_time(0) - time), 100) << "a step of more than a tenth of the range";
    time = m.busy_time(0);
    const auto now = static_cast<std::uint32_t>(m.route_number(1));
    ASSERT_LE(now - counter, 5u);  // modulo 2^32
    wrapped |= now < counter;
    counter = now;
  }
  EXPECT_TRUE(low && high && wrapped);
}

// The same seed gives the same values, on every platform: this sequence is
// the generator's, pinned.
TEST(Simulation, TheSeedDecidesEveryValue) {
  const std::string keys = "RouteNumber0=0..100\nAllTrunksBusyTime0=1000+50\n";
  auto run = [&](std::uint32_t seed) {
    Moving m(keys, seed);
    std::vector<std::uint32_t> values;
    for (int i = 0; i < 6; ++i) {
      m.pass();
      values.push_back(static_cast<std::uint32_t>(m.route_number()));
      values.push_back(m.busy_time());
    }
    return values;
  };
  EXPECT_NE(run(20201205), run(20201206));
  EXPECT_EQ(run(20201205), std::vector<std::uint32_t>(
                                {0, 1000, 7, 1013, 6, 1046, 11, 1090, 8, 1124, 13, 1145}));
  EXPECT_EQ(feedcast::Simulation(5).seed(), 5u);
  EXPECT_NE(feedcast::Simulation(0).seed(), 0u);
}

// Reading the file again, as every pass does right after an edit, changes
// nothing while the texts stay; an edit restarts only the keys it changed;
// a table that grows gains walkers and one that shrinks drops them.
TEST(Simulation, EditsRestartOnlyTheKeysTheyChange) {
  const std::string keys = "RouteNumber0=0..1000\nAllTrunksBusyTime0=0..1000\n"
                           "RouteNumber1=500..600\nAllTrunksBusyTime1=0+9\n";
  Moving steady(keys, 11, 2);
  Moving reread(keys, 11, 2);
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(steady.pass(2), reread.pass(2, true)) << "pass " << i;
  }
  // An edit: RouteNumber0 gets a new text, a third record appears.
  const std::string edited =
      "RouteNumber0=0 .. 1000\n" + keys.substr(keys.find('\n') + 1) + "RouteNumber2=40..50\n";
  reread.write(edited, 3);
  steady.pass(2);
  reread.pass(3, true);
  EXPECT_EQ(reread.route_number(0), 0);  // restarted
  EXPECT_EQ(reread.busy_time(0), steady.busy_time(0));
  EXPECT_EQ(reread.route_number(1), steady.route_number(1));
  EXPECT_EQ(reread.busy_time(1), steady.busy_time(1));
  EXPECT_EQ(reread.route_number(2), 40);  // new
  // Down to one record and back to two: record 1 starts again.
  reread.write(edited, 1);
  reread.pass(1, true);
  reread.write(edited, 2);
  reread.pass(2, true);
  EXPECT_EQ(reread.route_number(1), 500);
  EXPECT_EQ(reread.busy_time(1), 0u);
  EXPECT_NE(reread.route_number(0), 0) << "a text that did not change restarted";
}

}  // namespace
