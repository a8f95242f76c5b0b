// Test helper: what the monitor prints, captured as text.
#pragma once

#include <cstdio>
#include <string>

#include "feedwatch/console_output.h"

namespace test_support {

// A Console that writes to a temporary file, read back by text().
class CapturedConsole {
 public:
  CapturedConsole() : file_(std::tmpfile()), console_(file_) {}
  ~CapturedConsole() { std::fclose(file_); }

  feedwatch::Console& console() { return console_; }

  // Everything printed so far.
  std::string text() {
    console_.flush();
    std::string all;
    std::rewind(file_);
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file_)) > 0) all.append(chunk, n);
    return all;
  }

 private:
  std::FILE* file_;
  feedwatch::Console console_;
};

}  // namespace test_support
