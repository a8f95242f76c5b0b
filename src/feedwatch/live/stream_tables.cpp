#include "feedwatch/live/stream_tables.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <utility>

#include "feedwatch/feed_statistics.h"
#include "packet/catalogue.h"

namespace feedwatch {
namespace {

using Json = nlohmann::ordered_json;

std::string dump(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The stream's identity as JSON members, as the statistics summary names it.
std::string stream_key(const Json& server, const Json& kind, const Json& scheme) {
  return "\"server\":" + dump(server) + ",\"kind\":" + dump(kind) + ",\"scheme\":" + dump(scheme);
}

std::string stream_key(const StreamId& stream) {
  const packet::Kind* kind = packet::find_kind(stream.message_type);
  const std::string_view scheme = packet::scheme_name(stream.stat_scheme);
  return stream_key(stream.server, kind ? Json(kind->section) : Json(nullptr),
                    scheme.empty() ? Json(nullptr) : Json(scheme));
}

std::size_t table_bytes(const std::vector<std::shared_ptr<const std::string>>& table) {
  std::size_t bytes = 0;
  for (const auto& json : table) bytes += json->size();
  return bytes;
}

}  // namespace

StreamTables::Stream* StreamTables::find(const std::string& key) {
  const auto found =
      std::find_if(streams_.begin(), streams_.end(), [&](const Stream& s) { return s.key == key; });
  if (found != streams_.end()) return &*found;
  if (streams_.size() == kMaxStreams) return nullptr;
  return &streams_.emplace_back(Stream{key, {}});
}

void StreamTables::replace_table(const std::string& key,
                                 std::vector<std::shared_ptr<const std::string>> table) {
  Stream* stream = find(key);
  if (stream == nullptr) return;
  const std::size_t old_bytes = table_bytes(stream->table);
  const std::size_t new_bytes = table_bytes(table);
  if (bytes_ - old_bytes + new_bytes > kMaxTableBytes) return;
  bytes_ = bytes_ - old_bytes + new_bytes;
  stream->table = std::move(table);
}

void StreamTables::add_packet(const HandedOver& packet) {
  std::string key = stream_key(packet.stream);
  if (!packet.part) {
    replace_table(key, {packet.json});
    return;
  }
  if (packet.part->part == 1) group_.clear();
  group_.push_back({std::move(key), packet.json});
  if (packet.part->part != packet.part->of) return;
  for (std::size_t i = 0; i < group_.size(); ++i) {
    const std::string& stream = group_[i].key;
    if (std::any_of(group_.begin(), group_.begin() + static_cast<std::ptrdiff_t>(i),
                    [&](const GroupPart& p) { return p.key == stream; })) {
      continue;  // this stream's table is made already
    }
    std::vector<std::shared_ptr<const std::string>> table;
    for (const GroupPart& p : group_) {
      if (p.key == stream) table.push_back(p.json);
    }
    replace_table(stream, std::move(table));
  }
  group_.clear();
}

void StreamTables::set_summary(const std::string& summary_json) {
  const Json summary = Json::parse(summary_json, nullptr, false);
  if (!summary.is_object() || !summary.contains("streams")) return;
  for (const Json& s : summary["streams"]) {
    if (!s.is_object()) continue;
    Stream* stream = find(
        stream_key(s.value("server", Json()), s.value("kind", Json()), s.value("scheme", Json())));
    if (stream != nullptr) stream->statistics = dump(s);
  }
}

void StreamTables::append_json(std::string& out) const {
  out += '[';
  for (const Stream& s : streams_) {
    if (&s != &streams_.front()) out += ',';
    out += '{';
    out += s.key;
    out += ",\"table\":[";
    for (std::size_t i = 0; i < s.table.size(); ++i) {
      if (i != 0) out += ',';
      out += *s.table[i];
    }
    out += "],\"statistics\":";
    out += s.statistics;
    out += '}';
  }
  out += ']';
}

}  // namespace feedwatch
