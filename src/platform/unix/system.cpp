// Process-level services on POSIX systems.
#include "platform/system.h"

#include "portable/date_text.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sched.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

namespace platform {

std::string path_in_current_directory(std::string_view file_name) {
  // getcwd with no buffer allocates one as long as the name needs.
  const std::unique_ptr<char, decltype(&std::free)> directory(getcwd(nullptr, 0), &std::free);
  std::string path = directory ? directory.get() : "";
  if (path.empty() || path.back() != kPathSeparator) path += kPathSeparator;
  path += file_name;
  return path;
}

std::string absolute_path(std::string_view path) {
  if (!path.empty() && path.front() == kPathSeparator) return std::string(path);
  return path_in_current_directory(path);
}

int last_error() { return errno; }

int write_error() { return errno != 0 ? errno : EIO; }

std::string error_text(int error) { return std::strerror(error); }

// A POSIX console program has no box to show.
void show_error_box(std::string_view) {}

std::int64_t current_time() { return static_cast<std::int64_t>(std::time(nullptr)); }

void sleep_milliseconds(std::uint32_t milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  timespec wait{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1'000'000L};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

std::string local_date_text(std::uint32_t seconds) {
  unsetenv("TZ");
  tzset();
  const time_t t = static_cast<time_t>(seconds);
  tm local{};
  if (localtime_r(&t, &local) == nullptr) return {};
  return portable::classic_date_text(local);
}

std::string system_description() {
  utsname name{};
  if (uname(&name) != 0) return {};
  return std::string(name.sysname) + " " + name.release + " " + name.machine;
}

void return_large_blocks_when_freed() {
#if defined(__GLIBC__)
  // A fixed threshold: blocks of 128 KiB and more are mapped on their own
  // and unmapped when freed (glibc would otherwise raise the threshold to
  // the largest block freed and take such blocks from the heap).
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

}  // namespace platform
