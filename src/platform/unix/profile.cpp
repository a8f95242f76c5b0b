// Initialisation files on POSIX systems, with the rules of the Windows profile
// functions:
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
//
// The file's contents, as SettledFile takes them, are parsed once into the
// key lines of their sections, views over the bytes in file order.
#include "platform/profile.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "portable/settled_file.h"

namespace platform {
namespace {

// Ctrl-Z is the end-of-file mark of old editors.
bool is_blank(char c) {
  const auto u = static_cast<unsigned char>(c);  // most characters fail the first test
  return u <= ' ' && (u == ' ' || u == '\t' || u == '\r' || u == '\v' || u == '\f' || u == '\x1a');
}

inline std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view unquote(std::string_view s) {
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) {
    return s.substr(1, s.size() - 2);
  }
  return s;
}

struct CaseInsensitiveHash {
  std::size_t operator()(std::string_view s) const {
    std::size_t h = 1469598103934665603ull;
    for (char c : s) h = (h ^ static_cast<unsigned char>(ascii_lower(c))) * 1099511628211ull;
    return h;
  }
};

struct CaseInsensitiveEqual {
  bool operator()(std::string_view a, std::string_view b) const {
    return ProfileFile::same_name(a, b);
  }
};

}  // namespace

struct ProfileFile::Contents {
  explicit Contents(std::string path) : file(std::move(path)) {}

  portable::SettledFile file;
  // The key lines of every section's first occurrence, section after section.
  std::vector<ProfileKey> keys;
  // Where each section's keys lie in `keys`, by name.
  struct Range {
    std::size_t first;
    std::size_t end;
  };
  std::unordered_map<std::string_view, Range, CaseInsensitiveHash, CaseInsensitiveEqual> sections;
  std::uint64_t version = 0;

  void parse();
  std::span<const ProfileKey> section(std::string_view name) const;
  const ProfileKey* find(std::string_view section, std::string_view key) const;
};

void ProfileFile::Contents::parse() {
  keys.clear();
  sections.clear();
  const std::string_view text = file.contents();
  std::size_t pos = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  // The next CR and LF at or after `pos` (npos: none), each searched for
  // again only once passed, so that every byte is looked at about once.
  std::size_t cr = text.find('\r', pos);
  std::size_t lf = text.find('\n', pos);
  Range* current = nullptr;  // none before the first section, nor in a repeated one
  while (pos < text.size()) {
    if (cr < pos) cr = text.find('\r', pos);
    if (lf < pos) lf = text.find('\n', pos);
    const std::size_t end = std::min({cr, lf, text.size()});
    std::string_view line = trim(text.substr(pos, end - pos));
    pos = end == cr && lf == cr + 1 ? lf + 1 : end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.rfind(']');
      if (close == std::string_view::npos) continue;
      const std::string_view name = trim(line.substr(1, close - 1));
      const auto [section, first] = sections.try_emplace(name, Range{keys.size(), keys.size()});
      current = first ? &section->second : nullptr;
      continue;
    }
    if (current == nullptr) continue;
    // Filled in place: a temporary copied in costs more than the rest of the line.
    ProfileKey& key = keys.emplace_back();
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      key.name = line;
    } else {
      key.name = trim(line.substr(0, equals));
      key.value = unquote(trim(line.substr(equals + 1)));
      key.has_value = true;
    }
    current->end = keys.size();
  }
}

std::span<const ProfileKey> ProfileFile::Contents::section(std::string_view name) const {
  const auto s = sections.find(trim(name));
  if (s == sections.end()) return {};
  return std::span(keys).subspan(s->second.first, s->second.end - s->second.first);
}

const ProfileKey* ProfileFile::Contents::find(std::string_view section_name,
                                              std::string_view key) const {
  key = trim(key);
  for (const ProfileKey& k : section(section_name)) {
    if (same_name(k.name, key)) return k.has_value ? &k : nullptr;
  }
  return nullptr;
}

ProfileFile::ProfileFile(std::string path)
    : path_(std::move(path)), contents_(std::make_unique<Contents>(path_)) {
  contents_->parse();
}

ProfileFile::~ProfileFile() = default;

void ProfileFile::refresh() {
  Contents& c = *contents_;
  if (!c.file.refresh()) return;
  c.parse();
  ++c.version;
}

std::uint64_t ProfileFile::version() const { return contents_->version; }

const std::string& ProfileFile::read_error() const { return contents_->file.error(); }

std::span<const ProfileKey> ProfileFile::keys(std::string_view section) const {
  return contents_->section(section);
}

std::string ProfileFile::read_string(std::string_view section, std::string_view key,
                                     std::string_view default_value,
                                     std::size_t buffer_size) const {
  if (buffer_size == 0) return {};
  const ProfileKey* k = contents_->find(section, key);
  const std::string_view text = k ? k->value : default_value;
  return std::string(text.substr(0, buffer_size - 1));
}

std::int32_t ProfileFile::read_int(std::string_view section, std::string_view key,
                                   std::int32_t default_value) const {
  const ProfileKey* k = contents_->find(section, key);
  return k ? portable::profile_integer(k->value, default_value) : default_value;
}

}  // namespace platform
