#include "portable/error_line.h"

#include <cstdio>

namespace portable {

void write_error_line(std::string_view text) {
  std::fflush(stdout);
  std::fprintf(stderr, "Error: %.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
}

}  // namespace portable
