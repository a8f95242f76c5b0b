// Whole-file reads on POSIX systems: stamps from stat(), errors as errno;
// writers seen through Linux's inotify.
#include "platform/file_access.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>

namespace platform {
namespace {

// Nanoseconds since 1970, held at what 64 bits can count (the years before
// 1678 and after 2261 are seen as those limits).
std::int64_t nanoseconds(const timespec& t) {
  constexpr std::int64_t kMostSeconds = INT64_MAX / 1'000'000'000 - 1;
  const auto seconds = std::clamp<std::int64_t>(t.tv_sec, -kMostSeconds, kMostSeconds);
  return seconds * 1'000'000'000 + t.tv_nsec;
}

FileStamp stamp_of(const struct stat& st) {
  FileStamp s;
  s.device = st.st_dev;
  s.identity = st.st_ino;
  s.size = static_cast<std::uint64_t>(st.st_size);
  s.modified_ns = nanoseconds(st.st_mtim);
  s.changed_ns = nanoseconds(st.st_ctim);
  return s;
}

// Reads a regular file to its end into `bytes`: one read into room for the
// size seen (the buffer of the last read is reused), on to the end of a file
// that grows meanwhile.  Returns 0 or errno.
int read_to_end(int fd, std::size_t size, std::string& bytes) {
  std::size_t length = 0;
  bytes.resize(size + 1);
  for (;;) {
    if (length == bytes.size()) bytes.resize(2 * bytes.size());
    const std::size_t room = bytes.size() - length;
    const ssize_t n = ::read(fd, bytes.data() + length, room);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    length += static_cast<std::size_t>(n);
    if (static_cast<std::size_t>(n) < room) break;  // the end of a regular file
  }
  bytes.resize(length);
  return 0;
}

// Closes a descriptor when it goes.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

FileStamp stamp_of_path(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {.error = errno};
  return stamp_of(st);
}

int read_whole_file(const std::string& path, std::string& bytes, FileStamp& before,
                    FileStamp& after) {
  // Without waiting for a writer, should the name be a pipe.
  const Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  if (file.fd < 0) return errno;
  struct stat st {};
  if (::fstat(file.fd, &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  before = stamp_of(st);
  bytes.clear();
  if (S_ISREG(st.st_mode)) {
    if (const int error = read_to_end(file.fd, static_cast<std::size_t>(st.st_size), bytes)) {
      return error;
    }
  }
  if (::fstat(file.fd, &st) != 0) return errno;
  after = stamp_of(st);
  return 0;
}

std::int64_t wall_clock_ns() {
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  return nanoseconds(t);
}

WriteWatch::WriteWatch() : queue_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

WriteWatch::~WriteWatch() {
  if (queue_ >= 0) ::close(queue_);
}

std::uint64_t WriteWatch::writes(const std::string& path, const FileStamp& stamp) {
  if (queue_ < 0) return 0;
  if (watch_ < 0 || stamp.device != device_ || stamp.identity != identity_) {
    if (watch_ >= 0) inotify_rm_watch(queue_, watch_);
    watch_ = inotify_add_watch(queue_, path.c_str(), IN_MODIFY | IN_CLOSE_WRITE);
    device_ = stamp.device;
    identity_ = stamp.identity;
    open_after_write_ = false;
  }
  alignas(inotify_event) char events[4096];
  for (;;) {
    const ssize_t n = ::read(queue_, events, sizeof events);
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(events + at);
      if (e->wd == watch_ && (e->mask & IN_MODIFY) != 0) {
        ++writes_;
        open_after_write_ = true;
      }
      if (e->wd == watch_ && (e->mask & IN_CLOSE_WRITE) != 0) open_after_write_ = false;
      if ((e->mask & IN_Q_OVERFLOW) != 0) ++writes_;  // events lost: a write, at least
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
  return writes_;
}

}  // namespace platform
