#include "feedcast/faults.h"

#include <algorithm>
#include <utility>

#include "packet/header.h"

namespace feedcast {
namespace {

// "packet <n> of <k>, time <Timestamp>" for a datagram as built; a single
// packet is packet 1 of 1.
std::string identity(Datagram d) {
  const bool part = packet::packet_count(d.data()) >= 2;
  return "packet " + std::to_string(part ? packet::packet_number(d.data()) : 1) + " of " +
         std::to_string(part ? packet::packet_count(d.data()) : 1);
}

std::string time_of(Datagram d) { return std::to_string(packet::timestamp(d.data())); }

}  // namespace

void FaultInjector::update(const platform::ProfileFile& ini) {
  if (version_ == ini.version()) return;
  version_ = ini.version();
  settings_ = read_fault_settings(ini);
  any_ = faults_datagrams(settings_);
  const auto seed = static_cast<std::uint32_t>(settings_.seed);
  if (!random_ || seed != seed_) {
    random_.emplace(seed);
    seed_ = seed;
  }
}

bool FaultInjector::roll(std::int32_t percent) {
  return percent > 0 && random_->chance(static_cast<std::uint32_t>(std::min(percent, 100)));
}

std::span<const std::size_t> FaultInjector::order(std::span<const Datagram> message,
                                                  std::string& lines) {
  order_.resize(message.size());
  for (std::size_t i = 0; i < order_.size(); ++i) order_[i] = i;
  if (settings_.reorder_parts == 0 || message.size() < 2) return order_;
  for (std::size_t i = order_.size() - 1; i > 0; --i) {
    std::swap(order_[i], order_[random_->below(i + 1)]);
  }
  lines += "Fault: parts of time " + time_of(message.front()) + " sent in the order ";
  for (std::size_t i = 0; i < order_.size(); ++i) {
    lines += std::to_string(order_[i] + 1);
    lines += i + 1 < order_.size() ? ',' : '\n';
  }
  return order_;
}

Shipment FaultInjector::shape(Datagram datagram, std::string& lines) {
  if (!any_) return {datagram, 1};
  // The datagram's name in a fault line, made only when a fault befalls it.
  const auto which = [datagram] {
    return identity(datagram) + ", time " + time_of(datagram) + "\n";
  };
  if (roll(settings_.drop_percent)) {
    lines += "Fault: dropped " + which();
    return {datagram, 0};
  }
  Shipment out{datagram, 1};
  if (roll(settings_.duplicate_percent)) {
    out.copies = 2;
    lines += "Fault: duplicated " + which();
  }
  if (roll(settings_.truncate_percent)) {
    out.bytes = datagram.first(random_->below(datagram.size()));
    lines += "Fault: truncated " + identity(datagram) + " to " + std::to_string(out.bytes.size()) +
             " bytes, time " + time_of(datagram) + "\n";
  }
  // One byte of the record area that is sent, or of the header when none is.
  const std::size_t length = out.bytes.size();
  if (roll(settings_.corrupt_percent) && length > 0) {
    const std::size_t first = length > packet::kHeaderSize ? packet::kHeaderSize : 0;
    const std::size_t at = first + random_->below(length - first);
    copy_.assign(out.bytes.begin(), out.bytes.end());
    copy_[at] ^= static_cast<std::uint8_t>(1 + random_->below(255));
    out.bytes = copy_;
    lines += "Fault: changed byte " + std::to_string(at) + " of " + which();
  }
  return out;
}

}  // namespace feedcast
