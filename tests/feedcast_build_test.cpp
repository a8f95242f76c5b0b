// The generator's packets, byte for byte, built from configuration files:
// headers, record tables, compression, multi-packet messages, the messages
// of a run while the file stays or changes, the values that move, and the
// faults injected into the datagrams with the lines that say so.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "feedcast/compression.h"
#include "feedcast/faults.h"
#include "feedcast/multipacket.h"
#include "feedcast/record_builder.h"
#include "feedcast/sender_config.h"
#include "feedcast/simulation.h"
#include "feedcast/trace_output.h"
#include "feedcast/table_settings.h"
#include "feedcast/transmit_loop.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "portable/settled_file.h"
#include "support/baseline.h"
#include "support/packets.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using test_support::TempDir;

constexpr std::int64_t kNow = 0x1'5FCB'E6C0;  // a 64-bit clock; the header keeps the low 32 bits

// The trace of a table compressed, in the words of most kinds.
const std::string kCompressed = "\nCompressed successfully\nCompression complete";

// The datagrams of one pass, its failure and its trace; `datagram` holds a
// single packet.
struct Message {
  std::vector<Bytes> parts;
  Bytes datagram;
  std::string failure;
  std::string trace;
  bool operator==(const Message&) const = default;
};

// Writes feedcast.ini into `dir` and returns its path.
std::string written(const TempDir& dir, const std::string& text) {
  dir.write("feedcast.ini", text);
  return dir.file("feedcast.ini");
}

// A run of the generator over a configuration file's text, pass after pass.
struct Generator {
  explicit Generator(const std::string& text)
      : ini(written(dir, text)),
        config(feedcast::read_sender_config(ini)),
        source(config, *packet::find_kind(config.message_type), ini) {}

  // One pass at calendar time `now`.
  Message next(std::int64_t now = kNow) {
    Message m;
    const portable::Result<std::span<const packet::Datagram>> message = source.next(now);
    if (!message) m.failure = message.failure();
    for (const packet::Datagram d : message ? *message : std::span<const packet::Datagram>()) {
      m.parts.emplace_back(d.begin(), d.end());
    }
    if (m.parts.size() == 1) m.datagram = m.parts.front();
    m.trace = source.trace();
    return m;
  }

  // Saves the file and waits until the next pass takes it.
  void edit(const std::string& text) {
    dir.write("feedcast.ini", text);
    std::this_thread::sleep_for(2 * portable::kSettleTime);
  }

  TempDir dir;
  platform::ProfileFile ini;
  feedcast::SenderConfig config;
  feedcast::PacketSource source;
};

// The first pass of a run.
Message build(const std::string& text, std::int64_t now = kNow) {
  return Generator(text).next(now);
}

// A file with a table of `records` records of kind `type`: `mcast` and
// `keys` are the other keys of [MCast] and of the kind's section.
std::string table_file(int type, int records, const std::string& mcast = "",
                       const std::string& keys = "") {
  return "[MCast]\nMessageType=" + std::to_string(type) + "\n" + mcast + "[" +
         std::string(packet::find_kind(type)->section) + "]\nNumber=" + std::to_string(records) +
         "\n" + keys;
}

// Application records whose IDs are 100 + their index.
std::string application(int records, int encode, const std::string& mcast) {
  std::string text =
      table_file(1, records, "ServerName=CC1\n" + mcast, "Encode=" + std::to_string(encode) + "\n");
  for (int i = 0; i < records; ++i) {
    text += "ApplicationID" + std::to_string(i) + "=" + std::to_string(100 + i) + "\n";
    text += "CallsWaiting" + std::to_string(i) + "=" + std::to_string(7 * i) + "\n";
  }
  return text;
}

// The records of a datagram, expanded when compressed.
Bytes plain_records(const Bytes& datagram) {
  Bytes area(datagram.begin() + 68, datagram.end());
  if (packet::encoding(datagram.data()) != 1) return area;
  Bytes plain(std::size_t{packet::num_record(datagram.data())} *
              packet::record_size(datagram.data()));
  uLongf length = plain.size();
  EXPECT_EQ(uncompress(plain.data(), &length, area.data(), area.size()), Z_OK);
  EXPECT_EQ(length, plain.size());
  return plain;
}

