// Test helpers: what the programs print, captured as text.
#pragma once

#include <cstdio>
#include <string>

#include "feedwatch/console_output.h"

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
    const long end = std::ftell(file_);
    std::string all;
    std::rewind(file_);
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file_)) > 0) all.append(chunk, n);
    std::fseek(file_, end, SEEK_SET);
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

}  // namespace test_support
