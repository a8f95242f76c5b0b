#include "feedwatch/live/inbox.h"

#include <algorithm>
#include <utility>

namespace feedwatch {
namespace {

std::size_t bytes_of(const HandedOver& item) {
  return (item.json ? item.json->size() : 0) + (item.copy ? item.copy->bytes.size() : 0);
}

}  // namespace

bool Inbox::admit(const StreamId& stream, SteadyClock::time_point at) {
  const std::lock_guard lock(mutex_);
  std::erase_if(recent_, [at](const auto& r) { return at - r.second >= kMessageSpacing; });
  const auto is = [&stream](const StreamId& s) { return s == stream; };
  if (waiting_streams_.size() >= kMaxWaitingMessages || waiting_bytes_ > kMaxWaitingBytes ||
      std::any_of(waiting_streams_.begin(), waiting_streams_.end(), is) ||
      std::any_of(recent_.begin(), recent_.end(), [&](const auto& r) { return is(r.first); })) {
    ++waiting_.skipped;
    return false;
  }
  waiting_streams_.push_back(stream);
  recent_.emplace_back(stream, at);
  return true;
}

bool Inbox::put(HandedOver item, std::optional<MetricsSnapshot> counters) {
  const std::lock_guard lock(mutex_);
  waiting_bytes_ += bytes_of(item);
  waiting_.items.push_back(std::move(item));
  if (counters) waiting_.counters = std::move(counters);
  return std::exchange(asleep_, false);
}

Taken Inbox::take() {
  const std::lock_guard lock(mutex_);
  asleep_ = true;
  waiting_bytes_ = 0;
  waiting_streams_.clear();
  Taken taken = std::exchange(waiting_, Taken{});
  waiting_.skipped = taken.skipped;
  return taken;
}

}  // namespace feedwatch
