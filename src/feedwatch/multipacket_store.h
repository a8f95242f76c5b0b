// The Multipacket Store: the parts of multi-packet messages, grouped by their
// Timestamp, held until a group is complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "feedwatch/console_output.h"

namespace feedwatch {

// The most parts the store holds at once.  A message has at most 255 parts,
// so a whole message always fits; parts that never complete their groups
// cannot grow memory past this many datagrams (at most 32 MiB).
inline constexpr std::size_t kStoreCapacity = 512;

// Stored parts, in groups keyed by Timestamp alone, each group in arrival order.
class MultipacketStore {
 public:
  // One stored part: the datagram's bytes (the rest of its buffer reads as zero).
  using Part = std::vector<std::uint8_t>;

  explicit MultipacketStore(std::size_t capacity = kStoreCapacity);

  // Stores a copy of `datagram` behind the parts already under `timestamp`
  // and returns how many parts that group now holds.  When the store is full,
  // the oldest other group is dropped first, with a line saying so.
  std::size_t add(std::uint32_t timestamp, std::span<const std::uint8_t> datagram,
                  Console& console);

  // Removes the group under `timestamp` and returns its parts in arrival order.
  std::vector<Part> take(std::uint32_t timestamp);

  // The number of parts held.
  std::size_t size() const { return parts_; }

 private:
  struct Group {
    std::uint32_t timestamp;
    std::vector<Part> parts;
  };

  void drop_oldest_group_except(std::uint32_t timestamp, Console& console);

  std::size_t capacity_;
  std::size_t parts_ = 0;
  std::vector<Group> groups_;  // in the order of their first part's arrival
};

}  // namespace feedwatch
