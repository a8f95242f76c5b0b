// The monitor's command line: feedwatch [OPTION]... [PORT].  Options may
// stand before or after the port and "--" ends them; "-6040" is no option
// but an argument for the port rule.  The arguments left once the options
// are taken out go to the port rule as they are.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "portable/result.h"

namespace feedwatch {

// Where --http serves: a numeric IPv4 or IPv6 address and a TCP port.
struct HttpAddress {
  std::string address;  // without brackets; 127.0.0.1 when only a port was given
  std::uint16_t port = 0;

  // The address as "ADDRESS:PORT", an IPv6 address in brackets.
  std::string text() const;
};

// What the command line asks for.
struct Options {
  bool help = false;                                 // -h, --help
  bool version = false;                              // -V, --version
  bool json = false;                                 // --json: JSON Lines instead of text
  bool stats = false;                                // --stats: feed statistics at the end
  std::optional<std::uint64_t> count;                // -c N: stop after N displayed packets
  std::optional<std::chrono::microseconds> timeout;  // -t SECONDS: stop after that time
  std::optional<std::string> interface_name;         // -i ADDRESS: join on that interface only
  bool quiet = false;                                // -q: no packet display
  bool all_ports = false;                            // -a: every port of the feed at once
  std::optional<std::string> write_path;             // -w FILE: record what arrives
  std::optional<std::string> read_path;              // -r FILE: read a capture, not the network
  std::optional<std::string> save_ini;               // --save-ini FILE: the last tables
  std::optional<HttpAddress> http;                   // --http [ADDRESS:]PORT: the live view
  std::vector<std::string_view> arguments;           // what is left for the port rule
};

// Reads the command line's arguments (without the program's name), or fails
// with the text of a usage error, also for options that cannot go together:
// --all-ports with a PORT, --read with --write or --interface.
portable::Result<Options> parse_options(std::span<const char* const> args);

// The text of a time-out in seconds, the shortest that --timeout reads back
// as the same time: "2", "2.5", "0.25".
std::string seconds_text(std::chrono::microseconds time);

// The text of --help.
std::string_view help_text();

}  // namespace feedwatch
