// Where the standard streams lead: whether a stream writes to a terminal, and
// whether two streams write to the same terminal or file, so that the text of
// one shows among the text of the other.
#pragma once

#include <cstdio>

namespace platform {

// True when `stream` writes to a terminal (on Windows, a console).
bool is_terminal(std::FILE* stream);

// True when `a` and `b` write to one terminal (one console on Windows) or to
// one file (on POSIX systems also one pipe).
bool same_destination(std::FILE* a, std::FILE* b);

}  // namespace platform
