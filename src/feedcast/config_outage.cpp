#include "feedcast/config_outage.h"

namespace feedcast {

std::string unreadable_file_message(const platform::ProfileFile& ini) {
  return "cannot read configuration file " + ini.path() + ": " + ini.read_error();
}

std::string OutageReport::update(const platform::ProfileFile& ini) {
  if (ini.readable() == readable_) return {};
  readable_ = ini.readable();
  if (readable_) return "Configuration file " + ini.path() + " readable again\n";
  return "Warning: " + unreadable_file_message(ini) + "; sending the last table read\n";
}

}  // namespace feedcast