// The table as a look-up of every key, one by one, reads it.
Bytes table_by_lookups(const packet::Kind& kind, const platform::ProfileFile& ini, int records) {
  Bytes area(std::size_t(records) * kind.record_size);
  for (int i = 0; i < records; ++i) {
    for (const packet::Field& f : kind.layout->fields) {
      if (!f.keyed) continue;
      const std::string key = std::string(f.name) + std::to_string(i);
      packet::store_field(area.data() + std::size_t(i) * kind.record_size, f,
                          static_cast<std::uint32_t>(ini.read_int(kind.section, key, 0)));
    }
  }
  return area;
}

// The worked example's header from two configurations: one with the defaults
// of the version and scheme, one whose values the header fields cut to their
// low bits, hexadecimal ones too.
TEST(FeedcastPacket, HeaderFromTheConfiguration) {
  for (const char* mcast : {"", "ReleaseNumber=262\nMinorVersion=0x100\nBuildNumber=-250\n"}) {
    const Message p = build("[MCast]\nMessageType=6\nServerName=CC1\n" + std::string(mcast) +
                            "[Route]\nNumber=65537\nEncode=0b100000000\n");
    EXPECT_EQ(p.datagram, test_support::make_packet(test_support::default_fields(6, 1), Bytes(10)));
    EXPECT_EQ(p.trace, "");
  }
}

TEST(FeedcastPacket, ServerNameUnitsCarryTheByteValues) {
  const Message p = build("[MCast]\nMessageType=4\nServerName=Caf\xE9-0123456789ABCDEFGH\n");
  EXPECT_EQ(packet::server_name(p.datagram.data()), u"Caf\u00E9-0123456789ABCDE");
  EXPECT_EQ(packet::read_number(p.datagram.data(), packet::header_field("NameTerminator")), 0u);
}

// Keys in any order and spelling, values in decimal or hexadecimal: every
// kind's table reads as the look-ups of its keys read it, over whatever the
// area held, and goes out behind the header that the writer makes.
TEST(FeedcastPacket, EveryKindsTableAsTheLookUpsReadIt) {
  for (int type = 1; type <= 6; ++type) {
    SCOPED_TRACE(type);
    const packet::Kind& kind = *packet::find_kind(type);
    const int records = std::min<int>(3, kind.max_records);
    std::string text = table_file(type, records);
    // Backwards, so that no key comes where a file in record order has it;
    // some keys missing, some values quoted.
    for (int i = records; i >= 0; --i) {
      int n = 0;
      for (const packet::Field& f : kind.layout->fields) {
        char value[16];
        ++n;
        std::snprintf(value, sizeof value, n % 2 ? "0x%x" : "%u", 0x01020300u + 0x10000u * i + n);
        const std::string key = std::string(f.name) + std::to_string(i), quote = n % 3 ? "" : "'";
        if ((i + n) % 4) text += key + " = " + quote + value + quote + "\n";
      }
    }
    const std::string first(kind.layout->fields.front().name);
    const std::string last(kind.layout->fields.back().name);
    text +=
        // Duplicates: the first one counts, even without a value.
        first + "0=999\n" + last + "1\n" + last + "1=7\n" +
        // Other spellings of an index name no record.
        first + "01=5\n" + first + "+1=5\n" + first + "000000=5\n" + first + "=5\n" +
        // Case is ignored, blanks and quotes go.
        "[" + std::string(kind.section) + "]\n" + first + "2=8\n";
    std::string lower_case = text;
    for (char& c : lower_case) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const std::string& file : {text, lower_case}) {
      Generator run(file);
      const Bytes table = table_by_lookups(kind, run.ini, records);
      Bytes walked(table.size(), 0xAA);
      feedcast::build_records(kind, run.ini, walked.data(), static_cast<std::uint16_t>(records));
      EXPECT_EQ(walked, table);
      packet::HeaderFields header = test_support::default_fields(type, records);
      header.server_name.clear();
      EXPECT_EQ(run.next().datagram, test_support::make_packet(header, table));
    }
  }
}

