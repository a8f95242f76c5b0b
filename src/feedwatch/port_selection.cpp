#include "feedwatch/port_selection.h"

#include "packet/catalogue.h"

namespace feedwatch {
namespace {

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Prints why the argument is rejected.
void report_rejection(std::string_view text, const PortConversion& c, Console& console) {
  if (c.end == 0) {
    console.print("No numerical value found\n");
  } else if (c.end < text.size()) {
    console.print("Found invalid character \"%c\"\n", text[c.end]);
  } else {
    console.print("Number found (%lu) is out of range (%d - %d), or not a multiple of 10\n",
                  c.value, packet::kFirstStatPort, packet::kLastStatPort);
  }
  console.print("Error processing inputted port value, using value from .ini file\n");
}

}  // namespace

PortConversion convert_port_argument(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t digits = i;
  std::uint64_t value = 0;
  bool overflow = false;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = value * 10 + static_cast<std::uint64_t>(text[i++] - '0');
    if (value > UINT32_MAX) {
      overflow = true;
      value = UINT32_MAX;
    }
  }
  if (i == digits) return {};
  if (overflow) return {UINT32_MAX, i};
  const auto v = static_cast<std::uint32_t>(value);
  return {negative ? 0u - v : v, i};
}

portable::Result<PortChoice> select_port(const platform::ProfileFile& ini,
                                         std::span<const std::string_view> args, Console& console) {
  PortChoice choice = portable::read_settings<PortChoice>(ini, "MCast", kMonitorSettings);
  console.print("Multicast Address: %s.\n", choice.group);
  if (args.size() == 1) {
    const std::string_view text = args[0];
    const PortConversion c = convert_port_argument(text);
    if (packet::is_stat_port(c.value)) {
      choice.port = static_cast<std::int32_t>(c.value);
    } else {
      report_rejection(text, c, console);
    }
  }
  if (!packet::is_stat_port(choice.port)) {
    const FormatArg refused[] = {choice.port, packet::kFirstStatPort, packet::kLastStatPort};
    std::string lines;
    append_formatted(lines, "Error on port selection. Value [%d] not allowed.\n", refused);
    append_formatted(
        lines,
        " Usage: feedwatch.exe PORT \n\tPORT is an integer multiple of 10, between %d and %d.\n"
        "\tThis may also be set in feedwatch.ini file in the same directory\n",
        std::span(refused).subspan(1));
    return portable::Failure{lines};
  }
  console.print("Port Selection: %d.\n\n", choice.port);
  return choice;
}

}  // namespace feedwatch
