#include "lua_syntax.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace dissector {
namespace {

using nlohmann::ordered_json;

// The widest line the writer makes, where members allow.
constexpr std::size_t kColumns = 100;

// A Lua string literal: quotes and backslashes escaped, control characters
// as decimal escapes.
std::string lua_string(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\%03u", unsigned{byte});
      out += escape;
      continue;
    }
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

bool holds_tables(const ordered_json& table) {
  return std::any_of(table.begin(), table.end(),
                     [](const ordered_json& member) { return member.is_structured(); });
}

void append(std::string& out, const ordered_json& value, const std::string& indent);

// A table of plain values: on one line when it fits, else its members packed
// onto lines of at most kColumns, each further line indented by two more.
void append_flat(std::string& out, const ordered_json& table, const std::string& indent) {
  std::vector<std::string> members;
  for (const auto& [name, member] : table.items()) {
    std::string text = table.is_object() ? name + " = " : "";
    append(text, member, indent);
    members.push_back(std::move(text));
  }
  if (members.empty()) {
    out += "{ }";
    return;
  }
  const std::size_t line_start = out.rfind('\n') + 1;  // npos + 1 is 0
  std::size_t column = out.size() - line_start + 2;
  out += "{ ";
  for (std::size_t i = 0; i < members.size(); ++i) {
    const bool last = i + 1 == members.size();
    const std::size_t width = members[i].size() + (last ? 3 : 1);  // " }," or ","
    if (i > 0 && column + 1 + width > kColumns) {
      out += "\n" + indent + "  ";
      column = indent.size() + 2;
    } else if (i > 0) {
      out += ' ';
      ++column;
    }
    out += members[i] + (last ? " }" : ",");
    column += width;
  }
}

void append(std::string& out, const ordered_json& value, const std::string& indent) {
  if (value.is_string()) {
    out += lua_string(value.get_ref<const std::string&>());
  } else if (!value.is_structured()) {
    out += value.dump();  // numbers and booleans are written alike
  } else if (!holds_tables(value)) {
    append_flat(out, value, indent);
  } else {
    const std::string inner = indent + "  ";
    out += "{\n";
    for (const auto& [name, member] : value.items()) {
      out += inner + (value.is_object() ? name + " = " : "");
      append(out, member, inner);
      out += ",\n";
    }
    out += indent + "}";
  }
}

}  // namespace

std::string lua_local(std::string_view name, const ordered_json& value) {
  std::string out = "local " + std::string(name) + " = ";
  append(out, value, "");
  return out + "\n";
}

}  // namespace dissector
