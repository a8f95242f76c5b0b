#include "portable/settled_file.h"

#include <thread>

#include "platform/system.h"

namespace portable {
namespace {

using Clock = std::chrono::steady_clock;

// A program that keeps a file open this long after writing to it, without
// changing it further, is not in the middle of a save.
constexpr auto kHeldOpenTime = std::chrono::seconds(2);

// A save in place empties the file first, and on a busy disk the system may
// hold the writer in that step well beyond kSettleTime before anything shows
// that it is writing: an emptied file waits this long.
constexpr auto kEmptiedSettleTime = std::chrono::seconds(2);

// The longest the first read waits for a file in the middle of a change, and
// how often it looks meanwhile.
constexpr auto kFirstReadWait = std::chrono::seconds(1);
constexpr auto kFirstReadPoll = std::chrono::milliseconds(10);

}  // namespace

SettledFile::SettledFile(std::string path) : path_(std::move(path)) {
  const Clock::time_point deadline = Clock::now() + kFirstReadWait;
  look(false);
  while (changing_ && Clock::now() < deadline) {
    std::this_thread::sleep_for(kFirstReadPoll);
    look(false);
  }
  // A file rewritten all the time: the last whole read is better than none.
  if (changing_) look(true);
}

bool SettledFile::refresh() { return look(false); }

// Reads the file, whose stamp was just `stamp`, into `scratch_` and gives the
// stamp of what was read; false when the file cannot be read (error() says
// why) or was written to or replaced meanwhile.  `open_after_write` tells
// whether a program was in the middle of writing it just before the read.
bool SettledFile::read_whole(const platform::FileStamp& stamp, platform::FileStamp& read,
                             bool& open_after_write) {
  int error = stamp.error;
  if (error == 0) {
    const std::uint64_t writes = writers_.writes(path_, stamp);
    open_after_write = writers_.open_after_write();
    platform::FileStamp after;
    error = platform::read_whole_file(path_, scratch_, read, after);
    if (error == 0 && (read != after || read.identity != stamp.identity ||
                       writers_.writes(path_, read) != writes)) {
      changing_ = true;
      return false;
    }
  }
  error_ = error == 0 ? std::string() : platform::error_text(error);
  if (error != 0) changing_ = false;
  return error == 0;
}

// Looks at the file; with `insist`, takes a changed file without waiting for
// it to be left alone.
bool SettledFile::look(bool insist) {
  const Clock::time_point seen = Clock::now();
  const std::int64_t reference = platform::wall_clock_ns();
  const platform::FileStamp stamp = platform::stamp_of_path(path_);
  if (stamp.error == 0 && error_.empty() && settled_ && stamp == stamp_) return false;
  platform::FileStamp read;
  bool open_after_write = false;
  if (!read_whole(stamp, read, open_after_write)) return false;
  // The wall clock may be set back or the file's times forward: then the
  // time this stamp has been seen unchanged tells instead.
  if (read != watched_) {
    watched_ = read;
    watched_since_ = seen;
  }
  const auto unchanged_for = seen - watched_since_;
  const bool saving = open_after_write && unchanged_for < kHeldOpenTime;
  const std::chrono::nanoseconds settle =
      scratch_.empty() ? std::chrono::nanoseconds(kEmptiedSettleTime) : kSettleTime;
  const bool left_alone =
      !saving && (read.changed_ns <= reference - settle.count() || unchanged_for >= settle);
  const bool same = scratch_ == contents_;
  changing_ = !same && !left_alone && !insist;
  if (changing_) return false;
  stamp_ = read;
  const std::int64_t slack = std::chrono::nanoseconds(kStampSlack).count();
  settled_ = read.modified_ns < reference - slack && read.changed_ns < reference - slack;
  if (same) return false;
  contents_.swap(scratch_);
  return true;
}

}  // namespace portable
