// The monitor's port argument: its conversion and the whole selection.
//
// Input: the argument's text.
#include <cstdint>
#include <cstdio>
#include <string>

#include "feedwatch/console_output.h"
#include "feedwatch/port_selection.h"
#include "packet/catalogue.h"
#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  static const platform::ProfileFile no_file("/nonexistent/feedwatch.ini");
  const std::string argument(reinterpret_cast<const char*>(data), size);
  const feedwatch::PortConversion c = feedwatch::convert_port_argument(argument);
  if (c.end > argument.size()) __builtin_trap();

  feedwatch::Console console(sink);
  const std::string_view args[] = {argument.c_str()};  // an argument ends at a zero byte
  const portable::Result<feedwatch::PortChoice> choice =
      feedwatch::select_port(no_file, args, console);
  if (!choice || !packet::is_stat_port(choice->port)) __builtin_trap();
  // A stat port given as the argument is the port chosen.
  const std::uint32_t given = feedwatch::convert_port_argument(args[0]).value;
  if (packet::is_stat_port(given) && choice->port != static_cast<int>(given)) __builtin_trap();
  return 0;
}
