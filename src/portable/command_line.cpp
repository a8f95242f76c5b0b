#include "portable/command_line.h"

#include <cstdio>

#include "platform/system.h"

namespace portable {
namespace {

const OptionSpec* find_long(std::span<const OptionSpec> options, std::string_view name,
                            std::size_t& index) {
  for (index = 0; index < options.size(); ++index) {
    if (!options[index].long_name.empty() && options[index].long_name == name)
      return &options[index];
  }
  return nullptr;
}

const OptionSpec* find_short(std::span<const OptionSpec> options, char name, std::size_t& index) {
  for (index = 0; index < options.size(); ++index) {
    if (options[index].short_name != '\0' && options[index].short_name == name)
      return &options[index];
  }
  return nullptr;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Takes one "--name" or "--name=value" argument, and the argument after it
// when that is the option's value.
std::string take_long(std::span<const char* const> args, std::size_t& i,
                      std::span<const OptionSpec> options, CommandLine& line) {
  const std::string_view arg = std::string_view(args[i]).substr(2);
  const std::size_t equals = arg.find('=');
  const std::string_view name = arg.substr(0, equals);
  std::size_t index = 0;
  const OptionSpec* spec = find_long(options, name, index);
  if (spec == nullptr) return "unrecognized option '--" + std::string(name) + "'";
  if (!spec->takes_value) {
    if (equals != std::string_view::npos) {
      return "option '--" + std::string(name) + "' doesn't allow an argument";
    }
    line.options.push_back({index, {}});
    return {};
  }
  if (equals != std::string_view::npos) {
    line.options.push_back({index, arg.substr(equals + 1)});
    return {};
  }
  if (i + 1 == args.size()) return "option '--" + std::string(name) + "' requires an argument";
  line.options.push_back({index, args[++i]});
  return {};
}

// Takes one cluster of short options ("-Vh", "-c5", "-c 5").
std::string take_short(std::span<const char* const> args, std::size_t& i,
                       std::span<const OptionSpec> options, CommandLine& line) {
  const std::string_view arg = args[i];
  for (std::size_t k = 1; k < arg.size(); ++k) {
    std::size_t index = 0;
    const OptionSpec* spec = find_short(options, arg[k], index);
    if (spec == nullptr) return std::string("invalid option -- '") + arg[k] + "'";
    if (!spec->takes_value) {
      line.options.push_back({index, {}});
      continue;
    }
    if (k + 1 < arg.size()) {
      line.options.push_back({index, arg.substr(k + 1)});
    } else if (i + 1 < args.size()) {
      line.options.push_back({index, args[++i]});
    } else {
      return std::string("option requires an argument -- '") + arg[k] + "'";
    }
    return {};
  }
  return {};
}

}  // namespace

std::string_view program_version() { return FEED_VERSION; }

std::string version_text(std::string_view program) {
  return std::string(program) + " " + std::string(program_version()) + "\n";
}

Result<CommandLine> parse_command_line(std::span<const char* const> args,
                                       std::span<const OptionSpec> options,
                                       bool negative_numbers_are_operands) {
  CommandLine line;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    std::string error;
    if (options_ended || arg.size() < 2 || arg[0] != '-' ||
        (negative_numbers_are_operands && is_digit(arg[1]))) {
      line.operands.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg[1] == '-') {
      error = take_long(args, i, options, line);
    } else {
      error = take_short(args, i, options, line);
    }
    if (!error.empty()) return Failure{error};
  }
  return line;
}

bool parse_whole_number(std::string_view text, std::uint64_t max, std::uint64_t& value) {
  if (text.empty()) return false;
  value = 0;
  for (char c : text) {
    if (!is_digit(c)) return false;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (digit > max || value > (max - digit) / 10) return false;
    value = value * 10 + digit;
  }
  return true;
}

int usage_error(std::string_view program, std::string_view message) {
  std::fprintf(stderr, "%.*s: %.*s\nTry '%.*s --help'.\n", static_cast<int>(program.size()),
               program.data(), static_cast<int>(message.size()), message.data(),
               static_cast<int>(program.size()), program.data());
  return 2;
}

Result<void> print_information(std::string_view text) {
  int error = platform::write_output(stdout, text);
  if (error == 0) error = platform::flush_output(stdout);
  if (error != 0) return Failure{platform::output_failure_text(error)};
  return {};
}

}  // namespace portable
