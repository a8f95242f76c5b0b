// The text of an initialisation file ("INI file") read by the rules of the
// Windows profile functions, the same on every platform, with the line of
// every section and key:
//
// - A line "[name]" starts a section; the name runs to the last "]" of the
//   line.  A line that starts with "[" and has no "]" is ignored.
// - Any other line with "=" is a key: the text before the first "=" is the
//   key's name, the text after it its value.  A line without "=" is a key
//   without a value, which reads as missing.
// - Lines whose first non-blank character is ";" are comments.  There are no
//   comments at the end of a value line: "Port=6050 ;x" is the value "6050 ;x".
// - Section and key names are compared without regard to ASCII case.
// - Blanks (spaces, tabs, Ctrl-Z) around section names, key names and values
//   are ignored, and so are those around the names a read asks for.  A value
//   wrapped in matching double or single quotes loses them.
// - The first of duplicate sections is the one read; within it, the first of
//   duplicate keys.  Keys before the first section belong to no section.
// - Lines end in LF, CR LF or a lone CR; a UTF-8 byte-order mark at the start
//   is ignored.
// - Integers: the value read by profile_integer(); an empty value reads as
//   the default.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace portable {

// The lower-case form of an ASCII letter; any other character as it is.
inline char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when two section or key names are the same name: ASCII case is ignored.
inline bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

// One key line of a section, as the file spells it.  A key written without
// "=" has no value and reads as missing.
struct ProfileKey {
  std::string_view name;
  std::string_view value;
  bool has_value = false;
  std::uint32_t line = 0;  // counted from 1; 0 where the reader cannot tell
};

// One "[name]" line, and the key lines that follow it up to the next one.
struct ProfileSection {
  std::string_view name;
  std::uint32_t line;
  std::uint32_t first_key;  // where its keys lie in the text's key lines
  std::uint32_t end_key;
  // The line of the section's first occurrence when this one repeats it, or
  // 0; a repeated section's keys are never read, and none are kept.
  std::uint32_t repeats;
};

// The sections and keys of a file's text: views into the text, which must
// outlive the object.
class ProfileText {
 public:
  ProfileText() = default;
  explicit ProfileText(std::string_view text) { parse(text); }

  // Reads `text` afresh.
  void parse(std::string_view text);

  // The keys of a section (its first occurrence) in file order, duplicate
  // keys included: the reads answer from the first of them.  Empty when the
  // section is missing.
  std::span<const ProfileKey> keys(std::string_view section) const;

  // The key lines that follow a section line, none for a repeated section.
  std::span<const ProfileKey> keys(const ProfileSection& section) const {
    return std::span(keys_).subspan(section.first_key, section.end_key - section.first_key);
  }

  // The key lines before the first section line, which no read finds.
  std::span<const ProfileKey> keys_outside_sections() const {
    return std::span(keys_).first(outside_end_);
  }

  // Every section line in file order, repeats included.
  std::span<const ProfileSection> sections() const { return sections_; }

  // The lines that start with "[" and have no "]", which are ignored.
  std::span<const std::uint32_t> unclosed_section_lines() const { return unclosed_; }

  // True when a section of this name appears.
  bool contains(std::string_view section) const;

  // The first key of the section with this name, or nullptr when the
  // section or the key is missing or the key has no value.
  const ProfileKey* find(std::string_view section, std::string_view key) const;

  // Returns the key's value, or `default_value` when the section or the key
  // is missing, cut to `buffer_size` - 1 characters as a buffer of that size
  // would hold it.
  std::string read_string(std::string_view section, std::string_view key,
                          std::string_view default_value, std::size_t buffer_size) const;

  // Returns the key's value read by profile_integer(), or `default_value`
  // when the section or the key is missing or the value is empty.
  std::int32_t read_int(std::string_view section, std::string_view key,
                        std::int32_t default_value) const;

 private:
  struct CaseInsensitiveHash {
    std::size_t operator()(std::string_view s) const;
  };
  struct CaseInsensitiveEqual {
    bool operator()(std::string_view a, std::string_view b) const { return same_name(a, b); }
  };

  std::vector<ProfileKey> keys_;
  std::size_t outside_end_ = 0;
  std::vector<ProfileSection> sections_;
  // The index in `sections_` of each section's first occurrence, by name.
  std::unordered_map<std::string_view, std::size_t, CaseInsensitiveHash, CaseInsensitiveEqual>
      first_;
  std::vector<std::uint32_t> unclosed_;
};

}  // namespace portable
