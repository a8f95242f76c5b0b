// Settings declared once: every key of a configuration section in one table
// that gives its name, its default, the buffer of a text value and where the
// value goes.  Reading a section, its defaults, its list of keys and the
// check of a file's keys all come from the table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace portable {

// A key whose value is text, read into a buffer of `buffer` characters, the
// terminator included: at most `buffer` - 1 are kept.
struct TextKey {
  std::string_view name;
  std::string_view default_value;
  std::size_t buffer;
};

// The class that a pointer to a data member belongs to.
template <class Member>
struct member_class;
template <class Value, class Target>
struct member_class<Value Target::*> {
  using type = Target;
};

// Stores a value read into the member `member` of a target.
template <auto member, class Target, class Value>
void store_member(Target& target, Value value) {
  target.*member = std::move(value);
}

// One key of a section read into a member of `Target`: a text key or an
// integer key.  `field` names the packet header field that the value goes
// into, cut to that field's width; it is empty for a value used whole.
template <class Target>
struct Setting {
  std::string_view name;
  void (*text)(Target&, std::string) = nullptr;  // stores a text key's value
  std::string_view default_text;
  std::size_t buffer = 0;
  void (*integer)(Target&, std::int32_t) = nullptr;  // stores an integer key's value
  std::int32_t default_integer = 0;
  std::string_view field;
};

// A text key read into the std::string member `member`.
template <auto member, class Target = typename member_class<decltype(member)>::type>
constexpr Setting<Target> text_setting(const TextKey& key, std::string_view field = {}) {
  return {key.name,
          &store_member<member, Target, std::string>,
          key.default_value,
          key.buffer,
          nullptr,
          0,
          field};
}

// An integer key read into the std::int32_t member `member`.
template <auto member, class Target = typename member_class<decltype(member)>::type>
constexpr Setting<Target> integer_setting(std::string_view name, std::int32_t default_value,
                                          std::string_view field = {}) {
  return {name, nullptr, {}, 0, &store_member<member, Target, std::int32_t>, default_value, field};
}

// Reads every setting from `section` of `ini` (any reader with the profile
// functions' read_string and read_int) in declaration order; each missing
// key takes its default.
template <class Target, class Reader>
Target read_settings(const Reader& ini, std::string_view section,
                     std::span<const Setting<Target>> settings) {
  Target target{};
  for (const Setting<Target>& s : settings) {
    if (s.text != nullptr) {
      s.text(target, ini.read_string(section, s.name, s.default_text, s.buffer));
    } else {
      s.integer(target, ini.read_int(section, s.name, s.default_integer));
    }
  }
  return target;
}

// The key with which both programs name their multicast group in section
// "MCast", with its default.
inline constexpr TextKey kGroupKey{"IP", "235.5.6.7", 20};

}  // namespace portable
