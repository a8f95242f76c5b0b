#include "feedwatch/live/inbox.h"

#include <utility>

namespace feedwatch {

bool Inbox::put(HandedOver item, std::optional<MetricsSnapshot> counters) {
  const std::lock_guard lock(mutex_);
  waiting_.bytes += item.json->size();
  waiting_.items.push_back(std::move(item));
  while (waiting_.items.size() > kMaxKeptEvents || waiting_.bytes > kMaxKeptEventBytes) {
    waiting_.bytes -= waiting_.items.front().json->size();
    waiting_.items.pop_front();
  }
  if (counters) waiting_.counters = std::move(counters);
  return std::exchange(asleep_, false);
}

Taken Inbox::take() {
  const std::lock_guard lock(mutex_);
  asleep_ = true;
  return std::exchange(waiting_, Taken{});
}

}  // namespace feedwatch
