// The generator's trace on standard output, and its warnings and failures on
// standard error, which may show on the same terminal or in the same file.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace feedcast {

// Writes the trace unless it is quiet, remembers whether its last text left
// a line open, and keeps a warning from continuing that line.
class TraceOutput {
 public:
  // Traces to `trace` (standard output in the program), nothing when `quiet`;
  // warnings go to `warnings` (standard error).
  TraceOutput(std::FILE* trace, std::FILE* warnings, bool quiet);

  // Writes trace text; after a failed write nothing more is written.
  void print(const std::string& text);

  // Writes fault lines, which start on a line of their own in the trace.
  void print_faults(const std::string& lines);

  // Flushes the trace; returns 0, or the platform's error number of the
  // first write or flush that failed.
  int flush();

  // Writes one warning line (with its line end) to the warnings stream.
  void warn(std::string_view line);

  // Ends the line the trace left open, by a line end on the warnings stream,
  // when both streams show on one terminal or in one file; the trace's own
  // bytes stay as they are.  Called before anything is written there.
  void end_open_line();

 private:
  std::FILE* trace_;
  std::FILE* warnings_;
  bool quiet_;
  bool shared_;              // both streams lead to one terminal or file
  bool line_open_ = false;   // the trace's last text had no line end
  bool shown_open_ = false;  // and nothing has ended that line where both show
  int error_ = 0;
};

}  // namespace feedcast
