// Writes the dissector test's inputs into DIR: feedcast's configuration for
// each port, feedcast/<port>/feedcast.ini, and for a message in three parts,
// parts/<port>/feedcast.ini; and crafted.pcap, malformed, unusual, truncated
// and random datagrams.  Each capture's NAME.want gives each frame's key, the
// filter it must match and the values tshark must show under the fields that
// NAME.columns lists after the key field.
//
// Usage: craft_capture DIR
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "packet/catalogue.h"
#include "packet/header.h"
#include "packet/record_layouts.h"
#include "support/packets.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using packet::Field;
using packet::RecordLayout;
using test_support::default_fields;
using test_support::make_packet;
using test_support::zlib_compress;

// The filter for a frame with one expert item, this one.
std::string only(const std::string& expert) {
  return "feedstats." + expert + " && count(_ws.expert) == 1";
}

// The kinds' parts of the record fields' names, by MessageType.
const char* const kKinds[] = {"",       "application.", "skillset.", "agent.",
                              "nodal.", "ivr.",         "route."};

// A value as tshark prints its field: signed decimal or hex as the monitor
// shows it, AllTrunksBusy in 16 bits, SupervisorUserID by its first word.
std::string shown(const Field& f, std::uint32_t v) {
  char hex[16];
  std::snprintf(hex, sizeof hex, f.width == 2 ? "0x%04x" : "0x%08x", f.width == 2 ? v & 0xffff : v);
  if (f.shown == packet::Shown::kDecimal) return std::to_string(static_cast<std::int32_t>(v));
  return f.width > 4 ? std::to_string(v) : hex;
}

// A header field's value as tshark prints it, read by the C++ table.
std::string shown(const packet::HeaderField& f, const Bytes& header) {
  if (f.shown == packet::HeaderShown::kText) {
    const std::u16string text = packet::read_text(header.data(), f);
    return std::string(text.begin(), text.end());
  }
  const std::uint32_t v = packet::read_number(header.data(), f);
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%0*x", 2 * f.width, v);
  const bool in_hex =
      f.shown == packet::HeaderShown::kHex || f.shown == packet::HeaderShown::kHidden;
  return in_hex ? hex : std::to_string(v);
}

// The value of field j of record i: one of its own, but for two edge cases,
// all 32 bits set and an AllTrunksBusy wider than its 16 bits.
std::uint32_t value_of(unsigned i, unsigned j, const Field& f) {
  if (i == 0 && f.name == "CallsAbandoned") return 0xffffffff;
  if (i == 1 && f.name == "AllTrunksBusy") return 70000;
  return 1000 * (i + 1) + j + 1;
}

// Every key of every kind gets its value; tshark must show it under its
// field, zero in the fields that feedcast does not fill, nothing past
// RecordSize and no field of another kind.
void configurations(const std::string& dir) {
  std::ofstream columns(dir + "/feedcast.columns"), want(dir + "/feedcast.want");
  columns << "udp.dstport";
  for (int type = 1; type <= 6; ++type) {
    const packet::Kind& kind = *packet::find_kind(type);
    const unsigned count = std::min(3u, unsigned{kind.max_records});
    for (const std::uint8_t scheme : {0, 1}) {
      const std::string port = dir + "/feedcast/" + std::to_string(kind.port(scheme));
      std::filesystem::create_directories(port);
      std::ofstream ini(port + "/feedcast.ini");
      ini << "[MCast]\nMessageType=" << type << "\nStatScheme=" << +scheme << "\n[" << kind.section
          << "]\nNumber=" << count << "\nEncode=" << +scheme << '\n';
      // feedcast writes fewer Agent bytes than the monitor's layout has.
      want << kind.port(scheme) << '\t'
           << (kind.record_size < kind.layout->size ? only("short_layout") : "!_ws.expert");
      for (int other = 1; other <= 6; ++other) {
        const auto fields = packet::find_kind(other)->layout->fields;
        for (unsigned j = 0; j < fields.size(); ++j) {
          const Field& f = fields[j];
          std::string values;
          for (unsigned i = 0; other == type && f.offset + f.width <= kind.record_size && i < count;
               ++i) {
            if (f.keyed) ini << f.name << i << '=' << value_of(i, j, f) << '\n';
            values += (i ? "," : "") + shown(f, f.keyed ? value_of(i, j, f) : 0);
          }
          want << '\t' << values;
          if (type == 1 && scheme == 0) columns << " feedstats." << kKinds[other] << f.name;
        }
      }
      want << '\n';
    }
  }
  columns << '\n';
}

