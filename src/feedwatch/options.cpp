#include "feedwatch/options.h"

#include <array>

#include "platform/events.h"
#include "portable/command_line.h"

namespace feedwatch {
namespace {

enum OptionIndex {
  kHelp,
  kVersion,
  kJson,
  kCount,
  kTimeout,
  kStats,
  kInterface,
  kQuiet,
  kAllPorts,
  kWrite,
  kRead,
  kSaveIni,
  kHttp
};

constexpr std::array<portable::OptionSpec, 13> kOptionSpecs = {{
    {'h', "help", false},
    {'V', "version", false},
    {'\0', "json", false},
    {'c', "count", true},
    {'t', "timeout", true},
    {'\0', "stats", false},
    {'i', "interface", true},
    {'q', "quiet", false},
    {'a', "all-ports", false},
    {'w', "write", true},
    {'r', "read", true},
    {'\0', "save-ini", true},
    {'\0', "http", true},
}};

// The longest time-out: beyond it the deadline would leave the clock's range.
constexpr std::uint64_t kMaxTimeoutSeconds = 1'000'000'000;

// Reads SECONDS: digits with an optional fraction ("10", "2.5", ".5", "3."),
// to the microsecond; further digits of the fraction are dropped.
std::optional<std::chrono::microseconds> parse_seconds(std::string_view text) {
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
  if (whole.empty() && fraction.empty()) return std::nullopt;
  std::uint64_t seconds = 0;
  if (!whole.empty() && !portable::parse_whole_number(whole, kMaxTimeoutSeconds, seconds)) {
    return std::nullopt;
  }
  std::uint64_t micros = 0;
  std::uint64_t digit_value = 100'000;
  for (char c : fraction) {
    if (c < '0' || c > '9') return std::nullopt;
    micros += static_cast<std::uint64_t>(c - '0') * digit_value;
    digit_value /= 10;
  }
  return std::chrono::microseconds(seconds * 1'000'000 + micros);
}

// Reads [ADDRESS:]PORT: the port a whole number from 1 to 65535, the address
// whatever stands before the last colon (an IPv6 address in brackets), left
// for the server to read.
std::optional<HttpAddress> parse_http_address(std::string_view text) {
  const std::size_t colon = text.rfind(':');
  HttpAddress http{"127.0.0.1"};
  if (colon != std::string_view::npos) {
    std::string_view address = text.substr(0, colon);
    if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
      address = address.substr(1, address.size() - 2);
    }
    if (address.empty()) return std::nullopt;
    http.address = std::string(address);
  }
  std::uint64_t port = 0;
  const std::string_view port_text =
      colon == std::string_view::npos ? text : text.substr(colon + 1);
  if (!portable::parse_whole_number(port_text, 65535, port) || port == 0) return std::nullopt;
  http.port = static_cast<std::uint16_t>(port);
  return http;
}

std::string quoted(std::string_view text) {
  std::string q(1, '\'');
  q.append(text);
  q += '\'';
  return q;
}

// Takes one option's value into `options`; returns a usage error or "".
std::string take(const portable::GivenOption& given, Options& options) {
  switch (given.option) {
    case kHelp: options.help = true; break;
    case kVersion: options.version = true; break;
    case kJson: options.json = true; break;
    case kStats: options.stats = true; break;
    case kQuiet: options.quiet = true; break;
    case kAllPorts: options.all_ports = true; break;
    case kWrite:
    case kRead:
      if (given.value.empty()) return "invalid file name: ''";
      (given.option == kWrite ? options.write_path : options.read_path) = std::string(given.value);
      break;
    case kCount: {
      std::uint64_t n = 0;
      if (!portable::parse_whole_number(given.value, UINT64_MAX, n) || n == 0) {
        return "invalid packet count: " + quoted(given.value);
      }
      options.count = n;
      break;
    }
    case kTimeout:
      options.timeout = parse_seconds(given.value);
      if (!options.timeout) return "invalid time-out: " + quoted(given.value);
      break;
    case kInterface:
      if (given.value.empty()) return "invalid interface: ''";
      options.interface_name = std::string(given.value);
      break;
    case kSaveIni:
      if (given.value.empty()) return "invalid file name: ''";
      options.save_ini = std::string(given.value);
      break;
    case kHttp:
      options.http = parse_http_address(given.value);
      if (!options.http) return "invalid HTTP address: " + quoted(given.value);
      break;
    default: break;
  }
  return {};
}

// The usage error of options that cannot go together, or "".
std::string_view conflict(const Options& options) {
  if (options.all_ports && !options.arguments.empty()) return "--all-ports takes no PORT";
  if (options.read_path && options.write_path) return "--read cannot go with --write";
  if (options.read_path && options.interface_name) return "--read cannot go with --interface";
  if (options.read_path && options.http) return "--read cannot go with --http";
  return {};
}

}  // namespace

