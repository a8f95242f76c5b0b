// The contents of a file that others may edit while a program reads it.
#pragma once

#include <chrono>
#include <string>

#include "platform/file_access.h"

namespace portable {

// How long a changed file must be left alone before its new contents are
// taken.  An editor's save in place (truncate, then one or more writes) is
// over long before, so a half-written file is never taken; and an edit is
// taken by the first look that comes 200 ms or more after its last write,
// unless it left the file empty or a program still holds the file open after
// writing to it: then the look must come 2 s or more after it.
inline constexpr std::chrono::milliseconds kSettleTime{100};

// How long after a change a file's stamp may still be shared by a later edit
// (well above any file system's clock tick).  Until its stamp is that old, a
// file is read at every look, even when the stamp has not changed.
inline constexpr std::chrono::seconds kStampSlack{2};

// A file's contents as last taken.  A changed file is taken only once it has
// been left alone for kSettleTime, no program has it open after writing to it
// (where the platform tells), and it was read whole without changing under
// the read; until then, and while the file cannot be read at all (missing,
// unreadable, a directory), the contents last taken stay.  A look at a file
// that has not changed costs one query of its stamp and no read.
class SettledFile {
 public:
  // Names the file and takes its contents for the first time.  A file in the
  // middle of a change is waited for, at most a second; one that cannot be
  // read leaves the contents empty, with error() saying why.
  explicit SettledFile(std::string path);

  // Looks at the file again; returns true when new contents were taken.
  bool refresh();

  // The contents last taken.
  const std::string& contents() const { return contents_; }

  // The system's text for why the last look could not read the file; empty
  // when it could.
  const std::string& error() const { return error_; }

  // The path the file was named by.
  const std::string& path() const { return path_; }

 private:
  bool look(bool insist);
  bool read_whole(const platform::FileStamp& stamp, platform::FileStamp& read,
                  bool& open_after_write);

  std::string path_;
  std::string contents_;
  std::string scratch_;  // the last read, compared with the contents taken
  std::string error_;
  platform::FileStamp stamp_;    // of the contents taken
  bool settled_ = false;         // no later edit can share `stamp_`
  bool changing_ = false;        // a change was seen that is not taken yet
  platform::FileStamp watched_;  // the stamp of the last read, seen since `watched_since_`
  std::chrono::steady_clock::time_point watched_since_;
  platform::WriteWatch writers_;
};

}  // namespace portable
