#include "feedwatch/multipacket_store.h"

#include <algorithm>

namespace feedwatch {

MultipacketStore::MultipacketStore(std::size_t capacity) : capacity_(capacity) {}

std::size_t MultipacketStore::add(std::uint32_t timestamp, std::span<const std::uint8_t> datagram,
                                  Console& console) {
  if (parts_ >= capacity_) drop_oldest_group_except(timestamp, console);
  auto group = std::find_if(groups_.begin(), groups_.end(),
                            [&](const Group& g) { return g.timestamp == timestamp; });
  if (group == groups_.end()) group = groups_.insert(groups_.end(), Group{timestamp, {}});
  group->parts.emplace_back(datagram.begin(), datagram.end());
  ++parts_;
  return group->parts.size();
}

std::vector<MultipacketStore::Part> MultipacketStore::take(std::uint32_t timestamp) {
  const auto group = std::find_if(groups_.begin(), groups_.end(),
                                  [&](const Group& g) { return g.timestamp == timestamp; });
  if (group == groups_.end()) return {};
  std::vector<Part> parts = std::move(group->parts);
  groups_.erase(group);
  parts_ -= parts.size();
  return parts;
}

void MultipacketStore::drop_oldest_group_except(std::uint32_t timestamp, Console& console) {
  const auto oldest = std::find_if(groups_.begin(), groups_.end(),
                                   [&](const Group& g) { return g.timestamp != timestamp; });
  if (oldest == groups_.end()) return;
  console.print("Multipacket store full - dropping %u stored packet(s) of time %lu\n",
                static_cast<std::uint32_t>(oldest->parts.size()), oldest->timestamp);
  parts_ -= oldest->parts.size();
  groups_.erase(oldest);
}

}  // namespace feedwatch
