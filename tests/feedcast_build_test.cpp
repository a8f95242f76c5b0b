// The generator's packets, byte for byte, built from configuration files:
// headers, record tables, compression, multi-packet messages, and the
// messages of a run while the file stays or changes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "feedcast/compression.h"
#include "feedcast/config_keys.h"
#include "feedcast/multipacket.h"
#include "feedcast/record_builder.h"
#include "feedcast/sender_config.h"
#include "feedcast/transmit_loop.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "platform/settled_file.h"
#include "support/packets.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using test_support::TempDir;

constexpr std::int64_t kNow = 0x1'5FCB'E6C0;  // a 64-bit clock; the header keeps the low 32 bits

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
    for (const feedcast::Datagram d : source.next(now, m.failure)) {
      m.parts.emplace_back(d.begin(), d.end());
    }
    if (m.parts.size() == 1) m.datagram = m.parts.front();
    m.trace = source.trace();
    return m;
  }

  // Saves the file and waits until the next pass takes it.
  void edit(const std::string& text) {
    dir.write("feedcast.ini", text);
    std::this_thread::sleep_for(2 * platform::kSettleTime);
  }

  TempDir dir;
  platform::ProfileFile ini;
  feedcast::SenderConfig config;
  feedcast::PacketSource source;
};

// The first pass of a run.
Message build(const std::string& text, std::int64_t now = kNow) { return Generator(text).next(now); }

// Application records whose IDs are 100 + their index.
std::string application(int records, int encode, const std::string& mcast) {
  std::string text = "[MCast]\nServerName=CC1\n" + mcast + "[Application]\nNumber=" +
                     std::to_string(records) + "\nEncode=" + std::to_string(encode) + "\n";
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
  Bytes plain(std::size_t{packet::num_record(datagram.data())} * packet::record_size(datagram.data()));
  uLongf length = plain.size();
  EXPECT_EQ(uncompress(plain.data(), &length, area.data(), area.size()), Z_OK);
  EXPECT_EQ(length, plain.size());
  return plain;
}

// The table as a look-up of every key, one by one, reads it.
std::vector<std::uint8_t> table_by_lookups(const packet::Kind& kind,
                                           const platform::ProfileFile& ini, int records) {
  std::vector<std::uint8_t> area(std::size_t(records) * kind.record_size);
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
    ASSERT_EQ(p.datagram.size(), 68u + 10u);
    EXPECT_EQ(std::vector<std::uint8_t>(p.datagram.begin(), p.datagram.begin() + 68),
              test_support::make_packet(test_support::default_fields(6, 1)));
    EXPECT_EQ(p.trace, "");
  }
}

TEST(FeedcastPacket, ServerNameUnitsCarryTheByteValues) {
  const Message p = build("[MCast]\nMessageType=4\nServerName=Caf\xE9-0123456789ABCDEFGH\n");
  const std::u16string name = packet::server_name(p.datagram.data());
  EXPECT_EQ(name, u"Caf\u00E9-0123456789ABCDE");
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
    std::string text = "[MCast]\nMessageType=" + std::to_string(type) + "\n[" +
                       std::string(kind.section) + "]\nNumber=" + std::to_string(records) + "\n";
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
    const std::string head = "[MCast]\nMessageType=" + std::to_string(type) + "\n[" +
                             std::string(kind.section) + "]\nNumber=";
    const Message full = build(head + std::to_string(kind.max_records) + "\n");
    EXPECT_EQ(full.failure, "") << type;
    EXPECT_EQ(full.datagram.size(), 68u + kind.max_records * kind.record_size) << type;
    const Message over = build(head + std::to_string(kind.max_records + 1) + "\n");
    EXPECT_EQ(over.failure, kind.limit_message) << type;
    EXPECT_TRUE(over.datagram.empty()) << type;
  }
  const Message refused = build("[MCast]\n[Application]\nNumber=501\nEncode=3\n");
  EXPECT_EQ(refused.trace, "Encode value read from the file was 3");
}

