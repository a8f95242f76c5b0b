// A sequence of datagrams through the monitor's whole receive step: the
// identification lines, the Multipacket Store, PrintPacket and the record
// display, with the output thrown away; then the same datagrams through the
// JSON display and the feed statistics, every line of which must be one
// valid JSON object.
//
// Input: datagrams, each a 2-byte big-endian length and that many bytes.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "feedwatch/console_output.h"
#include "feedwatch/feed_statistics.h"
#include "feedwatch/json_output.h"
#include "feedwatch/receive_loop.h"

namespace {

// Feeds every datagram of the input to `monitor`.
void replay(const std::uint8_t* data, std::size_t size, feedwatch::Monitor& monitor) {
  static const auto buffer = [] {
    auto b = std::make_unique<feedwatch::PacketBuffer>();
    b->fill(0xA5);
    return b;
  }();
  for (std::size_t at = 0; at + 2 <= size;) {
    const std::size_t length = std::min(std::size_t{data[at]} << 8 | data[at + 1], size - at - 2);
    std::memcpy(buffer->data(), data + at + 2, length);
    monitor.handle_datagram(*buffer, feedwatch::Arrival{.length = length});
    at += 2 + length;
  }
}

// Every line must parse as a JSON object of the type it says.
void check_lines(std::string_view text) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) __builtin_trap();
    const auto value = nlohmann::json::parse(text.substr(0, end), nullptr, false);
    if (value.is_discarded() || !value.is_object() || !value.contains("type")) __builtin_trap();
    text.remove_prefix(end + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  char* lines = nullptr;
  std::size_t lines_size = 0;
  std::FILE* json_stream = open_memstream(&lines, &lines_size);
  // As text, then as JSON lines with the feed statistics.
  for (const bool as_json : {false, true}) {
    feedwatch::Console console(sink);
    feedwatch::JsonLines json(json_stream);
    feedwatch::FeedStatistics stats(feedwatch::SteadyClock::now());
    feedwatch::Monitor monitor(console, as_json ? &json : nullptr, as_json ? &stats : nullptr);
    replay(data, size, monitor);
    monitor.report();
  }
  std::fclose(json_stream);
  check_lines({lines, lines_size});
  std::free(lines);
  return 0;
}
