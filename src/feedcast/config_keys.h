// The keys of feedcast.ini that the generator reads, besides the record keys
// that the record layouts give: one list per section.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace feedcast {

// The keys of section "MCast".
inline constexpr std::array<std::string_view, 14> kMCastKeys = {
    "Source",        "IP",           "MessageType", "StatScheme",
    "ServerName",    "UpdateRate",   "TTL",         "PauseBetweenMultiPacket",
    "ReleaseNumber", "MinorVersion", "BuildNumber", "MaxRecordsPerPacket",
    "Simulate",      "SimulateSeed"};

// The keys of a kind's section besides its record keys.
inline constexpr std::array<std::string_view, 2> kTableKeys = {"Number", "Encode"};

// The keys of section "Faults".
inline constexpr std::array<std::string_view, 6> kFaultKeys = {
    "DropPercent", "DuplicatePercent", "TruncatePercent", "CorruptPercent", "ReorderParts", "Seed"};

// `name`, checked at compile time against a list of keys: a key that is not
// in the list does not compile, so the lists name every key that is read.
template <std::size_t N>
consteval std::string_view listed_key(const std::array<std::string_view, N>& keys,
                                      std::string_view name) {
  for (std::string_view key : keys) {
    if (key == name) return key;
  }
  throw "a key missing from its list";
}

}  // namespace feedcast
