// Test helpers: what the programs print, captured as text.
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

// A temporary stream whose text can be read back at any time.
class CapturedFile {
 public:
  CapturedFile() : file_(std::tmpfile()) {}
  ~CapturedFile() { std::fclose(file_); }
  CapturedFile(const CapturedFile&) = delete;
  CapturedFile& operator=(const CapturedFile&) = delete;

  // The stream to write to.
  std::FILE* stream() { return file_; }

  // Everything written so far; later writes append to it.
  std::string text() {
    std::fflush(file_);
    std::string all(static_cast<std::size_t>(std::ftell(file_)), '\0');
    std::rewind(file_);
    all.resize(std::fread(all.data(), 1, all.size(), file_));
    std::fseek(file_, 0, SEEK_END);
    return all;
  }

 private:
  std::FILE* file_;
};

// A Console that writes to a CapturedFile.
class CapturedConsole {
 public:
  CapturedConsole() : console_(file_.stream()) {}

  feedwatch::Console& console() { return console_; }

  // Everything printed so far.
  std::string text() {
    console_.flush();
    return file_.text();
  }

 private:
  CapturedFile file_;
  feedwatch::Console console_;
};

// What the monitor's own code prints for `datagrams`, received in that order.
inline std::string shown(const std::vector<std::vector<std::uint8_t>>& datagrams) {
  CapturedConsole out;
  feedwatch::Monitor monitor(out.console());
  const auto buffer = std::make_unique<feedwatch::PacketBuffer>();
  for (const auto& d : datagrams) {
    std::copy(d.begin(), d.end(), buffer->begin());
    monitor.handle_datagram(*buffer, {.length = d.size()});
  }
  return out.text();
}

}  // namespace test_support
