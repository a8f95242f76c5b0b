// Initialisation files on POSIX systems: the file's contents, as SettledFile
// takes them, are parsed once by portable::ProfileText (the rules of the
// Windows profile functions) into the key lines of their sections, views
// over the bytes in file order, from which every read answers.
#include "platform/profile.h"

#include "portable/settled_file.h"

namespace platform {

struct ProfileFile::Contents {
  explicit Contents(std::string path) : file(std::move(path)), text(file.contents()) {}

  portable::SettledFile file;
  portable::ProfileText text;
  std::uint64_t version = 0;
};

ProfileFile::ProfileFile(std::string path)
    : path_(std::move(path)), contents_(std::make_unique<Contents>(path_)) {}

ProfileFile::~ProfileFile() = default;

void ProfileFile::refresh() {
  Contents& c = *contents_;
  if (!c.file.refresh()) return;
  c.text.parse(c.file.contents());
  ++c.version;
}

std::uint64_t ProfileFile::version() const { return contents_->version; }

const std::string& ProfileFile::read_error() const { return contents_->file.error(); }

const std::string& ProfileFile::contents() const { return contents_->file.contents(); }

std::span<const ProfileKey> ProfileFile::keys(std::string_view section) const {
  return contents_->text.keys(section);
}

std::string ProfileFile::read_string(std::string_view section, std::string_view key,
                                     std::string_view default_value,
                                     std::size_t buffer_size) const {
  return contents_->text.read_string(section, key, default_value, buffer_size);
}

std::int32_t ProfileFile::read_int(std::string_view section, std::string_view key,
                                   std::int32_t default_value) const {
  return contents_->text.read_int(section, key, default_value);
}

}  // namespace platform