// A compressed table goes out under Encoding 1 as its stream, over the
// table's first bytes when it is shorter; the trace in the kind's words.
TEST(FeedcastPacket, CompressedTablesAndTheirTrace) {
  const std::string compressed = "\nCompressed successfully\nCompression complete";
  const struct {
    std::string ini;
    std::size_t area;
    std::string trace;
  } cases[] = {
      {"[Application]\nNumber=2\nEncode=257\nApplicationID0=-5\nApplicationID1=77\n", 168,
       "Encode value read from the file was 10 : App ID = -5\n1 : App ID = 77\n" + compressed},
      {"[MCast]\nMessageType=2\n[Skillset]\nNumber=1\nEncode=1\n", 116,
       "\nEncoded successfully\nEncoding complete"},
      {"[MCast]\nMessageType=6\n[Route]\nNumber=0\nEncode=1\n", 8, compressed},  // the stream is longer
  };
  for (const auto& c : cases) {
    const Message p = build(c.ini);
    ASSERT_EQ(p.datagram.size(), 68u + c.area) << c.ini;
    EXPECT_EQ(packet::encoding(p.datagram.data()), 1);
    plain_records(p.datagram);  // a stream of the whole table
    EXPECT_EQ(p.trace, c.trace);
  }
}

TEST(FeedcastCompression, AFailureSendsThePlainTableUnderEncodingZero) {
  std::vector<std::uint8_t> packet(68 + 1000);
  packet::HeaderFields f = test_support::default_fields(5, 3);
  f.encoding = 1;
  packet::write_header(packet.data(), f);
  for (std::size_t i = 68; i < 68 + 96; ++i) packet[i] = static_cast<std::uint8_t>(i * 37);
  const std::vector<std::uint8_t> before = packet;
  std::string trace;
  const std::size_t area =
      feedcast::compress_record_area(*packet::find_kind(5), packet.data(), 4, trace);
  EXPECT_EQ(trace, "\nCompressed eZLIB_BUF\nCompression complete");
  EXPECT_EQ(area, 96u);
  EXPECT_EQ(packet::encoding(packet.data()), 0);
  EXPECT_TRUE(std::equal(packet.begin() + 68, packet.end(), before.begin() + 68));
}

// A table in parts of at most `most` records (none below 1); an empty table is one packet.
TEST(Multipacket, PartCounts) {
  struct Case {
    std::uint32_t records;
    std::int32_t most;
    std::uint32_t parts;
  };
  for (const Case& c : {Case{700, 0, 1}, Case{700, -5, 1}, Case{0, 3, 1}, Case{3, 3, 1},
                        Case{4, 3, 2}, Case{7, 3, 3}, Case{256, 1, 256}}) {
    EXPECT_EQ(feedcast::part_count(c.records, c.most), c.parts) << c.records << " / " << c.most;
  }
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
      packet::write_number(expected_header.data(), packet::header_field("NumRecord"), p < 2 ? 2 : 1);
      EXPECT_EQ(Bytes(part.begin(), part.begin() + 68), expected_header) << "part " << p + 1;
      const Bytes records = plain_records(part);
      joined.insert(joined.end(), records.begin(), records.end());
    }
    EXPECT_EQ(joined, plain_records(single.parts[0]));
    const std::string compressed = "\nCompressed successfully\nCompression complete";
    EXPECT_EQ(parts.trace, single.trace + (encode ? compressed + compressed : ""));
  }
  // A table within the limit is the single packet of today.
  EXPECT_EQ(build(application(2, 0, "MaxRecordsPerPacket=2\n")).parts,
            build(application(2, 0, "")).parts);
}

TEST(Multipacket, AtMost255Parts) {
  const auto route = [](int records, int most) {
    return build("[MCast]\nMessageType=6\nMaxRecordsPerPacket=" + std::to_string(most) +
                "\n[Route]\nNumber=" + std::to_string(records) + "\n");
  };
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
  std::string after = before;
  after.replace(after.find("ApplicationID1=101"), 18, "ApplicationID1=7");
  Generator run(before);
  EXPECT_EQ(run.next(1000), build(before, 1000));
  const Message second = run.next(2000);
  EXPECT_EQ(second, build(before, 2000));
  EXPECT_EQ(second.parts.size(), 2u);
  run.edit(after);
  const Message edited = run.next(2000);
  EXPECT_NE(edited.parts, second.parts);
  EXPECT_EQ(edited, build(after, 2000));
}

