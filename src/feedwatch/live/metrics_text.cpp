#include "feedwatch/live/metrics_text.h"

#include <charconv>
#include <cstdint>
#include <functional>

#include "packet/catalogue.h"

namespace feedwatch {
namespace {

// One metric family: its name, type and help text, then its samples.
void family(std::string& out, std::string_view name, std::string_view type, std::string_view help) {
  out.append("# HELP ").append(name).append(" ").append(help).append("\n");
  out.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void append_number(std::string& out, double value) {
  char digits[32];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void append_number(std::string& out, std::uint64_t value) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// A label value with backslash, double quote and line feed escaped.
void append_label_value(std::string& out, std::string_view value) {
  for (const char c : value) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '"')
      out += "\\\"";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
}

// The labels of a stream, without the braces.
std::string stream_labels(const StreamId& stream) {
  const packet::Kind* kind = packet::find_kind(stream.message_type);
  const std::string_view scheme = packet::scheme_name(stream.stat_scheme);
  std::string labels = "server=\"";
  append_label_value(labels, stream.server);
  labels += "\",kind=\"";
  labels +=
      kind ? std::string(kind->section) : "MessageType " + std::to_string(stream.message_type);
  labels += "\",scheme=\"";
  labels +=
      scheme.empty() ? "StatScheme " + std::to_string(stream.stat_scheme) : std::string(scheme);
  labels += '"';
  return labels;
}

template <class Number>
void sample(std::string& out, std::string_view name, std::string_view labels, Number value) {
  out += name;
  if (!labels.empty()) out.append("{").append(labels).append("}");
  out += ' ';
  append_number(out, value);
  out += '\n';
}

struct RunCounter {
  std::string_view name;
  std::string_view type;
  std::string_view help;
  std::uint64_t MetricsSnapshot::*value;
};

constexpr RunCounter kRunCounters[] = {
    {"feedwatch_datagrams_total", "counter", "Datagrams received.", &MetricsSnapshot::datagrams},
    {"feedwatch_received_bytes_total", "counter", "Bytes of the datagrams received.",
     &MetricsSnapshot::bytes},
    {"feedwatch_displayed_packets_total", "counter", "Packets displayed.",
     &MetricsSnapshot::displayed},
    {"feedwatch_short_datagrams_total", "counter",
     "Datagrams shorter than the 68-byte packet header.", &MetricsSnapshot::short_datagrams},
    {"feedwatch_bad_header_id_datagrams_total", "counter", "Datagrams whose HeaderId is not KEBO.",
     &MetricsSnapshot::bad_header_id},
    {"feedwatch_expansion_failures_total", "counter",
     "Compressed record areas that did not expand.", &MetricsSnapshot::expansion_failures},
    {"feedwatch_completed_messages_total", "counter", "Multi-packet messages completed.",
     &MetricsSnapshot::completed_messages},
    {"feedwatch_incomplete_groups", "gauge",
     "Groups of multi-packet parts held, waiting for their missing parts.",
     &MetricsSnapshot::incomplete_groups},
    {"feedwatch_held_parts", "gauge", "Parts of multi-packet messages held.",
     &MetricsSnapshot::parts_held},
    {"feedwatch_dropped_parts_total", "counter",
     "Parts of multi-packet messages dropped to make room for newer ones.",
     &MetricsSnapshot::parts_dropped},
    {"feedwatch_mixed_groups_total", "counter",
     "Completed groups whose PacketNumbers are not 1 to PacketCount once each.",
     &MetricsSnapshot::mixed_groups},
    {"feedwatch_gaps_total", "counter",
     "Arrivals later than 1.5 times their stream's median interval.", &MetricsSnapshot::gaps},
    {"feedwatch_gap_packets_total", "counter", "Packets the gaps would have held.",
     &MetricsSnapshot::gap_packets},
};

struct StreamCounter {
  std::string_view name;
  std::string_view help;
  std::uint64_t StreamCounters::*value;
};

constexpr StreamCounter kStreamCounters[] = {
    {"feedwatch_stream_packets_total", "Datagrams of the stream.", &StreamCounters::packets},
    {"feedwatch_stream_duplicates_total", "Datagrams equal to the stream's previous one.",
     &StreamCounters::duplicates},
    {"feedwatch_stream_backward_steps_total", "Timestamps lower than the stream's previous one.",
     &StreamCounters::backwards},
    {"feedwatch_stream_mixed_groups_total",
     "Completed groups of the stream whose PacketNumbers are not 1 to PacketCount once each.",
     &StreamCounters::mixed_groups},
    {"feedwatch_stream_gaps_total", "Arrivals later than 1.5 times the stream's median interval.",
     &StreamCounters::gaps},
    {"feedwatch_stream_gap_packets_total", "Packets the stream's gaps would have held.",
     &StreamCounters::gap_packets},
};

double epoch_seconds(std::chrono::system_clock::time_point time) {
  return static_cast<double>(
             std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch())
                 .count()) /
         1000.0;
}

void append_histogram(std::string& out, std::string_view labels, const IntervalHistogram& h) {
  std::uint64_t cumulative = 0;
  for (std::size_t i = 0; i <= kIntervalBounds.size(); ++i) {
    cumulative += h.buckets[i];
    std::string with_bound(labels);
    with_bound += ",le=\"";
    if (i < kIntervalBounds.size()) {
      append_number(with_bound, kIntervalBounds[i]);
    } else {
      with_bound += "+Inf";
    }
    with_bound += '"';
    sample(out, "feedwatch_stream_interval_seconds_bucket", with_bound, cumulative);
  }
  sample(out, "feedwatch_stream_interval_seconds_sum", labels, h.sum_seconds);
  sample(out, "feedwatch_stream_interval_seconds_count", labels, cumulative);
}

}  // namespace

std::string metrics_text(const MetricsSnapshot& counters, std::uint64_t skipped,
                         std::string_view version) {
  std::string out;
  family(out, "feedwatch_build_info", "gauge", "The monitor's version, as a label; always 1.");
  std::string version_label = "version=\"";
  append_label_value(version_label, version);
  sample(out, "feedwatch_build_info", version_label + "\"", std::uint64_t{1});
  for (const RunCounter& c : kRunCounters) {
    family(out, c.name, c.type, c.help);
    sample(out, c.name, "", counters.*c.value);
  }
  if (counters.kernel_drops) {
    family(out, "feedwatch_kernel_drops_total", "counter",
           "Datagrams the system dropped because the monitor fell behind.");
    sample(out, "feedwatch_kernel_drops_total", "", *counters.kernel_drops);
  }
  family(out, "feedwatch_live_skipped_messages_total", "counter",
         "Messages the live view skipped while one of their stream waited to be shown.");
  sample(out, "feedwatch_live_skipped_messages_total", "", skipped);
  std::vector<std::string> labels;
  for (const StreamCounters& s : counters.streams) labels.push_back(stream_labels(s.stream));
  const auto per_stream =
      [&](std::string_view name, std::string_view type, std::string_view help,
          const std::function<void(const StreamCounters&, const std::string&)>& samples) {
        if (counters.streams.empty()) return;
        family(out, name, type, help);
        for (std::size_t i = 0; i < counters.streams.size(); ++i)
          samples(counters.streams[i], labels[i]);
      };
  for (const StreamCounter& c : kStreamCounters) {
    per_stream(c.name, "counter", c.help, [&](const StreamCounters& s, const std::string& l) {
      sample(out, c.name, l, s.*c.value);
    });
  }
  per_stream("feedwatch_stream_last_timestamp_seconds", "gauge",
             "The stream's last Timestamp, in seconds since 1970.",
             [&](const StreamCounters& s, const std::string& l) {
               sample(out, "feedwatch_stream_last_timestamp_seconds", l,
                      std::uint64_t{s.last_timestamp});
             });
  per_stream("feedwatch_stream_last_arrival_seconds", "gauge",
             "When the stream's last datagram arrived, in seconds since 1970.",
             [&](const StreamCounters& s, const std::string& l) {
               sample(out, "feedwatch_stream_last_arrival_seconds", l,
                      epoch_seconds(s.last_arrival));
             });
  per_stream("feedwatch_stream_interval_seconds", "histogram",
             "Intervals between two datagrams of the stream.",
             [&](const StreamCounters& s, const std::string& l) {
               append_histogram(out, l, s.intervals);
             });
  return out;
}

}  // namespace feedwatch
