// The reader behind feedcast --check: arbitrary text as a configuration
// file, every doubt it raises about it, each naming a line of the text.
//
// Input: the file's bytes.
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "feedcast/doubts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n') +
                                              std::count(text.begin(), text.end(), '\r') + 1);
  for (const feedcast::Doubt& d : feedcast::find_doubts(portable::ProfileText(text))) {
    if (d.line > lines || d.text.empty()) __builtin_trap();
    for (const char c : d.text) {
      if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();  // shown escaped
    }
  }
  return 0;
}
