#include "feedcast/config_outage.h"

namespace feedcast {

std::string unreadable_file_message(const platform::ProfileFile& ini) {
  return "cannot read configuration file " + ini.path() + ": " + ini.read_error();
}

void OutageReport::update(const platform::ProfileFile& ini) {
  if (ini.readable() == readable_) return;
  readable_ = ini.readable();
  if (readable_) {
    std::fprintf(stream_, "Configuration file %s readable again\n", ini.path().c_str());
  } else {
    std::fprintf(stream_, "Warning: %s; sending the last table read\n",
                 unreadable_file_message(ini).c_str());
  }
  std::fflush(stream_);
}

}  // namespace feedcast
