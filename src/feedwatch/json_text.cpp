#include "feedwatch/json_text.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace feedwatch {

void append_json_double(std::string& out, double value) { out += nlohmann::json(value).dump(); }

void append_json_string(std::string& out, std::string_view text) {
  // Printable ASCII other than quotes and backslashes needs no escape and
  // stands as it is; any other text goes through the JSON library.
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    return c >= ' ' && c <= '~' && c != '"' && c != '\\';
  });
  if (!plain) {
    out += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return;
  }
  out += '"';
  out += text;
  out += '"';
}

}  // namespace feedwatch
