// Joining IPv4 fragments within bounds.
#include "capture/fragment_reassembly.h"

#include <algorithm>
#include <cstring>

namespace capture {

namespace {

// What a set costs besides its bytes and ranges: its map entries and vectors.
constexpr std::size_t kSetOverhead = 256;

}  // namespace

std::optional<std::span<const std::uint8_t>> FragmentReassembly::add(
    const ipv4::Header& header, std::span<const std::uint8_t> payload, std::int64_t time_ns) {
  ++counts_.fragments;
  newest_ns_ = std::max(newest_ns_, time_ns);
  expire();
  const bool last = !header.more_fragments;
  const std::uint64_t end = std::uint64_t{header.fragment_offset} + payload.size();
  if ((payload.empty() && !last) || (!last && payload.size() % 8 != 0) ||
      end + header.header_length > ipv4::kMaxPacketSize) {
    ++counts_.invalid;
    return std::nullopt;
  }
  const Key key{header.source, header.destination, header.identification, header.protocol};
  auto [it, fresh] = sets_.try_emplace(key);
  if (fresh) {
    it->second.first_time_ns = time_ns;
    it->second.arrival = arrivals_++;
    by_arrival_.emplace(it->second.arrival, key);
  }
  if (!place(it->second, last, header.fragment_offset, payload)) {
    ++counts_.inconsistent;
    drop(it);
    return std::nullopt;
  }
  if (!charge(it)) return std::nullopt;
  const Set& set = it->second;
  if (!set.total_known || set.covered.size() != 1 || set.covered[0].first != 0 ||
      set.covered[0].second != set.total) {
    return std::nullopt;
  }
  whole_.swap(it->second.bytes);
  whole_.resize(set.total);
  drop(it);
  ++counts_.datagrams;
  return std::span<const std::uint8_t>(whole_);
}

bool FragmentReassembly::place(Set& set, bool last, std::uint32_t offset,
                               std::span<const std::uint8_t> payload) {
  const auto end = static_cast<std::uint32_t>(offset + payload.size());
  if (last) {
    if (set.total_known && set.total != end) return false;
    if (!set.covered.empty() && set.covered.back().second > end) return false;
    set.total = end;
    set.total_known = true;
  } else if (set.total_known && end > set.total) {
    return false;
  }
  // Bytes already held must agree with the new ones where they meet.
  for (const auto& [begin, stop] : set.covered) {
    const std::uint32_t from = std::max(begin, offset), to = std::min(stop, end);
    if (from < to && std::memcmp(&set.bytes[from], &payload[from - offset], to - from) != 0) {
      return false;
    }
  }
  if (set.bytes.size() < end) {
    // Room for the whole datagram at most, in steps that double.
    const std::size_t room = std::max<std::size_t>(end, 2 * set.bytes.capacity());
    set.bytes.reserve(std::min<std::size_t>(room, ipv4::kMaxPacketSize));
    set.bytes.resize(end);
  }
  if (!payload.empty()) std::memcpy(&set.bytes[offset], payload.data(), payload.size());
  // Merge the new range with those it meets or touches.
  auto& ranges = set.covered;
  auto first = std::lower_bound(ranges.begin(), ranges.end(), offset,
                                [](const auto& r, std::uint32_t at) { return r.second < at; });
  auto past = first;
  std::uint32_t begin = offset, stop = end;
  for (; past != ranges.end() && past->first <= end; ++past) {
    begin = std::min(begin, past->first);
    stop = std::max(stop, past->second);
  }
  first = ranges.erase(first, past);
  ranges.insert(first, {begin, stop});
  return true;
}

bool FragmentReassembly::charge(Sets::iterator it) {
  Set& set = it->second;
  held_bytes_ -= set.charged;
  set.charged =
      kSetOverhead + set.bytes.capacity() + set.covered.capacity() * sizeof set.covered[0];
  held_bytes_ += set.charged;
  while (held_bytes_ > limits_.max_held_bytes) {
    const Key oldest = by_arrival_.begin()->second;
    const bool itself = oldest == it->first;
    ++counts_.evicted;
    drop(itself ? it : sets_.find(oldest));
    if (itself) return false;
  }
  return true;
}

void FragmentReassembly::expire() {
  std::int64_t oldest_kept = 0;
  if (__builtin_sub_overflow(newest_ns_, limits_.max_age_ns, &oldest_kept)) return;
  while (!by_arrival_.empty()) {
    const auto oldest = sets_.find(by_arrival_.begin()->second);
    if (oldest->second.first_time_ns >= oldest_kept) return;
    ++counts_.expired;
    drop(oldest);
  }
}

void FragmentReassembly::drop(Sets::iterator it) {
  held_bytes_ -= it->second.charged;
  by_arrival_.erase(it->second.arrival);
  sets_.erase(it);
}

}  // namespace capture
