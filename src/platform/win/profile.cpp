// Initialisation files on Windows: every read asks the system's profile
// functions for the text, which they keep cached; refresh() asks them to drop
// the cached copy, so that the next read sees the file as it is now.  Integers
// are read from that text by profile_integer(), as on every platform.
#include "platform/profile.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <vector>

namespace platform {
namespace {

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

// What keys() handed out, kept until the next refresh().
struct ProfileFile::Contents {
  struct Section {
    std::vector<std::string> names;
    std::vector<std::string> values;
    std::vector<ProfileKey> keys;
  };
  std::map<std::string, Section> sections;
  std::uint64_t version = 0;
  bool existed = true;
};

ProfileFile::ProfileFile(std::string path)
    : path_(std::move(path)), contents_(std::make_unique<Contents>()) {
  refresh();
}

ProfileFile::~ProfileFile() = default;

void ProfileFile::refresh() {
  // The documented way to flush the system's cached copy; it writes nothing.
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str());
  contents_->sections.clear();
  // A file that is still missing reads as before; any other may have changed.
  const bool exists = GetFileAttributesA(path_.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (exists || contents_->existed) ++contents_->version;
  contents_->existed = exists;
}

std::uint64_t ProfileFile::version() const { return contents_->version; }

std::span<const ProfileKey> ProfileFile::keys(std::string_view section) const {
  std::string wanted(section);
  for (char& c : wanted) c = ascii_lower(c);
  auto [entry, added] = contents_->sections.try_emplace(wanted);
  Contents::Section& s = entry->second;
  if (!added) return s.keys;
  const std::string name(section);
  s.names = key_names(path_, name);
  s.values.resize(s.names.size());
  std::vector<bool> present(s.names.size());
  for (std::size_t i = 0; i < s.names.size(); ++i) {
    // A key whose read gives back either default has no value.
    const char* key = s.names[i].c_str();
    s.values[i] = read_raw(path_, name.c_str(), key, "\x01", 65536);
    present[i] = s.values[i] != "\x01" || read_raw(path_, name.c_str(), key, "\x02", 65536) != "\x02";
  }
  for (std::size_t i = 0; i < s.names.size(); ++i) {
    s.keys.push_back({s.names[i], present[i] ? std::string_view(s.values[i]) : std::string_view(),
                      static_cast<bool>(present[i])});
  }
  return s.keys;
}

std::string ProfileFile::read_string(std::string_view section, std::string_view key,
                                     std::string_view default_value,
                                     std::size_t buffer_size) const {
  if (buffer_size == 0) return {};
  const DWORD size = static_cast<DWORD>(
      std::min<std::size_t>(buffer_size, std::numeric_limits<DWORD>::max()));
  return read_raw(path_, std::string(section).c_str(), std::string(key).c_str(),
                  std::string(default_value).c_str(), size);
}

std::int32_t ProfileFile::read_int(std::string_view section, std::string_view key,
                                   std::int32_t default_value) const {
  const std::string value = read_raw(path_, std::string(section).c_str(),
                                     std::string(key).c_str(), "", kProfileIntegerChars + 1);
  return profile_integer(value, default_value);
}

}  // namespace platform
