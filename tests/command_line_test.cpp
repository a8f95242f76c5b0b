// The command-line scanner both programs share, and the generator's random source.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "feedcast/options.h"
#include "feedcast/random_source.h"
#include "portable/command_line.h"

namespace {

constexpr portable::OptionSpec kOptions[] = {
    {'h', "help", false}, {'c', "count", true}, {'\0', "json", false}, {'V', "version", false}};

// Renders a parse as "option=value ... | operand ... | error" for comparison.
std::string scan(std::vector<const char*> args, bool negative_numbers = false) {
  const portable::Result<portable::CommandLine> line =
      portable::parse_command_line(args, kOptions, negative_numbers);
  if (!line) return "error: " + line.failure();
  std::string text;
  for (const portable::GivenOption& given : line->options) {
    text += std::string(kOptions[given.option].long_name) + "=" + std::string(given.value) + " ";
  }
  text += "|";
  for (std::string_view operand : line->operands) text += " " + std::string(operand);
  return text;
}

TEST(CommandLine, SplitsOptionsAndOperands) {
  const std::pair<std::vector<const char*>, std::string> cases[] = {
      {{}, "|"},
      {{"-h"}, "help= |"},
      {{"-hV", "6040"}, "help= version= | 6040"},
      {{"-c5", "x", "-c", "7", "--count=9", "--count", "11"},
       "count=5 count=7 count=9 count=11 | x"},
      {{"--count="}, "count= |"},
      {{"6040", "--json", "--", "-h", "--json"}, "json= | 6040 -h --json"},
      {{"-6040"}, "error: invalid option -- '6'"},
      {{"-x"}, "error: invalid option -- 'x'"},
      {{"--jso"}, "error: unrecognized option '--jso'"},
      {{"--json=1"}, "error: option '--json' doesn't allow an argument"},
      {{"--count"}, "error: option '--count' requires an argument"},
      {{"-hc"}, "error: option requires an argument -- 'c'"},
  };
  for (const auto& [args, expected] : cases) EXPECT_EQ(scan(args), expected) << expected;
  // Where negative numbers are operands, "-" and "-6040" are.
  EXPECT_EQ(scan({"-", "-6040"}, true), "| - -6040");
}

// What is not a whole number, or one above the limit (feedcast's count reads
// the largest one).
TEST(CommandLine, WholeNumbers) {
  std::uint64_t value = 0;
  for (const char* bad : {"", "-1", "+1", "1.5", "4294967296", " 1", "0x10"}) {
    EXPECT_FALSE(portable::parse_whole_number(bad, 4294967295u, value)) << bad;
  }
  EXPECT_FALSE(portable::parse_whole_number("7", 5, value));
}

// feedcast's options, rendered as "help version check config count" or the
// error (the scanner's own errors are the scanner's test's).
TEST(FeedcastOptions, ValuesAndErrors) {
  const std::pair<std::vector<const char*>, std::string> cases[] = {
      {{}, "0 0 0  0"},
      {{"ignored", "-c", "3", "--config=a b.ini", "-f", "x.ini"}, "0 0 0 x.ini 3"},
      {{"--count=18446744073709551615", "-fdir/f.ini"}, "0 0 0 dir/f.ini 18446744073709551615"},
      {{"-V", "-h", "--bogus"}, "unrecognized option '--bogus'"},
      {{"-Vh"}, "0 1 0  0"},
      {{"--help", "--version"}, "1 0 0  0"},
      {{"--check", "-f", "x.ini"}, "0 0 1 x.ini 0"},
      {{"--config="}, "invalid configuration file name: ''"},
      {{"-c", "0"}, "invalid message count: '0'"},
      {{"-c", "18446744073709551616"}, "invalid message count: '18446744073709551616'"},
  };
  for (const auto& [args, expected] : cases) {
    const portable::Result<feedcast::Options> o = feedcast::parse_options(args);
    EXPECT_EQ(o ? std::to_string(o->help) + " " + std::to_string(o->version) + " " +
                      std::to_string(o->check) + " " + o->config_file + " " +
                      std::to_string(o->count)
                : o.failure(),
              expected);
  }
}

// The stream is the same on every platform: this number comes from the
// algorithm's definition, so a Windows build that drew others would fail here.
// (The fault and simulation tests check the draws made from it.)
TEST(RandomSource, TheAlgorithmsOwnStream) {
  EXPECT_EQ(feedcast::RandomSource(1).next(), 0xB3F2AF6D0FC710C5u);
}

}  // namespace
