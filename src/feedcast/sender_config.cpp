#include "feedcast/sender_config.h"

#include "feedcast/config_keys.h"

namespace feedcast {
namespace {

constexpr const char* kSection = "MCast";

consteval std::string_view key(std::string_view name) { return listed_key(kMCastKeys, name); }

}  // namespace

SenderConfig read_sender_config(const platform::ProfileFile& ini) {
  SenderConfig c;
  c.source = ini.read_string(kSection, key("Source"), "111", 20);
  c.group = ini.read_string(kSection, key("IP"), packet::kDefaultGroup, 20);
  c.message_type = ini.read_int(kSection, key("MessageType"), 1);
  c.stat_scheme = ini.read_int(kSection, key("StatScheme"), 0);
  c.server_name = ini.read_string(kSection, key("ServerName"), "", 100);
  c.update_rate = ini.read_int(kSection, key("UpdateRate"), 0);
  c.ttl = ini.read_int(kSection, key("TTL"), 0);
  c.pause_between_multi_packet = ini.read_int(kSection, key("PauseBetweenMultiPacket"), 0);
  c.release_number = ini.read_int(kSection, key("ReleaseNumber"), 6);
  c.minor_version = ini.read_int(kSection, key("MinorVersion"), 0);
  c.build_number = ini.read_int(kSection, key("BuildNumber"), 6);
  c.max_records_per_packet = ini.read_int(kSection, key("MaxRecordsPerPacket"), 0);
  c.simulate = ini.read_int(kSection, key("Simulate"), 0);
  c.simulate_seed = ini.read_int(kSection, key("SimulateSeed"), 0);
  return c;
}

const packet::Kind* check_kind_and_scheme(const SenderConfig& config, std::string& message) {
  const packet::Kind* kind = packet::find_kind(config.message_type);
  if (kind == nullptr) {
    message = "Incorrect Msg Type and Stat Scheme selected";
    return nullptr;
  }
  if (!packet::is_stat_scheme(config.stat_scheme)) {
    message = kind->scheme_message;
    return nullptr;
  }
  return kind;
}

std::u16string server_name_in_header_form(const std::string& server_name) {
  std::u16string units;
  for (char c : server_name) units.push_back(static_cast<unsigned char>(c));
  return units;
}

}  // namespace feedcast
