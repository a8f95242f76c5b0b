// IPv4 fragment reassembly: the fragments of a datagram, arriving in any
// order, joined into its whole payload, with bounds on the memory and the
// time that incomplete datagrams may hold.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "capture/network_headers.h"

namespace capture {

// The bounds on incomplete datagrams.
struct ReassemblyLimits {
  // Memory held by all incomplete datagrams together; when a fragment
  // would exceed it, the first to arrive are dropped until it fits.
  std::size_t max_held_bytes = std::size_t{4} << 20;
  // Capture time after which a datagram still incomplete is dropped,
  // counted from its first fragment to the latest fragment seen.  Datagrams
  // go in the order they began, so with capture times out of order one may
  // wait for an older one to go first.
  std::int64_t max_age_ns = std::int64_t{30} * 1'000'000'000;
};

// What reassembly has done so far.
struct ReassemblyCounts {
  std::uint64_t fragments = 0;     // fragments taken in
  std::uint64_t datagrams = 0;     // datagrams completed
  std::uint64_t expired = 0;       // incomplete datagrams dropped for their age
  std::uint64_t evicted = 0;       // incomplete datagrams dropped for memory
  std::uint64_t inconsistent = 0;  // dropped: overlaps that differ, or lengths that contradict
  std::uint64_t invalid = 0;       // fragments refused alone: empty, past 65,535 bytes, or
                                   // not a multiple of 8 bytes long before the last one
};

// Joins the fragments of IPv4 datagrams.  Fragments belong together when
// they agree on source, destination, protocol and identification.  They may
// arrive in any order and overlap; bytes that overlap must agree (a copy of
// a fragment is harmless), or the datagram is dropped, so that no datagram
// is ever made of two different versions of its bytes.
class FragmentReassembly {
 public:
  explicit FragmentReassembly(ReassemblyLimits limits = {}) : limits_(limits) {}

  // Takes one fragment: its IPv4 header, the bytes behind that header and
  // its capture time.  Returns the payload of the whole datagram (what
  // follows its IPv4 header) when this fragment completes it, as a view
  // valid until the next call; nothing otherwise.
  std::optional<std::span<const std::uint8_t>> add(const ipv4::Header& header,
                                                   std::span<const std::uint8_t> payload,
                                                   std::int64_t time_ns);

  const ReassemblyCounts& counts() const { return counts_; }
  // Memory held by incomplete datagrams, as counted against the limit.
  std::size_t held_bytes() const { return held_bytes_; }
  // Incomplete datagrams held.
  std::size_t pending() const { return sets_.size(); }

 private:
  struct Key {
    std::uint32_t source;
    std::uint32_t destination;
    std::uint16_t identification;
    std::uint8_t protocol;
    auto operator<=>(const Key&) const = default;
  };
  // An incomplete datagram.
  struct Set {
    std::vector<std::uint8_t> bytes;                               // at their offsets
    std::vector<std::pair<std::uint32_t, std::uint32_t>> covered;  // sorted, apart
    std::uint32_t total = 0;  // the payload's length, once the last fragment is in
    bool total_known = false;
    std::int64_t first_time_ns = 0;
    std::uint64_t arrival = 0;  // the set's place in the order of arrival
    std::size_t charged = 0;
  };
  using Sets = std::map<Key, Set>;

  // Drops incomplete datagrams older than the limit allows.
  void expire();
  // Places a fragment's bytes in its set; false when they contradict it.
  static bool place(Set& set, bool last, std::uint32_t offset,
                    std::span<const std::uint8_t> payload);
  // Counts a set's memory again and keeps the total within the limit;
  // false when the set itself had to go.
  bool charge(Sets::iterator it);
  void drop(Sets::iterator it);

  ReassemblyLimits limits_;
  ReassemblyCounts counts_;
  Sets sets_;
  std::map<std::uint64_t, Key> by_arrival_;
  std::size_t held_bytes_ = 0;
  std::int64_t newest_ns_ = INT64_MIN;
  std::uint64_t arrivals_ = 0;
  std::vector<std::uint8_t> whole_;
};

}  // namespace capture
