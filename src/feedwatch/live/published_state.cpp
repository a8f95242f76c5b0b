#include "feedwatch/live/published_state.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <utility>

#include "feedwatch/live/metrics_text.h"

namespace feedwatch {
namespace {

using Json = nlohmann::ordered_json;
using std::chrono::steady_clock;

// The span over which the rates are taken.
constexpr auto kRateSpan = std::chrono::seconds(10);

double seconds(steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

PublishedState::PublishedState(LiveInfo info)
    : info_(std::move(info)),
      readings_{{info_.start, 0, 0}},
      room_(std::make_unique_for_overwrite<PacketBuffer>()) {}

PublishedState::~PublishedState() = default;

std::shared_ptr<const std::string> PublishedState::packet_json(const HandedOver& item) {
  const PacketCopy& copy = *item.copy;
  std::copy(copy.bytes.begin(), copy.bytes.end(), room_->begin());
  std::fill(room_->begin() + static_cast<std::ptrdiff_t>(copy.bytes.size()), room_->end(),
            std::uint8_t{0});
  return std::make_shared<const std::string>(feedwatch::packet_json(
      *room_, copy.arrival, item.part ? &*item.part : nullptr, copy.expansion, copy.area_bytes));
}

void PublishedState::take_in(Taken taken, steady_clock::time_point now) {
  skipped_ = taken.skipped;
  for (HandedOver& item : taken.items) {
    if (item.type == HandedOver::Type::kPacket) {
      if (item.copy) item.json = packet_json(item);
      tables_.add_packet(item);
      events_.add({kPacketEvent, std::move(item.json)});
      continue;
    }
    tables_.set_summary(*item.json);
    summary_ = item.json;
    events_.add({kSummaryEvent, std::move(item.json)});
    if (taken.counters) {
      counters_ = std::move(*taken.counters);
      taken.counters.reset();
      readings_.push_back({now, counters_.datagrams, counters_.displayed});
      while (readings_.size() > 2 && now - readings_[1].at >= kRateSpan) readings_.pop_front();
    }
    events_.add({kStatusEvent, std::make_shared<const std::string>(status_json(now))});
  }
}

std::string PublishedState::status_json(steady_clock::time_point now) const {
  const Reading& first = readings_.front();
  const Reading& last = readings_.back();
  const double span = seconds(last.at - first.at);
  const auto rate = [span](std::uint64_t from, std::uint64_t to) {
    return span > 0 ? Json(static_cast<double>(to - from) / span) : Json(nullptr);
  };
  const double time =
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  const Json status = {{"type", "status"},
                       {"schema", 1},
                       {"version", info_.version},
                       {"group", info_.group},
                       {"ports", info_.ports},
                       {"uptime", seconds(now - info_.start)},
                       {"time", time},
                       {"datagrams_per_second", rate(first.datagrams, last.datagrams)},
                       {"packets_per_second", rate(first.displayed, last.displayed)},
                       {"skipped_messages", skipped_}};
  return status.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string PublishedState::streams_json(steady_clock::time_point now) const {
  std::string out = "{\"type\":\"streams\",\"schema\":1,\"status\":";
  out += status_json(now);
  out += ",\"summary\":";
  out += summary_ ? *summary_ : "null";
  out += ",\"streams\":";
  tables_.append_json(out);
  out += '}';
  return out;
}

std::string PublishedState::metrics() const {
  return metrics_text(counters_, skipped_, info_.version);
}

}  // namespace feedwatch