// A table of the kind's maximum goes out; one record more is refused with the kind's message.
TEST(FeedcastPacket, LimitsAreInclusive) {
  for (int type = 1; type <= 6; ++type) {
    const packet::Kind& kind = *packet::find_kind(type);
    const Message full = build(table_file(type, kind.max_records));
    EXPECT_EQ(full.failure, "") << type;
    EXPECT_EQ(full.datagram.size(), 68u + kind.max_records * kind.record_size) << type;
    const Message over = build(table_file(type, kind.max_records + 1));
    EXPECT_EQ(over.failure, kind.limit_message) << type;
    EXPECT_TRUE(over.datagram.empty()) << type;
  }
  const Message refused = build("[MCast]\n[Application]\nNumber=501\nEncode=3\n");
  EXPECT_EQ(refused.trace, "Encode value read from the file was 3");
}

// A compressed table goes out under Encoding 1 as its stream, over the
// table's first bytes when it is shorter; the trace in the kind's words.
TEST(FeedcastPacket, CompressedTablesAndTheirTrace) {
  const struct {
    std::string ini;
    std::size_t area;
    std::string trace;
  } cases[] = {
      {"[Application]\nNumber=2\nEncode=257\nApplicationID0=-5\nApplicationID1=77\n", 168,
       "Encode value read from the file was 10 : App ID = -5\n1 : App ID = 77\n" + kCompressed},
      {"[MCast]\nMessageType=2\n[Skillset]\nNumber=1\nEncode=1\n", 116,
       "\nEncoded successfully\nEncoding complete"},
      {"[MCast]\nMessageType=6\n[Route]\nNumber=0\nEncode=1\n", 8,
       kCompressed},  // the stream is longer
  };
  for (const auto& c : cases) {
    const Message p = build(c.ini);
    ASSERT_EQ(p.datagram.size(), 68u + c.area) << c.ini;
    EXPECT_EQ(packet::encoding(p.datagram.data()), 1);
    plain_records(p.datagram);  // a stream of the whole table
    EXPECT_EQ(p.trace, c.trace);
  }
}

// A stream that does not fit leaves the plain table, under Encoding 0.
TEST(FeedcastCompression, AFailureSendsThePlainTableUnderEncodingZero) {
  packet::HeaderFields f = test_support::default_fields(5, 3);
  f.encoding = 1;
  Bytes table(96);
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint8_t>(i * 37);
  Bytes packet = test_support::make_packet(f, table);
  std::string trace;
  const feedcast::Compressed c =
      feedcast::compress_record_area(*packet::find_kind(5), packet.data(), 4, trace);
  EXPECT_EQ(c.area, 96u);
  EXPECT_EQ(c.stream, 0u);
  EXPECT_EQ(trace, "\nCompressed eZLIB_BUF\nCompression complete");
  f.encoding = 0;
  EXPECT_EQ(packet, test_support::make_packet(f, table));
}

