// Pieces of JSON text, appended to a string as they are written: the
// monitor writes each JSON line straight into one buffer.
#pragma once

#include <charconv>
#include <string>
#include <string_view>

namespace feedwatch {

// Appends "key": with the key as it stands (the monitor's keys, and the
// layout tables' field names, need no escape).
inline void append_json_key(std::string& out, std::string_view key) {
  out += '"';
  out += key;
  out += "\":";
}

// Appends an integer in decimal.
template <class Integer>
void append_json_number(std::string& out, Integer value) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// Appends a floating-point number as the JSON library writes it.
void append_json_double(std::string& out, double value);

// Appends `text` (UTF-8) as a JSON string, escaped as JSON requires; bytes
// that are no UTF-8 become U+FFFD.
void append_json_string(std::string& out, std::string_view text);

}  // namespace feedwatch
