#include "feedcast/options.h"

#include <cstdint>

#include "portable/command_line.h"

namespace feedcast {
namespace {

enum Option : std::size_t { kHelp, kVersion, kConfig, kCount, kQuiet, kCheck };

constexpr portable::OptionSpec kOptions[] = {{'h', "help", false},
                                             {'V', "version", false},
                                             {'f', "config", true},
                                             {'c', "count", true},
                                             {'q', "quiet", false},
                                             {'\0', "check", false}};

}  // namespace

portable::Result<Options> parse_options(std::span<const char* const> args) {
  const portable::Result<portable::CommandLine> line =
      portable::parse_command_line(args, kOptions, false);
  if (!line) return portable::Failure{line.failure()};
  Options options;
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
    }
  }
  return options;
}

std::string_view usage_text() {
  return "Usage: feedcast [OPTION]...\n"
         "Multicast a contact-centre statistics feed whose every value comes from a\n"
         "configuration file: one message every UpdateRate seconds, until a failure.\n"
         "\n"
         "  -f, --config=FILE  read FILE instead of feedcast.ini in the current directory\n"
         "  -c, --count=N      send N messages (N from 1 up), then exit with status 0\n"
         "  -q, --quiet        print no trace on standard output; warnings and errors\n"
         "                     still go to standard error\n"
         "      --check        send nothing: print what a run would send and every doubt\n"
         "                     about the file; exit with 0 when there is none, 3 when\n"
         "                     there are some, 1 when a run would refuse the file\n"
         "  -h, --help         display this help and exit\n"
         "  -V, --version      output version information and exit\n"
         "\n"
         "Multi-packet messages (MaxRecordsPerPacket) and faults ([Faults]) are set in\n"
         "the file too; feedcast.ini(5) describes every key.\n"
         "\n"
         "Exit status: 0 after --count messages, 1 on a failure (an 'Error:' line on\n"
         "standard error), 2 on a wrong command line.\n";
}

}  // namespace feedcast