// Parts carry consecutive slices, all full but the last, under headers that
// differ from the single packet's only in PacketNumber, PacketCount and
// NumRecord; compressed, each part is a stream of its own and has its trace.
TEST(Multipacket, PartsCarryTheSlicesOfTheSinglePacketsTable) {
  for (int encode : {0, 1}) {
    SCOPED_TRACE(encode);
    const Message single = build(application(5, encode, ""));
    const Message parts = build(application(5, encode, "MaxRecordsPerPacket=2\n"));
    ASSERT_EQ(single.parts.size(), 1u);
    ASSERT_EQ(parts.parts.size(), 3u) << parts.failure;
    Bytes joined;
    for (std::size_t p = 0; p < 3; ++p) {
      const Bytes& part = parts.parts[p];
      Bytes expected_header(single.parts[0].begin(), single.parts[0].begin() + 68);
      packet::write_number(expected_header.data(), packet::header_field("PacketNumber"), p + 1);
      packet::write_number(expected_header.data(), packet::header_field("PacketCount"), 3);
      packet::write_number(expected_header.data(), packet::header_field("NumRecord"),
                           p < 2 ? 2 : 1);
      EXPECT_EQ(Bytes(part.begin(), part.begin() + 68), expected_header) << "part " << p + 1;
      const Bytes records = plain_records(part);
      joined.insert(joined.end(), records.begin(), records.end());
    }
    EXPECT_EQ(joined, plain_records(single.parts[0]));
    EXPECT_EQ(parts.trace, single.trace + (encode ? kCompressed + kCompressed : ""));
  }
  // A table within the limit is the single packet of today.
  EXPECT_EQ(build(application(2, 0, "MaxRecordsPerPacket=2\n")).parts,
            build(application(2, 0, "")).parts);
}

// An empty table, or a MaxRecordsPerPacket below 1, is one packet; at most
// 255 parts go out.
TEST(Multipacket, OneEmptyPacketAndAtMost255Parts) {
  const auto route = [](int records, int most) {
    return build(table_file(6, records, "MaxRecordsPerPacket=" + std::to_string(most) + "\n"));
  };
  EXPECT_EQ(route(0, 3).parts.size(), 1u);
  EXPECT_EQ(route(600, -5).parts.size(), 1u);
  const Message most = route(510, 2);
  ASSERT_EQ(most.parts.size(), 255u);
  EXPECT_EQ(packet::packet_number(most.parts.back().data()), 255);
  EXPECT_EQ(packet::packet_count(most.parts.back().data()), 255);
  const Message refused = route(511, 2);
  EXPECT_TRUE(refused.parts.empty());
  EXPECT_EQ(refused.failure,
            "511 records need 256 packets of at most 2 records; at most 255 are possible");
  EXPECT_EQ(route(601, 1).failure, packet::find_kind(6)->limit_message);
}

// Two passes over an unchanged file send the same parts but the Timestamp
// (renewed in every part) and print the same trace lines; an edit shows in
// the next pass once the file has been left alone.  (A fresh run's first
// pass is the reference.)
TEST(PacketSource, ReusesThePacketWhileTheFileIsUnchanged) {
  const std::string before = application(2, 1, "MaxRecordsPerPacket=1\n");
  const std::string after = application(3, 1, "MaxRecordsPerPacket=1\n");
  Generator run(before);
  EXPECT_EQ(run.next(1000), build(before, 1000));
  const Message second = run.next(2000);
  EXPECT_EQ(second, build(before, 2000));
  EXPECT_EQ(second.parts.size(), 2u);
  run.edit(after);
  const Message edited = run.next(2000);
  EXPECT_EQ(edited, build(after, 2000));
}

// Each quoted text of tests/baselines/value_forms.txt as the parser reads it:
// "LOW..HIGH" a range, "START+MAX" a counter; plain numbers, other spellings,
// other bases and numbers too large are neither (the integer rule reads them
// as constants).
TEST(ValueForm, TheTwoFormsAndWhatIsNeither) {
  const auto form_of = [](const std::string& text) {
    const std::optional<feedcast::ValueForm> f = feedcast::parse_value_form(text);
    if (!f) return std::string("neither");
    const bool range = f->type == feedcast::ValueForm::Type::kRange;
    return std::string(range ? "range " : "counter ") + std::to_string(f->first) + " " +
           std::to_string(f->second);
  };
  std::istringstream rows(test_support::read_file(BASELINE_DIR "/value_forms.txt"));
  std::string read;
  for (std::string row; std::getline(rows, row);) {
    const std::string text = row.substr(1, row.rfind('"') - 1);
    read += '"' + text + "\" " + form_of(text) + "\n";
  }
  ASSERT_FALSE(read.empty());
  test_support::expect_baseline("value_forms", read);
}

