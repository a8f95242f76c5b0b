#include "feedwatch/live/event_ring.h"

#include <utility>

namespace feedwatch {

void EventRing::add(Event event) {
  bytes_ += event.data->size();
  events_.push_back(std::move(event));
  while (events_.size() > 1 && (events_.size() > kMaxKeptEvents || bytes_ > kMaxKeptEventBytes)) {
    bytes_ -= events_.front().data->size();
    events_.pop_front();
    ++first_;
  }
}

}  // namespace feedwatch
