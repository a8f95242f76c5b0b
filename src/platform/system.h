// Process-level services: the working directory, error numbers and their
// texts, the clock, pauses, local dates and the generator's error box.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

// The character that joins a directory and a file name.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Returns the path of `file_name` in the current working directory, however
// long the directory's name is.
std::string path_in_current_directory(std::string_view file_name);

// Returns `path` itself when it is absolute, otherwise the path it names
// from the current working directory.
std::string absolute_path(std::string_view path);

// Returns the platform's error number of the last failed call: errno on
// POSIX systems, the thread's last error code on Windows.
int last_error();

// Returns the platform's error number of a write that just failed: the last
// error, or a general write error when the system recorded none (a failure
// is never reported as 0).
int write_error();

// Returns the system's own text for one of the platform's error numbers
// ("No such file or directory"), without a line end.
std::string error_text(int error);

// Returns the report of a failed write of standard output:
// "cannot write output: " and the system's text for `error`.
inline std::string output_failure_text(int error) {
  return "cannot write output: " + error_text(error);
}

// Writes `text` to `stream`; returns 0, or the platform's error number when
// the stream did not take it all.  The number is taken at once: later calls
// may change the last error.
inline int write_output(std::FILE* stream, std::string_view text) {
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size() ? 0 : write_error();
}

// Flushes `stream`; returns 0, or the platform's error number when it fails.
inline int flush_output(std::FILE* stream) { return std::fflush(stream) == 0 ? 0 : write_error(); }

// Shows a failure in a box captioned "Error" where the platform has one and
// someone is there to dismiss it; elsewhere does nothing.
void show_error_box(std::string_view text);

// Returns the calendar time in seconds since 1970-01-01 00:00:00 UTC.
std::int64_t current_time();

// Suspends the thread for `milliseconds`; 0 only yields the processor.
void sleep_milliseconds(std::uint32_t milliseconds);

// Returns the local calendar time of `seconds` since the epoch (an unsigned
// 32-bit count) as "Www Mmm DD hh:mm:ss YYYY\n" with a zero-padded day.  The
// TZ variable is removed from the environment first, so the date is always in
// the operating system's own time zone.
std::string local_date_text(std::uint32_t seconds);

// Makes the memory of every large block go back to the system when it is
// freed, where the allocator would otherwise keep it for reuse: a program
// that keeps making and freeing large blocks of varying sizes (the live
// view's JSON texts) then stays the size of what it holds, rather than
// growing with the holes they leave.
void return_large_blocks_when_freed();

// Returns the name and version of the operating system, as a recording
// names the system it was made on ("Linux 6.1.0-13-amd64 x86_64",
// "Windows 10.0 build 19045").
std::string system_description();

}  // namespace platform