// A Route run whose values move, drawn from `seed`.
std::string moving_route(int records, std::uint32_t seed, const std::string& keys) {
  return table_file(6, records, "Simulate=1\nSimulateSeed=" + std::to_string(seed) + "\n", keys);
}

// RouteNumber and AllTrunksBusyTime of record `r` of a Route datagram.
std::int32_t route_number(const Message& m, int r = 0) {
  return static_cast<std::int32_t>(packet::load_be32(&m.datagram.at(68 + 10 * r)));
}
std::uint32_t busy_time(const Message& m, int r = 0) {
  return packet::load_be32(&m.datagram.at(74 + 10 * r));
}

// Ranges stay inside, step by at most a tenth and reach both ends; counters
// grow by 0 to MAX and wrap at 2^32; the 16-bit field keeps the low 16 bits,
// least significant byte first, as a constant's.
TEST(Simulation, RangesWalkAndCountersGrow) {
  Generator run(moving_route(2, 7,
                             "RouteNumber0=4..-3\nAllTrunksBusy0=65530+3\n"
                             "AllTrunksBusyTime0=0..1000\nRouteNumber1=4294967000+5\n"));
  Message m = run.next();
  EXPECT_EQ(route_number(m, 0), -3);  // the first pass shows LOW and START
  EXPECT_EQ(m.datagram[72] | m.datagram[73] << 8, 65530);
  bool low = false, high = false, wrapped = false;
  std::int64_t time = 0;
  auto counter = static_cast<std::uint32_t>(route_number(m, 1));
  for (int i = 0; i < 500; ++i) {
    m = run.next();
    ASSERT_TRUE(route_number(m, 0) >= -3 && route_number(m, 0) <= 4) << route_number(m, 0);
    low |= route_number(m, 0) == -3;
    high |= route_number(m, 0) == 4;
    ASSERT_LE(busy_time(m, 0), 1000u);
    ASSERT_LE(std::abs(busy_time(m, 0) - time), 100) << "a step of more than a tenth of the range";
    time = busy_time(m, 0);
    const auto now = static_cast<std::uint32_t>(route_number(m, 1));
    ASSERT_LE(now - counter, 5u);  // modulo 2^32
    wrapped |= now < counter;
    counter = now;
  }
  EXPECT_TRUE(low && high && wrapped);
}

// With Simulate 1 the seed decides every value, on every platform (this
// sequence is the generator's, pinned), compressed too, and the Application
// trace follows them; with another value the file sends constants.
TEST(Simulation, TheSeedDecidesEveryValue) {
  const std::vector<std::uint32_t> pinned = {0,  1000, 7, 1013, 6,  1046,
                                             11, 1090, 8, 1124, 13, 1145};
  // Read as integers, "0..100" is 0 and "1000+50" is 1000.
  const std::vector<std::uint32_t> constant = {0, 1000, 0, 1000, 0, 1000,
                                               0, 1000, 0, 1000, 0, 1000};
  const std::size_t second = packet::find_kind(1)->record_size;
  for (const char* simulate : {"1", "2"}) {
    SCOPED_TRACE(simulate);
    Generator run(
        "[MCast]\nSimulate=" + std::string(simulate) +
        "\nSimulateSeed=20201205\n"
        "[Application]\nNumber=2\nEncode=1\nApplicationID0=0..100\nApplicationID1=1000+50\n");
    const bool moving = *simulate == '1';
    EXPECT_EQ(run.source.simulate_seed(), moving ? 20201205u : 0u);
    std::vector<std::uint32_t> values;
    for (int i = 0; i < 6; ++i) {
      const Message m = run.next();
      const Bytes records = plain_records(m.datagram);
      values.push_back(packet::load_be32(records.data()));
      values.push_back(packet::load_be32(&records.at(second)));
      EXPECT_EQ(m.trace,
                "Encode value read from the file was 1"
                "0 : App ID = " +
                    std::to_string(values[2 * i]) +
                    "\n1 : App ID = " + std::to_string(values[2 * i + 1]) + "\n" + kCompressed);
    }
    EXPECT_EQ(values, moving ? pinned : constant);
  }
  EXPECT_EQ(feedcast::Simulation(5).seed(), 5u);
  EXPECT_NE(feedcast::Simulation(0).seed(), 0u);
}

