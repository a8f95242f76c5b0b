#include "portable/profile_text.h"

#include <algorithm>

#include "portable/profile_integer.h"

namespace portable {
namespace {

// Ctrl-Z is the end-of-file mark of old editors.
bool is_blank(char c) {
  const auto u = static_cast<unsigned char>(c);  // most characters fail the first test
  return u <= ' ' && (u == ' ' || u == '\t' || u == '\r' || u == '\v' || u == '\f' || u == '\x1a');
}

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

}  // namespace

std::size_t ProfileText::CaseInsensitiveHash::operator()(std::string_view s) const {
  std::uint64_t h = 1469598103934665603ull;
  for (char c : s) h = (h ^ static_cast<unsigned char>(ascii_lower(c))) * 1099511628211ull;
  return static_cast<std::size_t>(h);
}

void ProfileText::parse(std::string_view text) {
  keys_.clear();
  sections_.clear();
  first_.clear();
  unclosed_.clear();
  outside_end_ = 0;
  std::size_t pos = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  // The next CR and LF at or after `pos` (npos: none), each searched for
  // again only once passed, so that every byte is looked at about once.
  std::size_t cr = text.find('\r', pos);
  std::size_t lf = text.find('\n', pos);
  ProfileSection* current = nullptr;  // none before the first section, nor in a repeated one
  bool outside = true;                // no section line yet
  for (std::uint32_t number = 1; pos < text.size(); ++number) {
    if (cr < pos) cr = text.find('\r', pos);
    if (lf < pos) lf = text.find('\n', pos);
    const std::size_t end = std::min({cr, lf, text.size()});
    std::string_view line = trim(text.substr(pos, end - pos));
    pos = end == cr && lf == cr + 1 ? lf + 1 : end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.rfind(']');
      if (close == std::string_view::npos) {
        unclosed_.push_back(number);
        continue;
      }
      const auto at = static_cast<std::uint32_t>(keys_.size());
      const std::string_view name = trim(line.substr(1, close - 1));
      const auto [first, added] = first_.try_emplace(name, sections_.size());
      const std::uint32_t repeats = added ? 0 : sections_[first->second].line;
      current = &sections_.emplace_back(ProfileSection{name, number, at, at, repeats});
      if (repeats != 0) current = nullptr;
      outside = false;
      continue;
    }
    if (current == nullptr && !outside) continue;
    // Filled in place: a temporary copied in costs more than the rest of the line.
    ProfileKey& key = keys_.emplace_back();
    key.line = number;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      key.name = line;
    } else {
      key.name = trim(line.substr(0, equals));
      key.value = unquote(trim(line.substr(equals + 1)));
      key.has_value = true;
    }
    if (outside) {
      outside_end_ = keys_.size();
    } else {
      current->end_key = static_cast<std::uint32_t>(keys_.size());
    }
  }
}

std::span<const ProfileKey> ProfileText::keys(std::string_view section) const {
  const auto s = first_.find(trim(section));
  if (s == first_.end()) return {};
  return keys(sections_[s->second]);
}

bool ProfileText::contains(std::string_view section) const {
  return first_.contains(trim(section));
}

const ProfileKey* ProfileText::find(std::string_view section, std::string_view key) const {
  key = trim(key);
  for (const ProfileKey& k : keys(section)) {
    if (same_name(k.name, key)) return k.has_value ? &k : nullptr;
  }
  return nullptr;
}

std::string ProfileText::read_string(std::string_view section, std::string_view key,
                                     std::string_view default_value,
                                     std::size_t buffer_size) const {
  if (buffer_size == 0) return {};
  const ProfileKey* k = find(section, key);
  const std::string_view text = k ? k->value : default_value;
  return std::string(text.substr(0, buffer_size - 1));
}

std::int32_t ProfileText::read_int(std::string_view section, std::string_view key,
                                   std::int32_t default_value) const {
  const ProfileKey* k = find(section, key);
  return k ? profile_integer(k->value, default_value) : default_value;
}

}  // namespace portable
