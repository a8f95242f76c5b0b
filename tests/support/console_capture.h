// Test helpers: what the monitor prints, captured as text.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "feedwatch/console_output.h"
#include "feedwatch/receive_loop.h"

namespace test_support {

// A Console that writes to a temporary file whose text can be read back at any time.
class CapturedConsole {
 public:
  // A console as on a terminal with `visible_controls`, else as on a file.
  explicit CapturedConsole(bool visible_controls = false)
      : console_(file_.get(), visible_controls) {}

  feedwatch::Console& console() { return console_; }

  // The temporary file, for a second writer such as a JsonLines.
  std::FILE* stream() { return file_.get(); }

  // Everything printed so far; later writes append to it.
  std::string text() {
    console_.flush();
    std::string all(static_cast<std::size_t>(std::ftell(stream())), '\0');
    std::rewind(stream());
    all.resize(std::fread(all.data(), 1, all.size(), stream()));
    std::fseek(stream(), 0, SEEK_END);
    return all;
  }

 private:
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_{std::tmpfile(), &std::fclose};
  feedwatch::Console console_;  // flushed on destruction, before the file closes
};

// Hands `datagram` to `monitor` as received at `arrival` into a buffer whose
// other bytes are 0xCD, so that bytes the monitor fails to clear show.
inline void hand(feedwatch::Monitor& monitor, const std::vector<std::uint8_t>& datagram,
                 feedwatch::Arrival arrival = {}) {
  const auto buffer = std::make_unique<feedwatch::PacketBuffer>();
  buffer->fill(0xCD);
  std::copy(datagram.begin(), datagram.end(), buffer->begin());
  arrival.length = datagram.size();
  monitor.handle_datagram(*buffer, arrival);
}

// What the monitor's own code prints for `datagrams`, received in that order,
// when it displays at most `limit` packets of a message.
inline std::string shown(const std::vector<std::vector<std::uint8_t>>& datagrams,
                         std::uint64_t limit = UINT64_MAX) {
  CapturedConsole out;
  feedwatch::Monitor monitor(out.console(), nullptr, nullptr, limit);
  for (const auto& d : datagrams) hand(monitor, d);
  return out.text();
}

}  // namespace test_support
