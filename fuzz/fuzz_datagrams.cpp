// A sequence of datagrams through the monitor's whole receive step: the
// identification lines, the Multipacket Store, PrintPacket and the record
// display, as on a terminal, where no control character but tab and line feed
// may reach the output; then the same datagrams through the JSON display and
// the feed statistics, every line of which must be one valid JSON object.  As
// in the receive loop, the output is flushed after each datagram; both are
// checked as they come.
//
// Input: datagrams, each a 2-byte big-endian length and that many bytes.
#include <stdio.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "feedwatch/console_output.h"
#include "feedwatch/feed_statistics.h"
#include "feedwatch/json_output.h"
#include "feedwatch/receive_loop.h"
#include "json_lines_check.h"
#include "portable/visible_controls.h"

namespace {

// A small store, so that a short input reaches the dropping of groups.
constexpr std::size_t kStoreCapacity = 8;

// What a stream wrote and was not yet checked.  Kept from input to input, as
// are the output objects below, so that no input pays for growing them.
struct Written {
  std::string text;
  std::FILE* stream = fopencookie(
      this, "w", {.write = [](void* self, const char* data, std::size_t size) -> ssize_t {
        static_cast<Written*>(self)->text.append(data, size);
        return static_cast<ssize_t>(size);
      }});
};

Written& terminal_text() {
  static Written written;
  return written;
}

Written& json_text() {
  static Written written;
  return written;
}

// Text for a terminal holds no control character but tab and line feed, so
// making its controls visible leaves it as it is; every JSON line must be a
// JSON object of the type it says.
void check_written() {
  std::string again;
  portable::append_visible(again, terminal_text().text);
  if (again != terminal_text().text) __builtin_trap();
  terminal_text().text.clear();
  if (!fuzz::json_objects_with_type(json_text().text)) __builtin_trap();
  json_text().text.clear();
}

// Writes out what the monitor holds, as the receive loop does after each
// datagram, and checks it.
void flush(feedwatch::Monitor& monitor) {
  if (monitor.flush() != 0) __builtin_trap();
  check_written();
}

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
    flush(monitor);
    at += 2 + length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static feedwatch::Console terminal(terminal_text().stream, true);
  static feedwatch::Console console(std::fopen("/dev/null", "w"));
  static feedwatch::JsonLines json(json_text().stream);
  // As text on a terminal, then as JSON lines with the feed statistics.
  for (const bool as_json : {false, true}) {
    feedwatch::FeedStatistics stats(feedwatch::SteadyClock::now());
    feedwatch::Monitor monitor(as_json ? console : terminal, as_json ? &json : nullptr,
                               as_json ? &stats : nullptr, UINT64_MAX, kStoreCapacity);
    replay(data, size, monitor);
    monitor.report();
    flush(monitor);
  }
  return 0;
}
