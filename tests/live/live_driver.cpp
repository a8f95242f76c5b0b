// A stand-in for the monitor's receive loop that feeds the live view with
// packets the project's own code builds and displays as JSON, and with the
// feed statistics' summaries, so that the page's tests see real objects.
//
// Usage: live_driver [PORT]   serves on 127.0.0.1:PORT (any free port when
// none is given), prints "port N" and reads commands from standard input,
// one a line, fields separated by tabs:
//   stream NAME KIND RECORDS PERIOD_MS PARTS   sends a table of the kind
//       (its configuration section, "Skillset") as NAME every PERIOD_MS, in
//       PARTS parts; field F of record R is R * 100 + F
// It ends when standard input does.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "feedwatch/feed_statistics.h"
#include "feedwatch/json_output.h"
#include "feedwatch/live/live_view.h"
#include "feedwatch/record_expansion.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "packet/record_layouts.h"
#include "support/packets.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// One stream the driver sends.
struct Sender {
  std::string name;
  const packet::Kind* kind = nullptr;
  std::vector<std::map<std::string, std::uint32_t>> records;
  Clock::duration period{};
  int parts = 1;
  Clock::time_point next{};
};

// Commands read by a thread of their own, taken by the loop.
class Commands {
 public:
  Commands() : reader_([this] { read(); }) { reader_.detach(); }
  // The lines that came since the last call, and whether input has ended.
  std::vector<std::string> take(bool& ended) {
    const std::lock_guard lock(mutex_);
    ended = ended_;
    return std::exchange(lines_, {});
  }

 private:
  void read() {
    for (std::string line; std::getline(std::cin, line);) {
      const std::lock_guard lock(mutex_);
      lines_.push_back(line);
    }
    const std::lock_guard lock(mutex_);
    ended_ = true;
  }

  std::mutex mutex_;
  std::vector<std::string> lines_;
  bool ended_ = false;
  std::thread reader_;
};

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) out.push_back(field);
  return out;
}

const packet::Kind* kind_named(const std::string& name) {
  for (int type = 1; const packet::Kind* k = packet::find_kind(type); ++type) {
    if (k->section == name) return k;
  }
  return nullptr;
}

void apply(const std::string& line, std::map<std::string, Sender>& senders) {
  const std::vector<std::string> f = fields(line);
  if (f.size() == 6 && f[0] == "stream" && kind_named(f[2]) != nullptr) {
    Sender& s = senders[f[1]];
    s = {f[1], kind_named(f[2]), {}, std::chrono::milliseconds(std::stoi(f[4])), std::stoi(f[5])};
    s.records.resize(std::stoul(f[3]));
    for (std::size_t r = 0; r < s.records.size(); ++r) {
      std::uint32_t value = static_cast<std::uint32_t>(r * 100);
      for (const packet::Field& field : s.kind->layout->fields)
        s.records[r][std::string(field.name)] = value++;
    }
  } else {
    std::fprintf(stderr, "live_driver: not understood: %s\n", line.c_str());
  }
}

// The datagrams of one table: the records in `parts` parts.
std::vector<std::vector<std::uint8_t>> datagrams(const Sender& s, std::uint32_t timestamp) {
  const packet::RecordLayout& layout = *s.kind->layout;
  std::vector<std::vector<std::uint8_t>> out;
  const std::size_t per_part = (s.records.size() + s.parts - 1) / s.parts;
  for (int part = 0; part < s.parts; ++part) {
    const std::size_t first = part * per_part;
    const std::size_t count =
        std::min(per_part, s.records.size() - std::min(first, s.records.size()));
    std::vector<std::uint8_t> records(count * layout.size);
    for (std::size_t r = 0; r < count; ++r) {
      for (const packet::Field& field : layout.fields) {
        packet::store_field(records.data() + r * layout.size, field,
                            s.records[first + r].at(std::string(field.name)));
      }
    }
    packet::HeaderFields h =
        test_support::default_fields(s.kind->message_type, static_cast<std::uint16_t>(count));
    h.server_name.assign(s.name.begin(), s.name.end());
    h.timestamp = timestamp;
    h.record_size = layout.size;
    if (s.parts > 1) {
      h.packet_number = static_cast<std::uint8_t>(part + 1);
      h.packet_count = static_cast<std::uint8_t>(s.parts);
    }
    out.push_back(test_support::make_packet(h, records));
  }
  return out;
}

// Displays a table's datagrams as the monitor does and hands them over.
void send(const Sender& s, feedwatch::FeedStatistics& stats, feedwatch::LiveView& view) {
  const auto timestamp =
      static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
  const auto parts = datagrams(s, timestamp);
  const auto room = std::make_unique<feedwatch::PacketBuffer>();
  std::vector<feedwatch::MultipacketStore::Part> group;
  for (std::size_t n = 0; n < parts.size(); ++n) {
    const std::vector<std::uint8_t>& d = parts[n];
    feedwatch::Arrival arrival{
        std::chrono::system_clock::now(), Clock::now(), {0x0100007F, 6040}, d.size(), std::nullopt};
    stats.count_datagram(d, arrival);
    group.push_back({d, arrival});
    const auto buffer = test_support::received(d);
    std::size_t area = 0;
    const feedwatch::Expansion expansion = feedwatch::expand_record_area(*buffer, *room, &area);
    if (expansion == feedwatch::Expansion::kPlain) area = d.size() - packet::kHeaderSize;
    stats.count_display(expansion);
    const feedwatch::MessagePart position{n + 1, parts.size(), timestamp};
    const feedwatch::MessagePart* part = parts.size() > 1 ? &position : nullptr;
    view.publish_packet(*buffer, arrival, expansion, area, part);
  }
  if (parts.size() > 1) stats.count_completed_message(group);
}

}  // namespace

int main(int argc, char** argv) {
  feedwatch::HttpSettings settings;
  if (argc > 1) settings.port = static_cast<std::uint16_t>(std::stoi(argv[1]));
  const Clock::time_point start = Clock::now();
  std::string reason;
  const auto view =
      feedwatch::LiveView::open(settings, {"1.0.0", "235.5.6.7", {6040}, start}, reason);
  if (!view) {
    std::fprintf(stderr, "live_driver: cannot serve HTTP: %s\n", reason.c_str());
    return 255;
  }
  std::printf("port %u\n", static_cast<unsigned>(view->port()));
  std::fflush(stdout);
  feedwatch::FeedStatistics stats(start);
  const feedwatch::MultipacketStore store;
  std::map<std::string, Sender> senders;
  Commands commands;
  Clock::time_point summary = start + 1s;
  for (bool ended = false; !ended;) {
    for (const std::string& line : commands.take(ended)) apply(line, senders);
    const Clock::time_point now = Clock::now();
    for (auto& [name, s] : senders) {
      if (now < s.next) continue;
      send(s, stats, *view);
      s.next = now + s.period;
    }
    if (now >= summary) {
      view->publish_summary(stats.json_summary(store, now), stats.counters(store));
      summary += 1s;
    }
    std::this_thread::sleep_for(10ms);
  }
  return 0;
}