// With Simulate 1 every pass moves the values, compressed too, and the
// Application trace follows them; with another value the file sends constants.
TEST(PacketSource, SimulatedValuesMoveInEveryPass) {
  for (const char* simulate : {"1", "2"}) {
    SCOPED_TRACE(simulate);
    Generator run("[MCast]\nSimulate=" + std::string(simulate) + "\nSimulateSeed=8\n"
            "[Application]\nNumber=2\nEncode=1\nApplicationID0=100..200\nApplicationID1=7\n");
    const bool moving = *simulate == '1';
    EXPECT_EQ(run.source.simulate_seed(), moving ? 8u : 0u);
    std::set<std::uint32_t> ids;
    for (int pass = 0; pass < 30; ++pass) {
      const Message m = run.next(1000 + pass);
      const std::uint32_t id = packet::load_be32(plain_records(m.datagram).data());
      ASSERT_TRUE(moving ? id >= 100 && id <= 200 : id == 100) << id;
      ids.insert(id);
      EXPECT_EQ(m.trace, "Encode value read from the file was 1" "0 : App ID = " + std::to_string(id) +
                             "\n1 : App ID = 7\n\nCompressed successfully\nCompression complete");
    }
    EXPECT_EQ(ids.size() > 5, moving);
  }
}

// The defaults that no header shows (the header test shows the others).
TEST(FeedcastConfig, DefaultsWithoutAFile) {
  TempDir dir;
  const platform::ProfileFile ini(dir.file("feedcast.ini"));
  const feedcast::SenderConfig c = feedcast::read_sender_config(ini);
  EXPECT_EQ(c.source, "111");
  EXPECT_EQ(c.group, "235.5.6.7");
  EXPECT_EQ(c.message_type, 1);
  EXPECT_EQ(c.update_rate, 0);
  EXPECT_EQ(feedcast::effective_ttl(c), 64);
}

TEST(FeedcastConfig, ReadLimitsAndDerivedValues) {
  TempDir dir;
  dir.write("feedcast.ini", "[MCast]\nSource=127.000.000.001XYZW\nServerName=" +
                                std::string(120, 'n') + "\nTTL=-3\nUpdateRate=4294968\n");
  const platform::ProfileFile ini(dir.file("feedcast.ini"));
  const feedcast::SenderConfig c = feedcast::read_sender_config(ini);
  EXPECT_EQ(c.source, "127.000.000.001XYZW");
  EXPECT_EQ(c.server_name.size(), 99u);
  EXPECT_EQ(feedcast::effective_ttl(c), 64);
  EXPECT_EQ(feedcast::pause_after_message(c), 4294968000u - 4294967296u);
}

// A MessageType outside the catalogue is refused whatever the scheme; a
// StatScheme other than 0 or 1 (256 too) with the kind's own message.
TEST(FeedcastConfig, KindAndSchemeChecks) {
  feedcast::SenderConfig config;
  for (config.message_type = 0; config.message_type <= 7; ++config.message_type) {
    const packet::Kind* kind = packet::find_kind(config.message_type);
    for (const int scheme : {0, 1, 2, -1, 256}) {
      config.stat_scheme = scheme;
      std::string message;
      const bool valid = kind != nullptr && (scheme == 0 || scheme == 1);
      EXPECT_EQ(feedcast::check_kind_and_scheme(config, message), valid ? kind : nullptr);
      EXPECT_EQ(message, kind == nullptr ? "Incorrect Msg Type and Stat Scheme selected"
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
  for (std::string_view key : feedcast::kMCastKeys) EXPECT_TRUE(names(key)) << key;
  for (std::string_view key : feedcast::kTableKeys) EXPECT_TRUE(names(key)) << key;
  for (std::string_view key : feedcast::kFaultKeys) EXPECT_TRUE(names(key)) << key;
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

}  // namespace
