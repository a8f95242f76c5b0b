// Initialisation files ("INI files"), read with the rules of the Windows
// profile functions so that files written for the Windows programs read the
// same everywhere: on Windows by the system's functions, elsewhere by
// portable::ProfileText, whose header lists the rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "portable/profile_integer.h"
#include "portable/profile_text.h"

namespace platform {

using portable::ProfileKey;

// One initialisation file, named by its path.  Reads answer from the file's
// contents as last taken (see SettledFile): refresh() takes an edit once the
// file has been left alone for a moment, never a file half-saved in place,
// and keeps the contents last taken while the file cannot be read.  A read
// looks through its section; to take a whole large section, walk keys() once.
class ProfileFile {
 public:
  // Names the file and reads it for the first time.  A missing or unreadable
  // file reads as empty: every read then yields its default, and
  // read_error() says why.
  explicit ProfileFile(std::string path);
  ~ProfileFile();
  ProfileFile(const ProfileFile&) = delete;
  ProfileFile& operator=(const ProfileFile&) = delete;

  // Looks at the file again and takes its contents when they changed and
  // the file has been left alone since.
  void refresh();

  // Changes whenever new contents are taken: two reads that saw the same
  // version saw the same contents.
  std::uint64_t version() const;

  // Why the last look could not read the file, in the system's words; empty
  // when it could.
  const std::string& read_error() const;

  // True when the last look could read the file.
  bool readable() const { return read_error().empty(); }

  // The file's text as last taken.
  const std::string& contents() const;

  // The keys of a section (its first occurrence) in file order, duplicate
  // keys included: the reads answer from the first of them.  Empty when the
  // section is missing; valid until the next refresh().
  std::span<const ProfileKey> keys(std::string_view section) const;

  // Returns the key's value, or `default_value` when the file, the section or
  // the key is missing, cut to `buffer_size` - 1 characters as a buffer of
  // that size would hold it; its length is the count of characters stored.
  std::string read_string(std::string_view section, std::string_view key,
                          std::string_view default_value, std::size_t buffer_size) const;

  // Returns the key's value read by profile_integer(), or `default_value`
  // when the file, the section or the key is missing or the value is empty.
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
