// The reader of initialisation-file text: arbitrary text, then string and
// integer reads of arbitrary sections and keys, and the walks of every
// section and key line that the generator's tables take; every string read is
// also read as a dotted address, which must give back the same text when taken.
//
// Input: the file's bytes, a NUL byte, then queries, one a line:
// "section<TAB>key<TAB>buffer size".
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sockets.h"
#include "portable/dotted_address.h"
#include "portable/profile_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const portable::ProfileText ini(input.substr(0, split));
  for (const portable::ProfileSection& section : ini.sections()) {
    for (const portable::ProfileKey& key : ini.keys(section)) {
      if (key.line <= section.line || (!key.has_value && !key.value.empty())) __builtin_trap();
    }
  }
  std::string_view queries = split == std::string_view::npos ? "" : input.substr(split + 1);
  while (!queries.empty()) {
    const std::size_t end = queries.find('\n');
    const std::string_view line = queries.substr(0, end);
    queries.remove_prefix(end == std::string_view::npos ? queries.size() : end + 1);
    const std::size_t tab1 = line.find('\t');
    const std::size_t tab2 =
        line.find('\t', tab1 == std::string_view::npos ? line.size() : tab1 + 1);
    const std::string_view section = line.substr(0, tab1);
    const std::string_view key =
        tab1 == std::string_view::npos ? "" : line.substr(tab1 + 1, tab2 - tab1 - 1);
    const std::size_t buffer = tab2 == std::string_view::npos ? 20 : line.size() - tab2;
    const std::string value = ini.read_string(section, key, "default", buffer);
    if (value.size() >= buffer) __builtin_trap();
    const std::optional<platform::Ipv4> address = portable::strict_dotted_address(value);
    if (address && platform::dotted(*address) != value) __builtin_trap();
    ini.read_int(section, key, -1);
  }
  return 0;
}
