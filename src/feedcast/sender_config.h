// The generator's configuration: section "MCast" of feedcast.ini, read once at
// start, and the checks of the configured kind and scheme.
#pragma once

#include <cstdint>
#include <string>

#include "packet/catalogue.h"
#include "platform/profile.h"

namespace feedcast {

// The name of the generator's configuration file in the current directory.
inline constexpr const char* kConfigFileName = "feedcast.ini";

// The "MCast" settings, as read.
struct SenderConfig {
  std::string source;  // local address; its length selects the binding
  std::string group;   // destination multicast group, dotted
  std::int32_t message_type = 1;
  std::int32_t stat_scheme = 0;
  std::string server_name;  // at most 99 characters
  std::int32_t update_rate = 0;
  std::int32_t ttl = 0;
  std::int32_t pause_between_multi_packet = 0;  // milliseconds between two parts
  std::int32_t release_number = 6;
  std::int32_t minor_version = 0;
  std::int32_t build_number = 6;
  // The most records one packet carries; below 1, every table is one packet.
  std::int32_t max_records_per_packet = 0;
  std::int32_t simulate = 0;       // 1: record values may move (simulation.h)
  std::int32_t simulate_seed = 0;  // of the moving values; 0 takes one from the clock
};

// Reads section "MCast" in the order of its keys, with their defaults.
SenderConfig read_sender_config(const platform::ProfileFile& ini);

// Returns the configured kind, or nullptr with `message` set to the refusal:
// a MessageType outside 1 to 6 first, then a StatScheme other than 0 or 1.
const packet::Kind* check_kind_and_scheme(const SenderConfig& config, std::string& message);

// The server name in header form: one UTF-16 unit per byte of the configured
// text, with that byte's value, whatever the process locale.
std::u16string server_name_in_header_form(const std::string& server_name);

// The multicast time-to-live: the configured TTL when it is 1 or more, else 64.
inline int effective_ttl(const SenderConfig& config) { return config.ttl >= 1 ? config.ttl : 64; }

// The pause after each message, in milliseconds, as an unsigned 32-bit count.
inline std::uint32_t pause_after_message(const SenderConfig& config) {
  return static_cast<std::uint32_t>(config.update_rate) * 1000u;
}

// The pause between two parts of a message, in milliseconds: 0 (a yield)
// for a value below 1.
inline std::uint32_t pause_between_parts(const SenderConfig& config) {
  return config.pause_between_multi_packet > 0
             ? static_cast<std::uint32_t>(config.pause_between_multi_packet)
             : 0;
}

}  // namespace feedcast
