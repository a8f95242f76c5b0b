// The Multipacket Store: the parts of multi-packet messages, grouped by their
// Timestamp, held until a group is complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "feedwatch/arrival.h"

namespace feedwatch {

// The most parts the store holds at once.  A message has at most 255 parts,
// so a whole message always fits; parts that never complete their groups
// cannot grow memory past this many datagrams (at most 32 MiB).
inline constexpr std::size_t kStoreCapacity = 512;

// Stored parts, in groups keyed by Timestamp alone, each group in arrival order.
class MultipacketStore {
 public:
  // One stored part: the datagram's bytes (the rest of its buffer reads as
  // zero) and its arrival.
  struct Part {
    std::vector<std::uint8_t> bytes;
    Arrival arrival;
  };

  // What adding a part came to.  The part is always stored; the store may
  // have dropped the oldest other group first to make room, and the part may
  // have completed its group, which then leaves the store.
  struct Added {
    std::size_t dropped = 0;              // parts of the dropped group; 0 when none was
    std::uint32_t dropped_timestamp = 0;  // that group's Timestamp
    std::vector<Part> complete;           // the completed group in arrival order, else empty
  };

  explicit MultipacketStore(std::size_t capacity = kStoreCapacity);

  // Stores a copy of `datagram`, which arrived as `arrival` says, behind the
  // parts already under `timestamp`.  The group is complete once it holds
  // `packet_count` parts or more.
  Added add(std::uint32_t timestamp, std::size_t packet_count,
            std::span<const std::uint8_t> datagram, const Arrival& arrival);

  // The number of parts held.
  std::size_t size() const { return parts_; }

  // The number of incomplete groups held.
  std::size_t groups() const { return groups_.size(); }

 private:
  struct Group {
    std::uint32_t timestamp;
    std::vector<Part> parts;
  };

  void drop_oldest_group_except(std::uint32_t timestamp, Added& added);

  std::size_t capacity_;
  std::size_t parts_ = 0;
  std::vector<Group> groups_;  // in the order of their first part's arrival
};

}  // namespace feedwatch
