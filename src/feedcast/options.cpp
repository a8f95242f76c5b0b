#include "feedcast/options.h"

#include <cstdint>
#include <cstdlib>

#include "portable/command_line.h"

namespace feedcast {
namespace {

enum Option : std::size_t {
  kHelp,
  kVersion,
  kConfig,
  kCount,
  kQuiet,
  kCheck,
  kReplay,
  kSpeed,
  kLoop,
  kRetime
};

constexpr portable::OptionSpec kOptions[] = {
    {'h', "help", false},  {'V', "version", false}, {'f', "config", true},  {'c', "count", true},
    {'q', "quiet", false}, {'\0', "check", false},  {'\0', "replay", true}, {'\0', "speed", true},
    {'\0', "loop", true},  {'\0', "retime", false}};

// The fastest replay speed a number may ask for.
constexpr double kFastestSpeed = 1e6;

// Refuses the replay options without --replay, and --check with it.
portable::Result<Options> checked(const Options& options, bool replay_settings) {
  if (options.replay_file.empty() && replay_settings) {
    return portable::Failure{"--speed, --loop and --retime need --replay"};
  }
  if (!options.replay_file.empty() && options.check) {
    return portable::Failure{"--check and --replay exclude each other"};
  }
  return options;
}

}  // namespace

portable::Result<Options> parse_options(std::span<const char* const> args) {
  const portable::Result<portable::CommandLine> line =
      portable::parse_command_line(args, kOptions, false);
  if (!line) return portable::Failure{line.failure()};
  Options options;
  bool replay_settings = false;
  for (const portable::GivenOption& given : line->options) {
    const std::string value(given.value);
    switch (given.option) {
      case kHelp: options.help = options.help || !options.version; break;
      case kVersion: options.version = options.version || !options.help; break;
      case kQuiet: options.quiet = true; break;
      case kCheck: options.check = true; break;
      case kConfig:
        if (value.empty()) return portable::Failure{"invalid configuration file name: ''"};
        options.config_file = value;
        break;
      case kCount:
        if (!portable::parse_whole_number(value, UINT64_MAX, options.count) || options.count == 0) {
          return portable::Failure{"invalid message count: '" + value + "'"};
        }
        break;
      case kReplay:
        if (value.empty()) return portable::Failure{"invalid capture file name: ''"};
        options.replay_file = value;
        break;
      case kSpeed: {
        const std::optional<double> speed = parse_speed(value);
        if (!speed) return portable::Failure{"invalid replay speed: '" + value + "'"};
        options.speed = *speed;
        replay_settings = true;
        break;
      }
      case kLoop:
        if (!portable::parse_whole_number(value, UINT64_MAX, options.loops)) {
          return portable::Failure{"invalid loop count: '" + value + "'"};
        }
        replay_settings = true;
        break;
      case kRetime:
        options.retime = true;
        replay_settings = true;
        break;
    }
  }
  return checked(options, replay_settings);
}

std::optional<double> parse_speed(std::string_view text) {
  if (text == "max") return 0.0;
  const std::size_t point = text.find('.');
  const bool digits = !text.empty() && text != "." &&
                      text.find_first_not_of("0123456789.") == std::string_view::npos &&
                      (point == std::string_view::npos || text.find('.', point + 1) == text.npos);
  if (!digits || text.size() > 20) return std::nullopt;
  const double speed = std::strtod(std::string(text).c_str(), nullptr);
  if (speed <= 0 || speed > kFastestSpeed) return std::nullopt;
  return speed;
}

std::string_view usage_text() {
  return "Usage: feedcast [OPTION]...\n"
         "Multicast a contact-centre statistics feed whose every value comes from a\n"
         "configuration file: one message every UpdateRate seconds, until a failure.\n"
         "\n"
         "  -f, --config=FILE  read FILE instead of feedcast.ini in the current directory\n"
         "  -c, --count=N      send N messages (N from 1 up), then exit with status 0;\n"
         "                     with --replay, N datagrams\n"
         "  -q, --quiet        print no trace on standard output; warnings and errors\n"
         "                     still go to standard error\n"
         "      --check        send nothing: print what a run would send and every doubt\n"
         "                     about the file; exit with 0 when there is none, 3 when\n"
         "                     there are some, 1 when a run would refuse the file\n"
         "      --replay=FILE  send the feed's datagrams of a capture (pcap or pcapng)\n"
         "                     again, at the times they were captured, instead of\n"
         "                     messages from the file, which is then optional: its\n"
         "                     Source, TTL and [Faults] apply, and its IP with -f\n"
         "      --speed=X      replay X times as fast (a decimal such as 0.5 or 10;\n"
         "                     1 by default), or 'max': as fast as the socket takes them\n"
         "      --loop=N       replay the capture N times (0: for ever; 1 by default)\n"
         "      --retime       move every replayed Timestamp by the time from the\n"
         "                     capture's first one to the replay's start\n"
         "  -h, --help         display this help and exit\n"
         "  -V, --version      output version information and exit\n"
         "\n"
         "Multi-packet messages (MaxRecordsPerPacket) and faults ([Faults]) are set in\n"
         "the file too; feedcast.ini(5) describes every key.\n"
         "\n"
         "Exit status: 0 after --count messages or at the end of a replay, 1 on a\n"
         "failure (an 'Error:' line on standard error), 2 on a wrong command line.\n";
}

}  // namespace feedcast