// An edit restarts only the keys whose text it changed; a table that grows
// gains walkers and one that shrinks drops them.
TEST(Simulation, EditsRestartOnlyTheKeysTheyChange) {
  const std::string keys =
      "RouteNumber0=0..1000\nAllTrunksBusyTime0=0..1000\n"
      "RouteNumber1=500..600\nAllTrunksBusyTime1=0+9\n";
  Generator steady(moving_route(2, 11, keys));
  Generator edited(moving_route(2, 11, keys));
  for (int i = 0; i < 20; ++i) ASSERT_EQ(steady.next(), edited.next()) << "pass " << i;
  // RouteNumber0 gets a new text, a third record appears.
  const std::string changed =
      "RouteNumber0=0 .. 1000\n" + keys.substr(keys.find('\n') + 1) + "RouteNumber2=40..50\n";
  edited.edit(moving_route(3, 11, changed));
  const Message before = steady.next(), after = edited.next();
  EXPECT_EQ(route_number(after, 0), 0);  // restarted
  EXPECT_EQ(busy_time(after, 0), busy_time(before, 0));
  EXPECT_EQ(route_number(after, 1), route_number(before, 1));
  EXPECT_EQ(busy_time(after, 1), busy_time(before, 1));
  EXPECT_EQ(route_number(after, 2), 40);  // new
  // Down to one record and back to two: record 1 starts again.
  edited.edit(moving_route(1, 11, changed));
  edited.next();
  edited.edit(moving_route(2, 11, changed));
  const Message again = edited.next();
  EXPECT_EQ(route_number(again, 1), 500);
  EXPECT_EQ(busy_time(again, 1), 0u);
  EXPECT_NE(route_number(again, 0), 0) << "a text that did not change restarted";
}

// The message that `table` makes, the fault lines and the bytes sent for
// `rounds` passes over it with the faults `faults` asks for.
struct Injected {
  std::vector<Bytes> message;
  std::string lines;
  std::vector<Bytes> sent;
};

Injected inject(const std::string& table, const std::string& faults, int rounds) {
  Generator run(table + "[Faults]\n" + faults);
  Injected r{run.next().parts, "", {}};
  feedcast::FaultInjector injector;
  injector.update(run.ini);
  const std::vector<packet::Datagram> datagrams(r.message.begin(), r.message.end());
  for (int round = 0; round < rounds; ++round) {
    for (const std::size_t i : injector.order(datagrams, r.lines)) {
      const feedcast::Shipment s = injector.shape(datagrams[i], r.lines);
      for (int c = 0; c < s.copies; ++c) r.sent.emplace_back(s.bytes.begin(), s.bytes.end());
    }
  }
  return r;
}

// A table that makes a message of three Application parts of one record each.
std::string three_parts() { return table_file(1, 3, "MaxRecordsPerPacket=1\n"); }

