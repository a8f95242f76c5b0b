#include "feedcast/sender_config.h"

namespace feedcast {

portable::Result<const packet::Kind*> check_kind_and_scheme(const SenderConfig& config) {
  const packet::Kind* kind = packet::find_kind(config.message_type);
  if (kind == nullptr) return portable::Failure{"Incorrect Msg Type and Stat Scheme selected"};
  if (!packet::is_stat_scheme(config.stat_scheme)) {
    return portable::Failure{std::string(kind->scheme_message)};
  }
  return kind;
}

std::u16string server_name_in_header_form(const std::string& server_name) {
  std::u16string units;
  for (char c : server_name) units.push_back(static_cast<unsigned char>(c));
  return units;
}

}  // namespace feedcast