// One compressed Route message in three parts, a record in each: each part
// names the other two.
void parts(const std::string& dir) {
  const std::string port = dir + "/parts/" + std::to_string(packet::find_kind(6)->port(0));
  std::filesystem::create_directories(port);
  std::ofstream(port + "/feedcast.ini")
      << "[MCast]\nMessageType=6\nMaxRecordsPerPacket=1\n[Route]\nNumber=3\nEncode=1\n"
         "RouteNumber0=10\nRouteNumber1=11\nRouteNumber2=12\n";
  std::ofstream(dir + "/parts.columns")
      << "frame.number feedstats.PartFrame feedstats.route.RouteNumber\n";
  const char* const others[] = {"2,3", "1,3", "1,2"};  // the other parts, by part
  std::ofstream want(dir + "/parts.want");
  for (int n = 1; n <= 3; ++n) {
    want << n << '\t' << only("multipacket") << " && feedstats.Part matches \"^" << n
         << " of 3 [(]Timestamp [0-9]{10}[)]$\"\t" << others[n - 1] << '\t' << 9 + n << '\n';
  }
}

// `count` records of a layout, `size` bytes apart, every field that fits filled.
Bytes records(const RecordLayout& layout, unsigned count, unsigned size) {
  Bytes area(std::size_t{count} * size);
  for (unsigned i = 0; i < count; ++i) {
    for (unsigned j = 0; j < layout.fields.size(); ++j) {
      const Field& f = layout.fields[j];
      if (f.offset + f.width <= size) packet::store_field(&area[i * size], f, value_of(i, j, f));
    }
  }
  return area;
}

// The filter for those records: each value under its field, and no field past `size`.
std::string decoded(int type, const RecordLayout& layout, unsigned count, unsigned size) {
  std::string filter;
  for (unsigned j = 0; j < layout.fields.size(); ++j) {
    const Field& f = layout.fields[j];
    const std::string name = "feedstats." + (kKinds[type] + std::string(f.name));
    const bool present = count > 0 && f.offset + f.width <= size;
    filter += present ? " && count(" + name + ") == " + std::to_string(count) : " && !" + name;
    for (unsigned i = 0; present && i < count; ++i)
      filter += " && " + name + " == " + shown(f, value_of(i, j, f));
  }
  return filter;
}

