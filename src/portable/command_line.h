// GNU-style command lines: short options ("-c 5", "-c5"), long options
// ("--count 5", "--count=5"), "--" to end the options, and the two lines of a
// usage error.  The same rules on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "portable/result.h"

namespace portable {

// The version of both programs, as -V/--version prints it.
std::string_view program_version();

// The line that -V/--version prints: "<program> <version>".
std::string version_text(std::string_view program);

// The arguments after the program's name.
inline std::span<const char* const> arguments(int argc, char** argv) {
  return {argv + 1, static_cast<std::size_t>(argc - 1)};
}

// One option a program accepts.
struct OptionSpec {
  char short_name;             // '\0' when the option has no short form
  std::string_view long_name;  // without the leading "--"; empty when it has none
  bool takes_value;
};

// One option as given on the command line: its index in the program's table
// of options, and its value (empty for an option that takes none).
struct GivenOption {
  std::size_t option;
  std::string_view value;
};

// A command line split into options and operands.
struct CommandLine {
  std::vector<GivenOption> options;        // in the order given
  std::vector<std::string_view> operands;  // the arguments that are not options
};

// Splits `args` (the arguments after the program's name), or fails with the
// text of a usage error such as "unrecognized option '--foo'".  Options and
// operands may be mixed; "--" makes every later argument an operand, and so
// is "-" alone.  With `negative_numbers_are_operands`, an argument made of
// "-" and a digit ("-6040") is an operand too.
Result<CommandLine> parse_command_line(std::span<const char* const> args,
                                       std::span<const OptionSpec> options,
                                       bool negative_numbers_are_operands);

// Reads a whole decimal number from `text`, digits only, at most `max`;
// false when the text is anything else.
bool parse_whole_number(std::string_view text, std::uint64_t max, std::uint64_t& value);

// Writes "<program>: <message>" and "Try '<program> --help'." to standard
// error and returns the exit status of a usage error, 2.
int usage_error(std::string_view program, std::string_view message);

// Writes the text that --help or --version asks for to standard output and
// flushes it; fails with "cannot write output: <reason>" when it cannot.
Result<void> print_information(std::string_view text);

}  // namespace portable
