// Test helper: the text display rebuilt from a packet's JSON object alone,
// through the layout tables, so that a JSON line can be compared with what
// the text display printed for the same datagram.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace test_support {

// The text display of one packet object of the JSON display: for a single
// packet its identification lines, "Print single packet:" and PrintPacket's
// lines; for a part of a message "Print packet N:" and PrintPacket's lines.
std::string text_from_json(const nlohmann::ordered_json& packet);

// The text display with the lines printed when a part is stored (its
// identification and storing lines) taken out: what text_from_json() rebuilds.
std::string without_storing_lines(const std::string& text);

}  // namespace test_support
