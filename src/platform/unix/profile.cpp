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
// - Blanks (spaces, tabs) around section names, key names and values are
//   ignored.  A value wrapped in matching double or single quotes loses them.
// - The first of duplicate sections is the one read; within it, the first of
//   duplicate keys.  Keys before the first section belong to no section.
// - Lines end in LF or CR LF; a UTF-8 byte-order mark at the start is ignored.
// - Integers: leading blanks, an optional sign, then decimal digits up to the
//   first other character ("12abc" reads 12, "abc" reads 0); the low 32 bits
//   of a longer number are kept.  An empty value reads as the default.
//
// The file is parsed once into an index of views over its bytes.  refresh()
// compares the file's identity, size and change times with those of the last
// read, and reads it again when they differ, or when the last read came so
// soon after a change that a later edit might carry the same time stamps (the
// file system's time stamps advance in ticks of several milliseconds).
#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <unordered_map>
#include <vector>

namespace platform {
namespace {

// How long after a change a file's time stamps may still be shared by a
// later edit: well above any file system's tick.
constexpr std::int64_t kStampSlackNs = 2'000'000'000;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view trim(std::string_view s) {
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
    for (char c : s) h = (h ^ static_cast<unsigned char>(lower(c))) * 1099511628211ull;
    return h;
  }
};

struct CaseInsensitiveEqual {
  bool operator()(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
  }
};

// A key's value; a key written without "=" has none.
struct Value {
  std::string_view text;
  bool present;
};

using KeyIndex = std::unordered_map<std::string_view, Value, CaseInsensitiveHash, CaseInsensitiveEqual>;

// The identity and change times of a file, or of its absence.
struct Stamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modified_ns = 0;
  std::int64_t changed_ns = 0;

  bool operator==(const Stamp&) const = default;
};

std::int64_t nanoseconds(const timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

Stamp stamp_of(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {true, st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

std::int64_t now_ns() {
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  return nanoseconds(t);
}

// Reads the whole file; a missing, unreadable or non-regular file reads as empty.
std::string read_file(const std::string& path) {
  std::string bytes;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    char chunk[65536];
    for (;;) {
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      bytes.append(chunk, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return bytes;
}

}  // namespace

struct ProfileFile::Contents {
  std::string bytes;
  // Sections in file order; `section_index` maps a name to its first one.
  std::vector<KeyIndex> sections;
  std::unordered_map<std::string_view, std::size_t, CaseInsensitiveHash, CaseInsensitiveEqual>
      section_index;
  Stamp stamp;
  bool settled = false;  // no later edit can share `stamp`

  void parse();
  const Value* find(std::string_view section, std::string_view key) const;
};

void ProfileFile::Contents::parse() {
  sections.clear();
  section_index.clear();
  std::string_view rest = bytes;
  if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
  sections.emplace_back();  // keys before the first section
  KeyIndex* current = &sections.back();
  bool current_is_first = true;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = trim(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.rfind(']');
      if (close == std::string_view::npos) continue;
      const std::string_view name = trim(line.substr(1, close - 1));
      sections.emplace_back();
      current = &sections.back();
      current_is_first = section_index.emplace(name, sections.size() - 1).second;
      continue;
    }
    if (!current_is_first) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      current->emplace(line, Value{{}, false});
    } else {
      current->emplace(trim(line.substr(0, equals)),
                       Value{unquote(trim(line.substr(equals + 1))), true});
    }
  }
}

const Value* ProfileFile::Contents::find(std::string_view section, std::string_view key) const {
  const auto s = section_index.find(section);
  if (s == section_index.end()) return nullptr;
  const KeyIndex& keys = sections[s->second];
  const auto k = keys.find(key);
  if (k == keys.end() || !k->second.present) return nullptr;
  return &k->second;
}

ProfileFile::ProfileFile(std::string path)
    : path_(std::move(path)), contents_(std::make_unique<Contents>()) {
  refresh();
}

ProfileFile::~ProfileFile() = default;

void ProfileFile::refresh() {
  Contents& c = *contents_;
  const std::int64_t reference = now_ns();
  const Stamp stamp = stamp_of(path_);
  if (c.settled && stamp == c.stamp) return;
  c.stamp = stamp;
  c.settled = !stamp.exists || (stamp.modified_ns < reference - kStampSlackNs &&
                                stamp.changed_ns < reference - kStampSlackNs);
  c.bytes = stamp.exists ? read_file(path_) : std::string();
  c.parse();
}

std::string ProfileFile::read_string(std::string_view section, std::string_view key,
                                     std::string_view default_value,
                                     std::size_t buffer_size) const {
  if (buffer_size == 0) return {};
  const Value* v = contents_->find(section, key);
  const std::string_view text = v ? v->text : default_value;
  return std::string(text.substr(0, buffer_size - 1));
}

std::int32_t ProfileFile::read_int(std::string_view section, std::string_view key,
                                   std::int32_t default_value) const {
  const Value* v = contents_->find(section, key);
  if (!v || v->text.empty()) return default_value;
  std::string_view s = v->text;
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  std::uint32_t value = 0;
  while (!s.empty() && s.front() >= '0' && s.front() <= '9') {
    value = value * 10 + static_cast<std::uint32_t>(s.front() - '0');
    s.remove_prefix(1);
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

}  // namespace platform