// What the lines say is done: one byte changed, in the record area or in the
// header of an empty table; parts sent in every order.  (The end-to-end tests
// check each fault on the wire.)
TEST(Faults, EachFaultIsDoneAsItsLineSays) {
  const std::string t = std::to_string(static_cast<std::uint32_t>(kNow));
  for (const int records : {2, 0}) {
    const Injected r = inject(table_file(1, records), "CorruptPercent=100\nSeed=1\n", 20);
    const Bytes& before = r.message.front();
    ASSERT_EQ(r.sent.size(), 20u);
    std::string said;
    for (const Bytes& sent : r.sent) {
      ASSERT_EQ(sent.size(), before.size());
      std::size_t changed = 0, at = 0;
      for (std::size_t i = 0; i < before.size(); ++i) {
        if (sent[i] != before[i]) ++changed, at = i;
      }
      EXPECT_EQ(changed, 1u);
      EXPECT_GE(at, before.size() > 68 ? 68u : 0u);
      said += "Fault: changed byte " + std::to_string(at) + " of packet 1 of 1, time " + t + "\n";
    }
    EXPECT_EQ(r.lines, said);
  }

  // Every order of three parts turns up, and the parts go out in the order named.
  const Injected r = inject(three_parts(), "ReorderParts=1\nSeed=3\n", 60);
  ASSERT_EQ(r.sent.size(), 180u);
  std::set<std::string> orders;
  std::string said;
  const auto number = [&](std::size_t i) {  // of the i-th datagram sent
    return std::to_string(packet::packet_number(r.sent[i].data()));
  };
  for (std::size_t m = 0; m < 60; ++m) {
    const std::string order = number(3 * m) + "," + number(3 * m + 1) + "," + number(3 * m + 2);
    orders.insert(order);
    said += "Fault: parts of time " + t + " sent in the order " + order + "\n";
  }
  EXPECT_EQ(r.lines, said);
  EXPECT_EQ(orders.size(), 6u);
  EXPECT_TRUE(inject(table_file(1, 2), "ReorderParts=1\n", 1).lines.empty());
}

// A Seed repeats every choice; the rates are those asked for.
TEST(Faults, RepeatableAtTheRatesAskedFor) {
  const std::string faults =
      "DropPercent=10\nDuplicatePercent=20\nTruncatePercent=30\n"
      "CorruptPercent=40\nReorderParts=1\n";
  const Injected a = inject(three_parts(), faults + "Seed=42\n", 4000);
  const Injected b = inject(three_parts(), faults + "Seed=42\n", 4000);
  EXPECT_EQ(a.lines, b.lines);
  EXPECT_EQ(a.sent, b.sent);
  EXPECT_NE(a.lines, inject(three_parts(), faults + "Seed=43\n", 4000).lines);

  std::map<std::string, double> seen;  // by the word after "Fault: "
  std::istringstream lines(a.lines);
  for (std::string line; std::getline(lines, line);)
    seen[line.substr(7, line.find(' ', 7) - 7)] += 1;
  const double datagrams = 3 * 4000, kept = datagrams - seen["dropped"];
  EXPECT_NEAR(seen["dropped"] / datagrams, 0.10, 0.015);
  EXPECT_NEAR(seen["duplicated"] / kept, 0.20, 0.02);
  EXPECT_NEAR(seen["truncated"] / kept, 0.30, 0.02);
  EXPECT_NEAR(seen["changed"] / kept, 0.40,
              0.02);  // a datagram cut to nothing has no byte to change
  EXPECT_EQ(seen["parts"], 4000);
}

// The values that no header shows: strings cut to their buffers, a missing
// or negative TTL as 64, the pause in milliseconds modulo 2^32.
TEST(FeedcastConfig, DefaultsLimitsAndDerivedValues) {
  EXPECT_EQ(feedcast::effective_ttl(Generator("").config), 64);
  const feedcast::SenderConfig c =
      Generator("[MCast]\nSource=127.000.000.001XYZW\nServerName=" + std::string(120, 'n') +
                "\nTTL=-3\nUpdateRate=4294968\n")
          .config;
  EXPECT_EQ(c.source, "127.000.000.001XYZW");
  EXPECT_EQ(c.server_name.size(), 99u);
  EXPECT_EQ(feedcast::effective_ttl(c), 64);
  EXPECT_EQ(feedcast::pause_after_message(c), 4294968000u - 4294967296u);
}