// A pcap file of raw IPv4 datagrams to the feed's ports, and each frame's filter.
void crafted(const std::string& dir) {
  std::ofstream pcap(dir + "/crafted.pcap", std::ios::binary), want(dir + "/crafted.want");
  auto put = [&](auto... words) {
    (pcap.write(reinterpret_cast<const char*>(&words), sizeof words), ...);
  };
  put(0xa1b2c3d4u, std::uint16_t{2}, std::uint16_t{4}, 0, 0, 65535, 101);  // LINKTYPE_RAW
  int frames = 0;
  auto add = [&](const Bytes& payload, int port, const std::string& filter) {
    const int n = static_cast<int>(payload.size());
    Bytes ip = {0x45, 0, 0, 0, 0, 0, 0, 0, 1, 17, 0, 0, 192, 0, 2, 1, 235, 5, 6, 7, 0x9c, 0x40};
    for (int v : {port, n + 8, 0}) ip.insert(ip.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
    ip[2] = std::uint8_t((n + 28) >> 8), ip[3] = std::uint8_t(n + 28);
    ip.insert(ip.end(), payload.begin(), payload.end());
    put(1607198400 + frames, 0, n + 28, n + 28);
    pcap.write(reinterpret_cast<const char*>(ip.data()), n + 28);
    want << ++frames << '\t' << filter << '\n';
  };
  auto with = [](Bytes p, std::size_t at, int v) {
    p[at] = static_cast<std::uint8_t>(v);
    return p;
  };
  const RecordLayout &app = packet::kApplicationLayout, &skillset = packet::kSkillsetLayout,
                     &route = packet::kRouteLayout, &agent = packet::kAgentLayoutWithNrrc;

  // Every header byte distinct, the text fields printable (HeaderId to its
  // end, ServerName to a zero unit): tshark shows each field as the C++ table
  // reads it, and the version of bytes 13 to 15.
  Bytes distinct(packet::kHeaderSize);
  for (std::size_t i = 0; i < distinct.size(); ++i) distinct[i] = static_cast<std::uint8_t>(i + 1);
  packet::write_text(distinct.data(), packet::header_field("HeaderId"), u"WXYZ");
  packet::write_text(distinct.data(), packet::header_field("ServerName"), u"ABCDEFGHIJKLMNOPQRS");
  std::ofstream columns(dir + "/crafted.columns");
  columns << "frame.number feedstats.Version";
  std::string values = "\t14.15.16";
  for (const packet::HeaderField& f : packet::kHeaderFields) {
    if (f.shown == packet::HeaderShown::kTime) continue;  // checked in feedcast's captures
    columns << " feedstats." << f.name;
    values += '\t' + shown(f, distinct);
  }
  columns << '\n';
  add(distinct, 6020, "feedstats" + values);

  // Every length of a plain and of a compressed packet.
  const Bytes plain = make_packet(default_fields(1, 2), records(app, 2, 84));
  for (std::size_t n = 1; n <= plain.size(); ++n) {
    const auto whole = static_cast<unsigned>(n < 68 ? 0 : (n - 68) / 84);
    add(Bytes(plain.begin(), plain.begin() + n), 6020,
        n < 68 ? only("short_header")
               : (whole < 2 ? only("short_records") : "!_ws.expert") + decoded(1, app, whole, 84));
  }
  const Bytes compressed =
      with(make_packet(default_fields(2, 3), zlib_compress(records(skillset, 3, 116))), 12, 1);
  for (std::size_t n = 1; n <= compressed.size(); ++n) {
    add(Bytes(compressed.begin(), compressed.begin() + n), 6040,
        n < 68                  ? only("short_header")
        : n < compressed.size() ? "feedstats.no_expand"
                                : "!_ws.expert" + decoded(2, skillset, 3, 116));
  }

  add(with(compressed, compressed.size() - 1, compressed.back() ^ 0x5a), 6040,  // Adler-32
      only("no_expand"));
  const Bytes routes = make_packet(default_fields(6, 2), records(route, 2, 10));
  const std::string two_routes = decoded(6, route, 2, 10);
  add(with(routes, 59, 2), 6120, only("unknown_scheme") + two_routes);
  add(with(routes, 12, 2), 6120,  // read as plain once it does not expand
      "feedstats.encoding && feedstats.no_expand && count(_ws.expert) == 2" + two_routes);
  add(with(routes, 67, 0), 6120, only("record_size") + two_routes);
  add(with(routes, 58, 7), 6120, only("unknown_kind") + " && !feedstats.Record");
  add(with(routes, 7, 'X'), 6120, only("header_id") + " && feedstats.HeaderId == \"KEBX\"");
  add(with(with(routes, 8, 2), 9, 2), 6120,  // a part names its message by Timestamp
      only("multipacket") + " && feedstats.Part == \"2 of 2 (Timestamp 1607198400)\"" + two_routes);
  add(with(make_packet(default_fields(6, 1), zlib_compress(records(route, 4, 10))), 12, 1), 6120,
      only("expand_room") + " && feedstats.ExpandedLength == 40" + decoded(6, route, 1, 10));
  add(plain, 6120, only("port") + decoded(1, app, 2, 84));  // on the Route port
  // 2,338 Nodal records fill the monitor's 65,536 bytes.
  add(with(make_packet(default_fields(4, 3000), zlib_compress(Bytes(84000))), 12, 1), 6080,
      only("monitor_room") + " && count(feedstats.Record) == 2338");
  add(with(make_packet(default_fields(5, 0), zlib_compress({})), 12, 1), 6100,
      "!_ws.expert && feedstats.ExpandedLength == 0");

  // The Agent layout by version: 108 bytes for 8.4, 104 otherwise.
  packet::HeaderFields h = default_fields(3, 2);
  h.release_number = 8;
  for (std::uint16_t size : {108, 104}) {
    h.minor_version = size == 108 ? 4 : 5;
    h.record_size = size;
    add(make_packet(h, records(agent, 2, size)), 6060, "!_ws.expert" + decoded(3, agent, 2, size));
  }

  // Valid packets with random bytes changed, mostly in the header, some cut short.
  std::mt19937 random(8);
  auto pick = [&](std::size_t below) { return static_cast<std::uint32_t>(random() % below); };
  for (int n = 0; n < 400; ++n) {
    const int type = 1 + pick(6), encode = pick(2), num = pick(12);
    const Bytes area(num * packet::find_kind(type)->record_size, pick(256));
    Bytes p = with(make_packet(default_fields(type, num), encode ? zlib_compress(area) : area), 12,
                   encode);
    for (int k = 1 + pick(6); k > 0; --k) p[pick(pick(4) ? 68 : p.size())] = pick(256);
    if (pick(4) == 0) p.resize(1 + pick(p.size()));
    add(p, 6020 + 10 * pick(12), "feedstats");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: craft_capture DIR\n");
    return 2;
  }
  configurations(argv[1]);
  parts(argv[1]);
  crafted(argv[1]);
  return 0;
}
