// Initialisation files on Windows: every read asks the system's profile
// functions for the text.  They read a private copy of the file's contents
// as SettledFile last took them, rewritten only when it takes new ones, so
// that no read sees the file half-saved, and the contents last taken stay
// while the file cannot be read.  Integers are read from that text by
// profile_integer(), as on every platform.
#include "platform/profile.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <vector>

#include "portable/settled_file.h"

namespace platform {
namespace {

// The folder in the temporary folder that holds the copies.
constexpr const char* kCopyFolder = "feedtools-profiles";

// Deletes the copies in `folder` that no running process holds: those that
// processes ended without removing (an interrupt from the console ends a
// program at once).
void remove_left_copies(const std::string& folder) {
  WIN32_FIND_DATAA found{};
  const HANDLE search = FindFirstFileA((folder + "\\*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    DeleteFileA((folder + "\\" + found.cFileName).c_str());
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

// The private copy, held open for its life without sharing deletion, so that
// no other process removes it; reading and writing it stay open to all.
class Copy {
 public:
  Copy() {
    char temp[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length > MAX_PATH) return;
    const std::string folder = std::string(temp, length) + kCopyFolder;
    CreateDirectoryA(folder.c_str(), nullptr);
    remove_left_copies(folder);
    char name[MAX_PATH + 1];
    if (GetTempFileNameA(folder.c_str(), "ini", 0, name) == 0) return;
    // Another program starting now may delete the new file before it is
    // held: it is then made again.
    hold_ = CreateFileA(name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hold_ == INVALID_HANDLE_VALUE) {
      DeleteFileA(name);
      return;
    }
    path_ = name;
  }

  ~Copy() {
    if (path_.empty()) return;
    CloseHandle(hold_);
    DeleteFileA(path_.c_str());
  }

  Copy(const Copy&) = delete;
  Copy& operator=(const Copy&) = delete;

  // Replaces the copy's contents and makes the system drop its cached copy;
  // false when there is no copy or it cannot be written.
  bool write(const std::string& bytes) {
    if (path_.empty()) return false;
    const HANDLE file =
        CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool whole =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    CloseHandle(file);
    // The documented way to flush the system's cached copy; it writes nothing.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str());
    return whole;
  }

  const std::string& path() const { return path_; }

 private:
  std::string path_;  // empty when no copy could be made
  HANDLE hold_ = INVALID_HANDLE_VALUE;
};

// GetPrivateProfileStringA into a buffer of `size`; the characters stored.
std::string read_raw(const std::string& path, const char* section, const char* key,
                     const char* default_value, DWORD size) {
  std::string value(size, '\0');
  const DWORD length =
      GetPrivateProfileStringA(section, key, default_value, value.data(), size, path.c_str());
  value.resize(std::min<DWORD>(length, size - 1));
  return value;
}

// The zero-separated names of a section's keys, as the system lists them;
// the buffer grows until the list fits.
std::vector<std::string> key_names(const std::string& path, const std::string& section) {
  std::vector<char> list(4096);
  for (;;) {
    const DWORD size = static_cast<DWORD>(list.size());
    const DWORD length =
        GetPrivateProfileStringA(section.c_str(), nullptr, "", list.data(), size, path.c_str());
    if (length + 2 < size) {
      std::vector<std::string> names;
      // Names are zero-terminated one after the other; an empty name is one.
      for (const char* p = list.data(); p < list.data() + length; p += std::strlen(p) + 1) {
        names.emplace_back(p);
      }
      return names;
    }
    list.resize(2 * list.size());
  }
}

}  // namespace

struct ProfileFile::Contents {
  explicit Contents(std::string path) : file(std::move(path)) {}

  // Copies the contents taken for the system's functions; without a copy,
  // they read the file itself.
  void take() {
    copied = copy.write(file.contents());
    sections.clear();
    ++version;
  }

  // The file that the system's functions read.
  const std::string& source() const { return copied ? copy.path() : file.path(); }

  portable::SettledFile file;
  Copy copy;
  bool copied = false;
  // What keys() handed out, kept until new contents are taken.
  struct Section {
    std::vector<std::string> names;
    std::vector<std::string> values;
    std::vector<ProfileKey> keys;
  };
  std::map<std::string, Section> sections;
  std::uint64_t version = 0;
};

ProfileFile::ProfileFile(std::string path)
    : path_(std::move(path)), contents_(std::make_unique<Contents>(path_)) {
  contents_->take();
}

ProfileFile::~ProfileFile() = default;

void ProfileFile::refresh() {
  if (contents_->file.refresh()) contents_->take();
}

std::uint64_t ProfileFile::version() const { return contents_->version; }

const std::string& ProfileFile::read_error() const { return contents_->file.error(); }

const std::string& ProfileFile::contents() const { return contents_->file.contents(); }

std::span<const ProfileKey> ProfileFile::keys(std::string_view section) const {
  std::string wanted(section);
  for (char& c : wanted) c = portable::ascii_lower(c);
  auto [entry, added] = contents_->sections.try_emplace(wanted);
  Contents::Section& s = entry->second;
  if (!added) return s.keys;
  const std::string name(section);
  const std::string& source = contents_->source();
  s.names = key_names(source, name);
  s.values.resize(s.names.size());
  std::vector<bool> present(s.names.size());
  for (std::size_t i = 0; i < s.names.size(); ++i) {
    // A key whose read gives back either default has no value.
    const char* key = s.names[i].c_str();
    s.values[i] = read_raw(source, name.c_str(), key, "\x01", 65536);
    present[i] =
        s.values[i] != "\x01" || read_raw(source, name.c_str(), key, "\x02", 65536) != "\x02";
  }
  for (std::size_t i = 0; i < s.names.size(); ++i) {
    s.keys.push_back({s.names[i], present[i] ? std::string_view(s.values[i]) : std::string_view(),
                      static_cast<bool>(present[i]), 0});
  }
  return s.keys;
}

std::string ProfileFile::read_string(std::string_view section, std::string_view key,
                                     std::string_view default_value,
                                     std::size_t buffer_size) const {
  if (buffer_size == 0) return {};
  const DWORD size =
      static_cast<DWORD>(std::min<std::size_t>(buffer_size, std::numeric_limits<DWORD>::max()));
  return read_raw(contents_->source(), std::string(section).c_str(), std::string(key).c_str(),
                  std::string(default_value).c_str(), size);
}

std::int32_t ProfileFile::read_int(std::string_view section, std::string_view key,
                                   std::int32_t default_value) const {
  const std::string value =
      read_raw(contents_->source(), std::string(section).c_str(), std::string(key).c_str(), "",
               portable::kProfileIntegerChars + 1);
  return portable::profile_integer(value, default_value);
}

}  // namespace platform
