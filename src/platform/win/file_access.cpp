// Whole-file reads on Windows: stamps from the file's information, errors as
// system error codes; no watch of writers.
#include "platform/file_access.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

namespace platform {
namespace {

// 100-nanosecond ticks from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochTicks = 116'444'736'000'000'000;

// Nanoseconds since 1970 of 100-nanosecond ticks since 1601, held at what
// 64 bits can count (the years before 1678 and after 2261 are seen as those
// limits).
std::int64_t nanoseconds(std::int64_t ticks) {
  constexpr std::int64_t kMostTicks = INT64_MAX / 100;
  const std::int64_t held = std::clamp(ticks, kEpochTicks - kMostTicks, kEpochTicks + kMostTicks);
  return (held - kEpochTicks) * 100;
}

std::int64_t nanoseconds(const FILETIME& t) {
  const std::uint64_t ticks = std::uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime;
  return nanoseconds(static_cast<std::int64_t>(ticks));
}

// Closes a handle when it goes.
struct Handle {
  HANDLE h;
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

// The stamp of an open file: its volume and index, size, last write and
// last change.
FileStamp stamp_of(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_BASIC_INFO times{};
  if (!GetFileInformationByHandle(file, &info) ||
      !GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times)) {
    return {.error = static_cast<int>(GetLastError())};
  }
  FileStamp s;
  s.device = info.dwVolumeSerialNumber;
  s.identity = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
  s.size = std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
  s.modified_ns = nanoseconds(info.ftLastWriteTime);
  s.changed_ns = nanoseconds(times.ChangeTime.QuadPart);
  return s;
}

// Opens a file with `access`, shared with every other reader and writer, so
// that an editor can save it meanwhile.
HANDLE open_shared(const std::string& path, DWORD access, DWORD flags) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, flags, nullptr);
}

// Reads a disk file to its end into `bytes`, starting with room for `size`
// bytes.  Returns 0 or the system error code.
int read_to_end(HANDLE file, std::uint64_t size, std::string& bytes) {
  std::size_t length = 0;
  bytes.resize(static_cast<std::size_t>(size) + 1);
  for (;;) {
    if (length == bytes.size()) bytes.resize(2 * bytes.size());
    const DWORD room = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - length, 1u << 30));
    DWORD n = 0;
    if (!ReadFile(file, bytes.data() + length, room, &n, nullptr))
      return static_cast<int>(GetLastError());
    length += n;
    if (n == 0) break;
  }
  bytes.resize(length);
  return 0;
}

}  // namespace

FileStamp stamp_of_path(const std::string& path) {
  // Only the attributes: a directory opens too, and nobody is kept waiting.
  const Handle file{open_shared(path, FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS)};
  if (file.h == INVALID_HANDLE_VALUE) return {.error = static_cast<int>(GetLastError())};
  return stamp_of(file.h);
}

int read_whole_file(const std::string& path, std::string& bytes, FileStamp& before,
                    FileStamp& after) {
  const Handle file{open_shared(path, GENERIC_READ, FILE_ATTRIBUTE_NORMAL)};
  if (file.h == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  before = stamp_of(file.h);
  if (before.error != 0) return before.error;
  bytes.clear();
  if (GetFileType(file.h) == FILE_TYPE_DISK) {
    if (const int error = read_to_end(file.h, before.size, bytes)) return error;
  }
  after = stamp_of(file.h);
  return after.error;
}

std::int64_t wall_clock_ns() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return nanoseconds(now);
}

// Windows tells no program when another closes a file it wrote.
WriteWatch::WriteWatch() = default;
WriteWatch::~WriteWatch() = default;

std::uint64_t WriteWatch::writes(const std::string&, const FileStamp&) { return 0; }

}  // namespace platform
