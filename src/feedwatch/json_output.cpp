#include "feedwatch/json_output.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "feedwatch/console_output.h"
#include "feedwatch/json_text.h"
#include "feedwatch/record_display.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "platform/system.h"

namespace feedwatch {
namespace {

void append_utf16_string(std::string& out, std::u16string_view text) {
  std::string utf8;
  append_utf8(utf8, text);
  append_json_string(out, utf8);
}

// Every header field under its name, in the header's order: text fields as
// strings, the others as unsigned numbers.
void append_header(std::string& out, const std::uint8_t* p) {
  out += "\"header\":{";
  bool first = true;
  for (const packet::HeaderField& field : packet::kHeaderFields) {
    if (!first) out += ',';
    first = false;
    append_json_key(out, field.name);
    if (field.shown == packet::HeaderShown::kText) {
      append_utf16_string(out, packet::read_text(p, field));
    } else {
      append_json_number(out, packet::read_number(p, field));
    }
  }
  out += '}';
}

void append_record(std::string& out, const std::uint8_t* record,
                   const packet::RecordLayout& layout) {
  out += '{';
  bool first = true;
  for (const packet::Field& field : layout.fields) {
    if (field.shown == packet::Shown::kHidden) continue;
    if (!first) out += ',';
    first = false;
    append_json_key(out, field.name);
    const std::uint32_t value = packet::shown_value(record, field);
    if (field.shown == packet::Shown::kDecimal) {
      append_json_number(out, static_cast<std::int32_t>(value));
    } else {
      append_json_number(out, value);
    }
  }
  out += '}';
}

std::string text(const char* format, unsigned long long a, unsigned long long b = 0,
                 unsigned long long c = 0) {
  char line[160];
  std::snprintf(line, sizeof line, format, a, b, c);
  return line;
}

// What the text display shows oddly or not at all.
std::vector<std::string> problems(const PacketBuffer& buffer, std::size_t length,
                                  const packet::RecordLayout* layout, std::size_t area_bytes) {
  const std::uint8_t* p = buffer.data();
  std::vector<std::string> found;
  if (length < packet::kHeaderSize) {
    found.push_back(
        text("datagram of %llu bytes is shorter than the %llu-byte header; the "
             "missing bytes read as zero",
             length, packet::kHeaderSize));
  }
  if (packet::header_id(p) != packet::kHeaderIdentifier) {
    found.push_back("HeaderId is not KEBO");
  }
  if (layout == nullptr) {
    found.push_back(text("unknown MessageType %llu: no records shown", packet::message_type(p)));
  }
  if (!packet::is_stat_scheme(packet::stat_scheme(p))) {
    found.push_back(text("unknown StatScheme %llu", packet::stat_scheme(p)));
  }
  if (layout == nullptr) return found;
  if (packet::num_record(p) != 0 && packet::record_size(p) != layout->size) {
    found.push_back(text("RecordSize %llu differs from the %llu bytes the records are read by",
                         packet::record_size(p), layout->size));
  }
  const std::size_t shown = shown_record_count(buffer, *layout);
  if (shown < packet::num_record(p)) {
    found.push_back(text("records %llu to %llu lie beyond the end of the buffer and are not shown",
                         shown + 1, packet::num_record(p)));
  }
  const std::size_t whole = area_bytes / layout->size;
  if (whole < shown) {
    found.push_back(
        text("records %llu to %llu lie beyond the %llu bytes of records received "
             "and show what the buffer held",
             whole + 1, shown, area_bytes));
  }
  return found;
}

std::string_view expansion_name(Expansion expansion) {
  switch (expansion) {
    case Expansion::kExpanded: return "\"expanded\"";
    case Expansion::kNoRoom: return "\"no room\"";
    case Expansion::kPlain: return "null";
    default: return "\"corrupt\"";
  }
}

// Returns a calendar time in RFC 3339 form, UTC, to the microsecond
// ("2026-12-07T01:20:29.123456Z").
std::string rfc3339_utc(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto micros = floor<microseconds>(time);
  const auto day = floor<days>(micros);
  const year_month_day date{day};
  const hh_mm_ss clock{micros - day};
  char line[40];
  std::snprintf(line, sizeof line, "%04d-%02u-%02uT%02d:%02d:%02d.%06dZ", int{date.year()},
                unsigned{date.month()}, unsigned{date.day()},
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()),
                static_cast<int>(clock.subseconds().count()));
  return line;
}

}  // namespace

std::string packet_json(const PacketBuffer& buffer, const Arrival& arrival, const MessagePart* part,
                        Expansion expansion, std::size_t area_bytes) {
  const std::uint8_t* p = buffer.data();
  std::string out = "{\"type\":\"packet\",\"schema\":1,\"received\":";
  append_json_string(out, rfc3339_utc(arrival.received));
  out += ",\"source\":";
  append_json_string(out, platform::endpoint_text(arrival.source));
  out += ",\"length\":";
  append_json_number(out, arrival.length);
  if (part != nullptr) {
    out += ",\"message\":{\"part\":";
    append_json_number(out, part->part);
    out += ",\"of\":";
    append_json_number(out, part->of);
    out += ",\"time\":";
    append_json_number(out, part->time);
    out += '}';
  }
  out += ',';
  append_header(out, p);
  const packet::Kind* kind = packet::find_kind(packet::message_type(p));
  out += ",\"kind\":";
  if (kind != nullptr) {
    append_json_string(out, kind->section);
  } else {
    out += "null";
  }
  out += ",\"scheme\":";
  const std::string_view scheme = packet::scheme_name(packet::stat_scheme(p));
  if (!scheme.empty()) {
    append_json_string(out, scheme);
  } else {
    out += "null";
  }
  out += ",\"expansion\":";
  out += expansion_name(expansion);
  out += ",\"records\":[";
  const packet::RecordLayout* layout = display_layout(buffer);
  if (layout != nullptr) {
    const std::size_t count = shown_record_count(buffer, *layout);
    for (std::size_t i = 0; i < count; ++i) {
      if (i != 0) out += ',';
      append_record(out, p + packet::kHeaderSize + i * layout->size, *layout);
    }
  }
  out += "],\"problems\":[";
  bool first = true;
  for (const std::string& problem : problems(buffer, arrival.length, layout, area_bytes)) {
    if (!first) out += ',';
    first = false;
    append_json_string(out, problem);
  }
  out += "]}";
  return out;
}

void JsonLines::write_packet(const PacketBuffer& buffer, const Arrival& arrival,
                             const MessagePart* part, Expansion expansion, std::size_t area_bytes) {
  line_ = packet_json(buffer, arrival, part, expansion, area_bytes);
  write_pending();
}

void JsonLines::write_line(std::string_view json) {
  line_.assign(json);
  write_pending();
}

void JsonLines::write_pending() {
  line_ += '\n';
  if (error_ == 0) error_ = platform::write_output(stream_, line_);
  if (error_ == 0) error_ = platform::flush_output(stream_);
}

}  // namespace feedwatch