// A MessageType outside the catalogue is refused whatever the scheme; a
// StatScheme other than 0 or 1 (256 too) with the kind's own message.
TEST(FeedcastConfig, KindAndSchemeChecks) {
  feedcast::SenderConfig config{};
  for (config.message_type = 0; config.message_type <= 7; ++config.message_type) {
    const packet::Kind* kind = packet::find_kind(config.message_type);
    for (const int scheme : {0, 1, 2, -1, 256}) {
      config.stat_scheme = scheme;
      const bool valid = kind != nullptr && (scheme == 0 || scheme == 1);
      const portable::Result<const packet::Kind*> checked = feedcast::check_kind_and_scheme(config);
      EXPECT_EQ(checked ? *checked : nullptr, valid ? kind : nullptr);
      EXPECT_EQ(checked ? "" : checked.failure(),
                kind == nullptr ? "Incorrect Msg Type and Stat Scheme selected"
                : valid         ? ""
                                : kind->scheme_message)
          << config.message_type << " " << scheme;
    }
  }
}

// The manual names every key feedcast reads, and for each kind its size,
// limit and key stems with their offsets and widths as the tables have them.
TEST(FeedcastConfig, TheManualDescribesEveryKey) {
  const std::string manual = test_support::read_file(MANUAL_DIR "/feedcast.ini.5");
  ASSERT_FALSE(manual.empty());
  auto names = [&](std::string_view key) {  // as a word, not as a macro such as .IP
    return std::regex_search(manual, std::regex("[^.\\w]" + std::string(key) + "\\b"));
  };
  for (const auto& s : feedcast::kMCastSettings) EXPECT_TRUE(names(s.name)) << s.name;
  for (const auto& s : feedcast::kTableSettings) EXPECT_TRUE(names(s.name)) << s.name;
  for (const auto& s : feedcast::kFaultSettings) EXPECT_TRUE(names(s.name)) << s.name;
  for (int type = 1; type <= 6; ++type) {
    const packet::Kind& kind = *packet::find_kind(type);
    const std::string section = std::string("[").append(kind.section).append("]");
    std::string stems;
    int keyed = 0;
    for (const packet::Field& f : kind.layout->fields) {
      if (!f.keyed) continue;
      stems += std::string(f.name) + "\t" + std::to_string(f.offset) + "\t" +
               std::to_string(f.width) + "\n";
      ++keyed;
    }
    const std::string row = section + "|" + std::to_string(type) + "|" +
                            std::to_string(kind.record_size) + "|" +
                            std::to_string(kind.max_records) + "|" + std::to_string(keyed) + "\n";
    EXPECT_NE(manual.find(row), std::string::npos) << row;
    const std::string heading = "\\fBWidth\\fP\n";
    const std::size_t table = manual.find(heading, manual.find(".SS " + section));
    ASSERT_NE(table, std::string::npos) << section;
    EXPECT_EQ(manual.substr(table + heading.size(), stems.size() + 4), stems + ".fi\n") << section;
  }
}

// The trace, a warning, fault lines and a failure, where the trace and the
// warnings share one file and where they go to two: a warning or a failure
// starts on a line of its own, by a line end before it on the warnings' side,
// only where both show and a trace line is open; the trace's bytes stay.
TEST(TraceOutput, AWarningNeverContinuesAnOpenTraceLine) {
  const std::string skillset = "\nEncoded successfully\nEncoding complete";
  for (const bool shared : {true, false}) {
    const TempDir dir;
    // Appending, as a shell's 2>&1 or a terminal keeps the writes in order.
    std::FILE* trace = std::fopen(dir.file("trace").c_str(), "ab");
    std::FILE* warnings = std::fopen(dir.file(shared ? "trace" : "warnings").c_str(), "ab");
    {
      feedcast::TraceOutput out(trace, warnings, false);
      out.print(skillset);
      out.warn("Warning: W\n");
      out.print_faults("Fault: F\n");
      out.print(skillset);
      out.flush();
      out.end_open_line();
      std::fputs("Error: E\n", warnings);
    }
    std::fclose(trace);
    std::fclose(warnings);
    EXPECT_EQ(test_support::read_file(dir.file("trace")),
              shared ? skillset + "\nWarning: W\n\nFault: F\n" + skillset + "\nError: E\n"
                     : skillset + "\nFault: F\n" + skillset);
  }
}

}  // namespace
