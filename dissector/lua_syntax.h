// Lua syntax for a tree of plain values: the form in which the dissector
// holds the wire tables.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace dissector {

// Returns "local <name> = <value>\n" with `value` as a Lua table
// constructor: an object as a table of named fields (its keys must be Lua
// names), an array as a sequence; strings, numbers and booleans as Lua
// writes them.  A table of plain values stands on one line, or on as few
// lines of at most 100 columns as it fits; a table that holds tables has
// one member per line, indented by two spaces a level.
std::string lua_local(std::string_view name, const nlohmann::ordered_json& value);

}  // namespace dissector
