// Lua syntax for a tree of plain values: the form in which the dissector
// holds the wire tables.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace dissector {

// Returns "local <name> = <value>\n" with `value` as a Lua table
// constructor: an object as a table of named fields, an array as a
// sequence.  A table of plain values stands on one line; a table that holds
// tables has one member per line, indented by two spaces a level.
std::string lua_local(std::string_view name, const nlohmann::ordered_json& value);

}  // namespace dissector
