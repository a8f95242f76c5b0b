#include "feedwatch/multipacket_store.h"

#include <algorithm>

namespace feedwatch {

MultipacketStore::MultipacketStore(std::size_t capacity) : capacity_(capacity) {}

MultipacketStore::Added MultipacketStore::add(std::uint32_t timestamp, std::size_t packet_count,
                                              std::span<const std::uint8_t> datagram,
                                              const Arrival& arrival) {
  Added added;
  if (parts_ >= capacity_) drop_oldest_group_except(timestamp, added);
  auto group = std::find_if(groups_.begin(), groups_.end(),
                            [&](const Group& g) { return g.timestamp == timestamp; });
  if (group == groups_.end()) group = groups_.insert(groups_.end(), Group{timestamp, {}});
  group->parts.push_back({{datagram.begin(), datagram.end()}, arrival});
  ++parts_;
  if (group->parts.size() >= packet_count) {
    added.complete = std::move(group->parts);
    parts_ -= added.complete.size();
    groups_.erase(group);
  }
  return added;
}

void MultipacketStore::drop_oldest_group_except(std::uint32_t timestamp, Added& added) {
  const auto oldest = std::find_if(groups_.begin(), groups_.end(),
                                   [&](const Group& g) { return g.timestamp != timestamp; });
  if (oldest == groups_.end()) return;
  added.dropped = oldest->parts.size();
  added.dropped_timestamp = oldest->timestamp;
  parts_ -= oldest->parts.size();
  groups_.erase(oldest);
}

}  // namespace feedwatch
