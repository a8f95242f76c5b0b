// Whole-file reads with the file's stamp taken around them: what a reader of
// a file that others may be editing needs to tell a settled file from one in
// the middle of a change.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// What the system tells of a file without reading it: its size and times, or
// the platform's error number when it cannot be looked at.  Two equal stamps
// of one path mean the file has not changed between them, unless the file
// system's clock stood still in between.
struct FileStamp {
  int error = 0;
  std::uint64_t device = 0;
  std::uint64_t identity = 0;
  std::uint64_t size = 0;
  std::int64_t modified_ns = 0;  // nanoseconds since 1970, as wall_clock_ns()
  std::int64_t changed_ns = 0;   // the last change of contents or attributes

  bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at `path`, following symbolic links.
FileStamp stamp_of_path(const std::string& path);

// Reads the whole file at `path` into `bytes`, with `before` and `after` the
// stamps of the open file just before and just after the read: when they
// differ, the file changed during the read.  A file that is neither regular
// nor a directory (a device, a pipe) reads as empty.  Returns 0, or the
// platform's error number when the file cannot be read (a directory cannot).
int read_whole_file(const std::string& path, std::string& bytes, FileStamp& before,
                    FileStamp& after);

// The wall-clock time on the scale of the stamps' times.
std::int64_t wall_clock_ns();

// Tells whether a program is in the middle of writing a file: it has written
// to it and not closed it since.  Where the platform cannot tell, it sees no
// writes at all.
class WriteWatch {
 public:
  WriteWatch();
  ~WriteWatch();
  WriteWatch(const WriteWatch&) = delete;
  WriteWatch& operator=(const WriteWatch&) = delete;

  // Follows the file now at `path`, of stamp `stamp` (a file put in the place
  // of the one followed so far is followed from now on), and returns how many
  // writes to it the watch has seen: a count that moves between two calls
  // means a write between them.
  std::uint64_t writes(const std::string& path, const FileStamp& stamp);

  // True when, as of the last call of writes(), a program had written to the
  // file and not closed it since.
  bool open_after_write() const { return open_after_write_; }

 private:
  int queue_ = -1;
  int watch_ = -1;
  std::uint64_t device_ = 0;
  std::uint64_t identity_ = 0;
  std::uint64_t writes_ = 0;
  bool open_after_write_ = false;
};

}  // namespace platform
