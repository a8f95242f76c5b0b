#include "feedwatch/feed_statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "feedwatch/console_output.h"
#include "feedwatch/json_text.h"
#include "packet/catalogue.h"
#include "packet/header.h"

namespace feedwatch {
namespace {

// A duration in milliseconds, to the microsecond.
double milliseconds(SteadyClock::duration d) {
  return static_cast<double>(std::chrono::duration_cast<std::chrono::microseconds>(d).count()) /
         1000.0;
}

double seconds(SteadyClock::duration d) {
  return static_cast<double>(std::chrono::duration_cast<std::chrono::microseconds>(d).count()) /
         1e6;
}

std::string utf8(std::u16string_view text) {
  std::string out;
  append_utf8(out, text);
  return out;
}

// The kind's section name, or an empty view when the value is no kind.
std::string_view kind_name(std::uint8_t message_type) {
  const packet::Kind* kind = packet::find_kind(message_type);
  return kind ? kind->section : std::string_view();
}

// A name as a JSON string; no name as null.
void append_name(std::string& out, std::string_view name) {
  if (name.empty()) {
    out += "null";
  } else {
    append_json_string(out, name);
  }
}

std::string format(const char* pattern, double a, double b = 0, double c = 0) {
  char line[200];
  std::snprintf(line, sizeof line, pattern, a, b, c);
  return line;
}

// How many of a stream's latest intervals between messages give the median
// that a gap is measured against, and how many it takes first.
constexpr std::size_t kMedianWindow = 101;
constexpr std::size_t kMinIntervalsForGaps = 10;

// The text of an optional count; "unknown" for none.
std::string count_text(const std::optional<std::uint64_t>& count) {
  return count ? std::to_string(*count) : "unknown";
}

}  // namespace

FeedStatistics::FeedStatistics(SteadyClock::time_point start) : start_(start) {}

FeedStatistics::Stream* FeedStatistics::find_stream(std::span<const std::uint8_t> d) {
  const std::u16string server = packet::server_name(d.data());
  const std::uint8_t type = packet::message_type(d.data());
  const std::uint8_t scheme = packet::stat_scheme(d.data());
  for (Stream& s : streams_) {
    if (s.message_type == type && s.stat_scheme == scheme && s.server == server) return &s;
  }
  if (streams_.size() == kMaxStreams) return nullptr;
  Stream& s = streams_.emplace_back();
  s.server = server;
  s.message_type = type;
  s.stat_scheme = scheme;
  return &s;
}

void FeedStatistics::count_datagram(std::span<const std::uint8_t> d, const Arrival& arrival) {
  ++datagrams_;
  bytes_ += d.size();
  if (arrival.kernel_drops) kernel_drops_ = arrival.kernel_drops;
  if (d.size() < packet::kHeaderSize) {
    ++short_;
    return;
  }
  if (packet::header_id(d.data()) != packet::kHeaderIdentifier) {
    ++bad_header_id_;
  }
  Stream* s = find_stream(d);
  if (s == nullptr) return;
  const std::uint32_t timestamp = packet::timestamp(d.data());
  if (s->packets == 0) {
    s->first_timestamp = timestamp;
  } else {
    const SteadyClock::duration interval = arrival.at - s->last_arrival;
    s->min_interval = std::min(s->min_interval.value_or(interval), interval);
    s->max_interval = std::max(s->max_interval, interval);
    s->total_interval += interval;
    s->intervals.add(seconds(interval));
    if (timestamp < s->last_timestamp) ++s->backwards;
  }
  // A duplicate leaves the stream's last datagram as it is.
  if (s->packets != 0 &&
      std::equal(d.begin(), d.end(), s->last_datagram.begin(), s->last_datagram.end())) {
    ++s->duplicates;
  } else {
    s->last_datagram.assign(d.begin(), d.end());
  }
  count_gap(*s, d, arrival.at);
  ++s->packets;
  s->last_timestamp = timestamp;
  s->last_arrival = arrival.at;
  s->last_received = arrival.received;
}

// A message starts with a single packet or a first part.  An interval
// between two starts longer than 1.5 times the median of the stream's latest
// ones is a gap, which would have held the messages that fit in it, of as
// many packets as the arriving one's message.
void FeedStatistics::count_gap(Stream& s, std::span<const std::uint8_t> d,
                               SteadyClock::time_point at) {
  const std::uint8_t count = packet::packet_count(d.data());
  if (count > 1 && packet::packet_number(d.data()) != 1) return;
  const std::optional<SteadyClock::time_point> previous = s.last_message_start;
  s.last_message_start = at;
  if (!previous) return;
  const SteadyClock::duration interval = at - *previous;
  std::vector<SteadyClock::duration>& window = s.message_intervals;
  std::vector<SteadyClock::duration>& sorted = s.sorted_intervals;
  if (window.size() >= kMinIntervalsForGaps) {
    const SteadyClock::duration median = sorted[sorted.size() / 2];
    if (median.count() > 0 && interval * 2 > median * 3) {
      const auto missed =
          static_cast<std::uint64_t>(std::llround(static_cast<double>(interval.count()) /
                                                  static_cast<double>(median.count())) -
                                     1);
      const std::uint64_t packets =
          std::max<std::uint64_t>(missed, 1) * std::max<std::uint8_t>(count, 1);
      ++s.gaps;
      ++gaps_;
      s.gap_packets += packets;
      gap_packets_ += packets;
    }
  }
  if (window.size() < kMedianWindow) {
    window.push_back(interval);
  } else {
    sorted.erase(std::lower_bound(sorted.begin(), sorted.end(), window[s.next_interval]));
    window[s.next_interval] = interval;
    s.next_interval = (s.next_interval + 1) % kMedianWindow;
  }
  sorted.insert(std::upper_bound(sorted.begin(), sorted.end(), interval), interval);
}

void FeedStatistics::count_completed_message(std::span<const MultipacketStore::Part> parts) {
  ++completed_;
  std::vector<std::uint8_t> numbers;
  for (const MultipacketStore::Part& part : parts) {
    numbers.push_back(packet::packet_number(part.bytes.data()));
  }
  std::sort(numbers.begin(), numbers.end());
  for (std::size_t n = 0; n < numbers.size(); ++n) {
    if (numbers[n] == n + 1) continue;
    ++mixed_groups_;
    if (Stream* s = find_stream(parts.front().bytes)) ++s->mixed_groups;
    return;
  }
}

void FeedStatistics::count_display(Expansion expansion) {
  ++displayed_;
  if (expansion != Expansion::kPlain && expansion != Expansion::kExpanded) ++expansion_failures_;
}

std::string FeedStatistics::text_summary(const MultipacketStore& store,
                                         SteadyClock::time_point now) const {
  std::string text = format("Feed statistics after %.3f s:\n", seconds(now - start_));
  text += "Datagrams: " + std::to_string(datagrams_) + " (" + std::to_string(bytes_) +
          " bytes), displayed: " + std::to_string(displayed_) + "\n";
  text += "Shorter than the header: " + std::to_string(short_) +
          ", HeaderId not KEBO: " + std::to_string(bad_header_id_) +
          ", expansion failures: " + std::to_string(expansion_failures_) +
          ", kernel drops: " + count_text(kernel_drops_) + "\n";
  text += "Multi-packet messages: " + std::to_string(completed_) + " completed, " +
          std::to_string(store.groups()) + " incomplete group(s) holding " +
          std::to_string(store.size()) + " part(s), " + std::to_string(parts_dropped_) +
          " part(s) dropped, " + std::to_string(mixed_groups_) + " mixed group(s)\n";
  text += "Gaps: " + std::to_string(gaps_) + ", which would have held " +
          std::to_string(gap_packets_) + " packet(s)\n";
  for (const Stream& s : streams_) {
    const packet::Kind* kind = packet::find_kind(s.message_type);
    const std::string_view scheme = packet::scheme_name(s.stat_scheme);
    text += "Stream " + utf8(s.server) + ", " +
            (kind ? std::string(kind->section) : "MessageType " + std::to_string(s.message_type)) +
            ", " +
            (scheme.empty() ? "StatScheme " + std::to_string(s.stat_scheme) : std::string(scheme)) +
            ": " + std::to_string(s.packets) + " packet(s), Timestamp " +
            std::to_string(s.first_timestamp) + " to " + std::to_string(s.last_timestamp);
    if (s.min_interval) {
      text += format(", interval min %.3f, mean %.3f, max %.3f ms", milliseconds(*s.min_interval),
                     milliseconds(s.total_interval) / static_cast<double>(s.packets - 1),
                     milliseconds(s.max_interval));
    }
    text += ", " + std::to_string(s.backwards) + " backwards, " + std::to_string(s.duplicates) +
            " duplicate(s), " + std::to_string(s.mixed_groups) + " mixed group(s), " +
            std::to_string(s.gaps) + " gap(s) of " + std::to_string(s.gap_packets) + " packet(s)\n";
  }
  return text;
}

std::string FeedStatistics::json_summary(const MultipacketStore& store,
                                         SteadyClock::time_point now) const {
  std::string out = "{\"type\":\"summary\",\"schema\":1,\"seconds\":";
  append_json_double(out, seconds(now - start_));
  const auto count = [&out](std::string_view key, std::uint64_t value) {
    out += ',';
    append_json_key(out, key);
    append_json_number(out, value);
  };
  count("datagrams", datagrams_);
  count("bytes", bytes_);
  count("displayed", displayed_);
  count("short", short_);
  count("bad_header_id", bad_header_id_);
  count("expansion_failures", expansion_failures_);
  out += ",\"kernel_drops\":";
  if (kernel_drops_) {
    append_json_number(out, *kernel_drops_);
  } else {
    out += "null";
  }
  out += ",\"multipacket\":{\"completed\":";
  append_json_number(out, completed_);
  count("incomplete_groups", store.groups());
  count("parts_held", store.size());
  count("parts_dropped", parts_dropped_);
  out += "},\"streams\":[";
  for (const Stream& s : streams_) {
    out += &s == streams_.data() ? "{\"server\":" : ",{\"server\":";
    append_json_string(out, utf8(s.server));
    out += ",\"kind\":";
    append_name(out, kind_name(s.message_type));
    out += ",\"scheme\":";
    append_name(out, packet::scheme_name(s.stat_scheme));
    count("packets", s.packets);
    count("first_timestamp", s.first_timestamp);
    count("last_timestamp", s.last_timestamp);
    if (s.min_interval) {
      const double mean = milliseconds(s.total_interval) / static_cast<double>(s.packets - 1);
      out += ",\"interval_ms\":{\"min\":";
      append_json_double(out, milliseconds(*s.min_interval));
      out += ",\"mean\":";
      append_json_double(out, std::round(mean * 1000) / 1000);
      out += ",\"max\":";
      append_json_double(out, milliseconds(s.max_interval));
      out += '}';
    } else {
      out += ",\"interval_ms\":{\"min\":null,\"mean\":null,\"max\":null}";
    }
    count("backwards", s.backwards);
    count("duplicates", s.duplicates);
    count("mixed_groups", s.mixed_groups);
    count("gaps", s.gaps);
    count("gap_packets", s.gap_packets);
    out += '}';
  }
  out += ']';
  count("mixed_groups", mixed_groups_);
  count("gaps", gaps_);
  count("gap_packets", gap_packets_);
  out += '}';
  return out;
}

MetricsSnapshot FeedStatistics::counters(const MultipacketStore& store) const {
  MetricsSnapshot c;
  c.datagrams = datagrams_;
  c.bytes = bytes_;
  c.displayed = displayed_;
  c.short_datagrams = short_;
  c.bad_header_id = bad_header_id_;
  c.expansion_failures = expansion_failures_;
  c.completed_messages = completed_;
  c.incomplete_groups = store.groups();
  c.parts_held = store.size();
  c.parts_dropped = parts_dropped_;
  c.mixed_groups = mixed_groups_;
  c.gaps = gaps_;
  c.gap_packets = gap_packets_;
  c.kernel_drops = kernel_drops_;
  for (const Stream& s : streams_) {
    StreamCounters& counters = c.streams.emplace_back();
    counters.stream = {utf8(s.server), s.message_type, s.stat_scheme};
    counters.packets = s.packets;
    counters.duplicates = s.duplicates;
    counters.backwards = s.backwards;
    counters.last_timestamp = s.last_timestamp;
    counters.last_arrival = s.last_received;
    counters.intervals = s.intervals;
    counters.mixed_groups = s.mixed_groups;
    counters.gaps = s.gaps;
    counters.gap_packets = s.gap_packets;
  }
  return c;
}

}  // namespace feedwatch
