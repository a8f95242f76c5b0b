#include "feedcast/trace_output.h"

#include "platform/system.h"
#include "platform/terminal.h"

namespace feedcast {

TraceOutput::TraceOutput(std::FILE* trace, std::FILE* warnings, bool quiet)
    : trace_(trace),
      warnings_(warnings),
      quiet_(quiet),
      shared_(!quiet && platform::same_destination(trace, warnings)) {}

void TraceOutput::print(const std::string& text) {
  if (quiet_ || text.empty() || error_ != 0) return;
  error_ = platform::write_output(trace_, text);
  line_open_ = text.back() != '\n';
  shown_open_ = line_open_;
}

void TraceOutput::print_faults(const std::string& lines) {
  if (lines.empty()) return;
  if (line_open_) print("\n");
  print(lines);
}

int TraceOutput::flush() {
  if (!quiet_ && error_ == 0) error_ = platform::flush_output(trace_);
  return error_;
}

void TraceOutput::warn(std::string_view line) {
  end_open_line();
  std::fwrite(line.data(), 1, line.size(), warnings_);
  std::fflush(warnings_);
}

void TraceOutput::end_open_line() {
  if (!shared_ || !shown_open_) return;
  std::fflush(trace_);
  std::fputc('\n', warnings_);
  std::fflush(warnings_);
  shown_open_ = false;
}

}  // namespace feedcast
