// Initialisation files ("INI files"), read with the rules of the Windows
// profile functions so that files written for the Windows programs read the
// same everywhere.  The rules are listed at the top of each implementation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// One initialisation file, named by its path.  Reads answer from the file's
// contents as of the last refresh(); refresh() re-reads the file only when it
// may have changed, so reading every key of a large file costs about one read
// and parse of the file, and an edit saved before a refresh shows in the
// reads after it.
class ProfileFile {
 public:
  // Names the file and reads it for the first time.  A missing or unreadable
  // file reads as empty: every read then yields its default.
  explicit ProfileFile(std::string path);
  ~ProfileFile();
  ProfileFile(const ProfileFile&) = delete;
  ProfileFile& operator=(const ProfileFile&) = delete;

  // Brings the contents up to date with the file as it is now.
  void refresh();

  // Returns the key's value, or `default_value` when the file, the section or
  // the key is missing, cut to `buffer_size` - 1 characters as a buffer of
  // that size would hold it; its length is the count of characters stored.
  std::string read_string(std::string_view section, std::string_view key,
                          std::string_view default_value, std::size_t buffer_size) const;

  // Returns the key's value as a decimal number (leading blanks, an optional
  // sign, the digits up to the first other character, low 32 bits kept), or
  // `default_value` when the file, the section or the key is missing or the
  // value is empty.
  std::int32_t read_int(std::string_view section, std::string_view key,
                        std::int32_t default_value) const;

  // The path the file was named by.
  const std::string& path() const { return path_; }

 private:
  struct Contents;
  std::string path_;
  std::unique_ptr<Contents> contents_;
};

}  // namespace platform
