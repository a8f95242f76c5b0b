// The monitor's choice of group and port: feedwatch.ini, then the one
// command-line argument, validated against the Stat Port Table's ports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "feedwatch/console_output.h"
#include "platform/profile.h"
#include "portable/result.h"
#include "portable/settings.h"

namespace feedwatch {

// The name of the monitor's configuration file in the current directory.
inline constexpr const char* kConfigFileName = "feedwatch.ini";

// The result of converting the port argument as strtoul does at 32 bits.
struct PortConversion {
  std::uint32_t value = 0;  // the number, negated modulo 2^32 after a minus
  std::size_t end = 0;      // where conversion stopped; 0 when nothing converted
};

// Converts text as strtoul with base 10 does for an unsigned 32-bit number:
// leading white space, one optional sign, decimal digits; a value above
// 4294967295 gives 4294967295.
PortConversion convert_port_argument(std::string_view text);

// The monitor's group and port.
struct PortChoice {
  std::string group;  // the group address text, not yet converted
  std::int32_t port;
};

// The keys of section "MCast" of feedwatch.ini, with their defaults.
inline constexpr portable::Setting<PortChoice> kMonitorSettings[] = {
    portable::text_setting<&PortChoice::group>(portable::kGroupKey),
    portable::integer_setting<&PortChoice::port>("Port", 6040),
};

// Reads the file's IP and Port, lets a single argument override the port,
// validates it and prints every line of the choice.  `args` are the
// command-line arguments without the program name.  Fails with the lines
// that refuse a port which is none of the Stat Port Table's.
portable::Result<PortChoice> select_port(const platform::ProfileFile& ini,
                                         std::span<const std::string_view> args, Console& console);

}  // namespace feedwatch
