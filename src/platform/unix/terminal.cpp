// Where the standard streams lead, on POSIX systems.
#include "platform/terminal.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool is_terminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

bool same_destination(std::FILE* a, std::FILE* b) {
  struct stat first {};
  struct stat second {};
  return fstat(fileno(a), &first) == 0 && fstat(fileno(b), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace platform
