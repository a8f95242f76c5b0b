// The generator's packets, byte for byte, built from configuration files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <regex>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "feedcast/compression.h"
#include "feedcast/config_keys.h"
#include "feedcast/sender_config.h"
#include "feedcast/transmit_loop.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "support/packets.h"

namespace {

using test_support::TempDir;

constexpr std::int64_t kNow = 0x1'5FCB'E6C0;  // a 64-bit clock; the header keeps the low 32 bits

// One pass of the generator over a configuration file's text: the datagram
// of a single packet, and its trace.
struct Pass {
  std::vector<std::uint8_t> datagram;
  std::string failure;
  std::string trace;
};

Pass build(const std::string& ini_text) {
  TempDir dir;
  dir.write("feedcast.ini", ini_text);
  platform::ProfileFile ini(dir.file("feedcast.ini"));
  const feedcast::SenderConfig config = feedcast::read_sender_config(ini);
  std::string refusal;
  const packet::Kind* kind = feedcast::check_kind_and_scheme(config, refusal);
  if (kind == nullptr) throw std::runtime_error(refusal);
  feedcast::PacketSource source(config, *kind, ini);
  Pass pass;
  const std::span<const feedcast::Datagram> message = source.next(kNow, pass.failure);
  if (message.size() == 1) pass.datagram.assign(message[0].begin(), message[0].end());
  pass.trace = source.trace();
  return pass;
}

// The value of the nth keyed field (from 1) of record i.
std::uint32_t value_of(int i, int n) { return 0x01020300 + 0x10000 * i + n; }

// The worked example's header from two configurations: one with the defaults
// of the version and scheme, one whose values the header fields cut to their
// low bits, hexadecimal ones too.
TEST(FeedcastPacket, HeaderFromTheConfiguration) {
  for (const char* mcast : {"", "ReleaseNumber=262\nMinorVersion=0x100\nBuildNumber=-250\n"}) {
    const Pass p = build("[MCast]\nMessageType=6\nServerName=CC1\n" + std::string(mcast) +
                         "[Route]\nNumber=65537\nEncode=0b100000000\n");
    ASSERT_EQ(p.datagram.size(), 68u + 10u);
    EXPECT_EQ(std::vector<std::uint8_t>(p.datagram.begin(), p.datagram.begin() + 68),
              test_support::make_packet(test_support::default_fields(6, 1)));
    EXPECT_EQ(p.trace, "");
  }
}

TEST(FeedcastPacket, ServerNameUnitsCarryTheByteValues) {
  const Pass p = build("[MCast]\nMessageType=4\nServerName=Caf\xE9-0123456789ABCDEFGH\n");
  const std::u16string name = packet::server_name(p.datagram.data());
  EXPECT_EQ(name, u"Caf\u00E9-0123456789ABCDE");
  EXPECT_EQ(packet::read_number(p.datagram.data(), packet::header_field("NameTerminator")), 0u);
}

// Every kind's packet from a file that gives every keyed field of two records
// (one Nodal Record) a value of its own: the header as the writer makes it,
// each value stored by its field's rule, every other byte zero.
TEST(FeedcastPacket, EveryKindsRecordsByteForByte) {
  for (int type = 1; type <= 6; ++type) {
    SCOPED_TRACE(type);
    const packet::Kind& kind = *packet::find_kind(type);
    const int records = std::min<int>(2, kind.max_records);
    std::string ini = "[MCast]\nServerName=CC1\nMessageType=" + std::to_string(type) + "\n[" +
                      std::string(kind.section) + "]\nNumber=" + std::to_string(records) + "\n";
    std::vector<std::uint8_t> table(records * kind.record_size);
    for (int i = 0; i < records; ++i) {
      int n = 0;
      for (const packet::Field& f : kind.layout->fields) {
        if (!f.keyed) continue;
        ini += std::string(f.name) + std::to_string(i) + "=" + std::to_string(value_of(i, ++n)) + "\n";
        packet::store_field(table.data() + i * kind.record_size, f, value_of(i, n));
      }
    }
    EXPECT_EQ(build(ini).datagram,
              test_support::make_packet(test_support::default_fields(type, records), table));
  }
}

// A table of the kind's maximum goes out; one record more is refused with the kind's message.
TEST(FeedcastPacket, LimitsAreInclusive) {
  for (int type = 1; type <= 6; ++type) {
    const packet::Kind& kind = *packet::find_kind(type);
    const std::string head = "[MCast]\nMessageType=" + std::to_string(type) + "\n[" +
                             std::string(kind.section) + "]\nNumber=";
    const Pass full = build(head + std::to_string(kind.max_records) + "\n");
    EXPECT_EQ(full.failure, "") << type;
    EXPECT_EQ(full.datagram.size(), 68u + kind.max_records * kind.record_size) << type;
    const Pass over = build(head + std::to_string(kind.max_records + 1) + "\n");
    EXPECT_EQ(over.failure, kind.limit_message) << type;
    EXPECT_TRUE(over.datagram.empty()) << type;
  }
  EXPECT_EQ(build("[MCast]\nMessageType=4\n[Nodal]\nNumber=65537\n").failure, "");
  const Pass refused = build("[MCast]\n[Application]\nNumber=501\nEncode=3\n");
  EXPECT_EQ(refused.trace, "Encode value read from the file was 3");
}

// A compressed table goes out under Encoding 1 as its stream, over the
// table's first bytes when it is shorter; the trace in the kind's words.
TEST(FeedcastPacket, CompressedTablesAndTheirTrace) {
  const char* compressed = "\nCompressed successfully\nCompression complete";
  const struct {
    std::string ini;
    std::size_t area;
    std::string trace;
  } cases[] = {
      {"[Application]\nNumber=2\nEncode=257\nApplicationID0=-5\nApplicationID1=77\n", 168,
       "Encode value read from the file was 10 : App ID = -5\n1 : App ID = 77\n" +
           std::string(compressed)},
      {"[MCast]\nMessageType=2\n[Skillset]\nNumber=1\nEncode=1\n", 116,
       "\nEncoded successfully\nEncoding complete"},
      {"[MCast]\nMessageType=6\n[Route]\nNumber=0\nEncode=1\n", 8, compressed},  // longer
  };
  for (const auto& c : cases) {
    const Pass p = build(c.ini);
    ASSERT_EQ(p.datagram.size(), 68u + c.area) << c.ini;
    EXPECT_EQ(packet::encoding(p.datagram.data()), 1);
    const std::size_t table = packet::num_record(p.datagram.data()) * packet::record_size(p.datagram.data());
    std::vector<std::uint8_t> plain(table + 1);
    uLongf length = plain.size();
    EXPECT_EQ(uncompress(plain.data(), &length, p.datagram.data() + 68, c.area), Z_OK);
    EXPECT_EQ(length, table);
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
  std::string message;
  for (const int type : {0, 7}) {
    config.message_type = type;
    config.stat_scheme = type;
    EXPECT_EQ(feedcast::check_kind_and_scheme(config, message), nullptr);
    EXPECT_EQ(message, "Incorrect Msg Type and Stat Scheme selected");
  }
  for (int type = 1; type <= 6; ++type) {
    const packet::Kind* kind = packet::find_kind(type);
    config.message_type = type;
    for (const int scheme : {2, -1, 256}) {
      config.stat_scheme = scheme;
      EXPECT_EQ(feedcast::check_kind_and_scheme(config, message), nullptr);
      EXPECT_EQ(message, kind->scheme_message) << type << " " << scheme;
    }
    config.stat_scheme = 1;
    message.clear();
    EXPECT_EQ(feedcast::check_kind_and_scheme(config, message), kind);
    EXPECT_EQ(message, "");
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
