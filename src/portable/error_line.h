// The one writer of the "Error: <text>" lines with which both programs
// report a failure on standard error.
#pragma once

#include <string_view>

namespace portable {

// Flushes standard output, so that the line comes after what the program
// printed before, then writes "Error: <text>" as a line of its own on
// standard error and flushes it.
void write_error_line(std::string_view text);

}  // namespace portable
