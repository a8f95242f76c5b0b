// The generator's configuration: section "MCast" of feedcast.ini, read once at
// start, and the checks of the configured kind and scheme.
#pragma once

#include <cstdint>
#include <string>

#include "packet/catalogue.h"
#include "platform/profile.h"
#include "portable/result.h"
#include "portable/settings.h"

namespace feedcast {

// The name of the generator's configuration file in the current directory.
inline constexpr const char* kConfigFileName = "feedcast.ini";

// The section of the settings read once at start.
inline constexpr std::string_view kMCastSection = "MCast";

// The "MCast" settings, as read.
struct SenderConfig {
  std::string source;  // local address; its length selects the binding
  std::string group;   // destination multicast group, dotted
  std::int32_t message_type;
  std::int32_t stat_scheme;
  std::string server_name;  // at most 99 characters
  std::int32_t update_rate;
  std::int32_t ttl;
  std::int32_t pause_between_multi_packet;  // milliseconds between two parts
  std::int32_t release_number;
  std::int32_t minor_version;
  std::int32_t build_number;
  // The most records one packet carries; below 1, every table is one packet.
  std::int32_t max_records_per_packet;
  std::int32_t simulate;       // 1: record values may move (simulation.h)
  std::int32_t simulate_seed;  // of the moving values; 0 takes one from the clock
};

// The keys of section "MCast" in the order they are read, with their defaults.
inline constexpr portable::Setting<SenderConfig> kMCastSettings[] = {
    portable::text_setting<&SenderConfig::source>({"Source", "111", 20}),
    portable::text_setting<&SenderConfig::group>(portable::kGroupKey),
    portable::integer_setting<&SenderConfig::message_type>("MessageType", 1),
    portable::integer_setting<&SenderConfig::stat_scheme>("StatScheme", 0),
    portable::text_setting<&SenderConfig::server_name>({"ServerName", "", 100}, "ServerName"),
    portable::integer_setting<&SenderConfig::update_rate>("UpdateRate", 0),
    portable::integer_setting<&SenderConfig::ttl>("TTL", 0),
    portable::integer_setting<&SenderConfig::pause_between_multi_packet>("PauseBetweenMultiPacket",
                                                                         0),
    portable::integer_setting<&SenderConfig::release_number>("ReleaseNumber", 6, "ReleaseNumber"),
    portable::integer_setting<&SenderConfig::minor_version>("MinorVersion", 0, "MinorVersion"),
    portable::integer_setting<&SenderConfig::build_number>("BuildNumber", 6, "BuildNumber"),
    portable::integer_setting<&SenderConfig::max_records_per_packet>("MaxRecordsPerPacket", 0),
    portable::integer_setting<&SenderConfig::simulate>("Simulate", 0),
    portable::integer_setting<&SenderConfig::simulate_seed>("SimulateSeed", 0),
};

// Reads section "MCast" in the order of its keys, with their defaults, from
// a ProfileFile or a portable::ProfileText.
template <class Reader>
SenderConfig read_sender_config(const Reader& ini) {
  return portable::read_settings<SenderConfig>(ini, kMCastSection, kMCastSettings);
}

// Returns the configured kind, or the refusal: a MessageType outside 1 to 6
// first, then a StatScheme other than 0 or 1.
portable::Result<const packet::Kind*> check_kind_and_scheme(const SenderConfig& config);

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