std::string HttpAddress::text() const {
  const bool ipv6 = address.find(':') != std::string::npos;
  return (ipv6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

std::string seconds_text(std::chrono::microseconds time) {
  const auto micros = static_cast<std::uint64_t>(time.count());
  std::string text = std::to_string(micros / 1'000'000);
  if (const std::uint64_t fraction = micros % 1'000'000) {
    std::string digits = std::to_string(1'000'000 + fraction).substr(1);
    digits.erase(digits.find_last_not_of('0') + 1);
    text += "." + digits;
  }
  return text;
}

portable::Result<Options> parse_options(std::span<const char* const> args) {
  const portable::Result<portable::CommandLine> line =
      portable::parse_command_line(args, kOptionSpecs, true);
  if (!line) return portable::Failure{line.failure()};
  Options options;
  for (const portable::GivenOption& given : line->options) {
    const std::string error = take(given, options);
    if (!error.empty()) return portable::Failure{error};
  }
  options.arguments = line->operands;
  if (const std::string_view clash = conflict(options); !clash.empty()) {
    return portable::Failure{std::string(clash)};
  }
  return options;
}

std::string_view help_text() {
  static const std::string text =
      std::string(
          "Usage: feedwatch [OPTION]... [PORT]\n"
          "Print every packet of the statistics feed on PORT (a multiple of 10 from 6020\n"
          "to 6130; without one, Port in feedwatch.ini, else 6040) until q is pressed.\n"
          "\n"
          "  -c, --count N            stop after N packets have been displayed\n"
          "  -t, --timeout SECONDS    stop after SECONDS (fractions allowed)\n"
          "      --json               one JSON object per packet on standard output;\n"
          "                           every other line goes to standard error\n") +
      (platform::kHasReportSignal
           ? "      --stats              print feed statistics at the end, and on SIGUSR1\n"
           : "      --stats              print feed statistics at the end\n") +
      "  -i, --interface ADDRESS  join only on this local address, or on the\n"
      "                           addresses of the interface of this name\n"
      "  -a, --all-ports          listen on all twelve ports of the feed at once\n"
      "                           (no PORT; the Port key is not read)\n"
      "  -q, --quiet              display no packets (for -w, --stats, --count)\n"
      "  -w, --write FILE         record every datagram received in FILE (pcapng),\n"
      "                           replacing it\n"
      "  -r, --read FILE          read the datagrams of a capture (pcap or pcapng)\n"
      "                           instead of the network; no feedwatch.ini is read\n"
      "      --save-ini FILE      at the end, write the last complete table of each\n"
      "                           kind as a feedcast.ini (other kinds: FILE-<kind>.ini)\n"
      "      --http [ADDRESS:]PORT\n"
      "                           serve the live view (a page, its events and\n"
      "                           metrics) over HTTP on ADDRESS (127.0.0.1 when\n"
      "                           only a port is given)\n"
      "  -h, --help               show this help and exit\n"
      "  -V, --version            show the version and exit\n"
      "\n"
      "Exit status: 0 when stopped by q, by the count or by the time-out; 1 when\n"
      "the time-out came before the count; 2 for a usage error; 255 for a failure.\n"
      "See feedwatch(1) for the JSON output and the statistics.\n";
  return text;
}

}  // namespace feedwatch
