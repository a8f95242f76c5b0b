// The wire format: the header byte for byte, the catalogue, and the record
// layouts' tiling, display lines and storage rules.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "packet/catalogue.h"
#include "packet/header.h"
#include "packet/record_layouts.h"
#include "support/packets.h"

namespace {

// The worked example: a plain Route packet from CC1, version 6.0.6, built at
// 1607198400, with one record.  Other tests compare headers with the writer's.
TEST(PacketHeader, WorkedRouteExampleByteForByte) {
  std::vector<std::uint8_t> p(packet::kHeaderSize, 0xEE);
  packet::write_header(p.data(), test_support::default_fields(6, 1));

  std::vector<std::uint8_t> expected = {0x00, 0x4B, 0x00, 0x45, 0x00, 0x42, 0x00, 0x4F,
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0x06, 0x00, 0x06,
                                        0x00, 0x43, 0x00, 0x43, 0x00, 0x31};
  expected.resize(56, 0x00);
  for (std::uint8_t b : {0x00, 0x00, 0x06, 0x00, 0x5F, 0xCB, 0xE6, 0xC0, 0x00, 0x01, 0x00, 0x0A}) {
    expected.push_back(b);
  }
  EXPECT_EQ(p, expected);
}

// The twelve kind/scheme pairs have the twelve ports of the table and no
// other port is one, Skillset Interval to Date on 6040; only Agent packets of version 8.4 are read with
// the 108-byte layout.
TEST(Catalogue, PortsAndDisplayLayouts) {
  std::set<int> ports;
  for (int type = 1; type <= 6; ++type) {
    for (std::uint8_t scheme : {0, 1}) {
      const int port = packet::find_kind(type)->port(scheme);
      ports.insert(port);
    }
  }
  EXPECT_EQ(ports.size(), 12u);
  for (int port = 6000; port <= 6150; ++port) {
    EXPECT_EQ(packet::is_stat_port(port), ports.contains(port)) << port;
  }
  EXPECT_EQ(packet::find_kind(2)->port(0), 6040);
  const packet::Kind& agent = *packet::find_kind(3);
  EXPECT_EQ(&agent.display_layout(8, 4), &packet::kAgentLayoutWithNrrc);
  EXPECT_EQ(&agent.display_layout(8, 5), &packet::kAgentLayout);
  EXPECT_EQ(&agent.display_layout(6, 0), &packet::kAgentLayout);
  EXPECT_EQ(&packet::find_kind(2)->display_layout(8, 4), &packet::kSkillsetLayout);
}

// The fields of every layout tile its record without gap or overlap (the
// manual's tables and the monitor's baselines pin the offsets themselves);
// each display line names its fields' labels, in order, in its format string.
TEST(RecordLayouts, FieldsTileTheRecordAndEveryShownFieldIsShownOnce) {
  for (const packet::RecordLayout* layout :
       {&packet::kApplicationLayout, &packet::kSkillsetLayout, &packet::kAgentLayout,
        &packet::kAgentLayoutWithNrrc, &packet::kNodalLayout, &packet::kIvrLayout,
        &packet::kRouteLayout}) {
    SCOPED_TRACE(layout->name);
    int next = 0;
    for (const packet::Field& f : layout->fields) {
      EXPECT_EQ(f.offset, next) << f.name << " leaves a gap or overlaps";
      next = f.offset + f.width;
    }
    EXPECT_EQ(next, layout->size) << "fields do not fill the record";
    std::map<std::size_t, int> shown;
    for (const packet::DisplayLine& line : layout->lines) {
      std::size_t at = 0;
      for (std::size_t i = 0; i < line.count; ++i) {
        const packet::Field& f = layout->fields[line.fields[i]];
        const std::size_t label = line.format.find(f.label, at);
        ASSERT_NE(label, std::string_view::npos) << f.label << " in " << line.format;
        const std::size_t placeholder = line.format.find('%', label);
        const char conversion = line.format[placeholder + 1];
        EXPECT_EQ(conversion, f.shown == packet::Shown::kDecimal ? 'd' : 'X') << f.name;
        at = placeholder + 2;
        ++shown[line.fields[i]];
      }
    }
    for (std::size_t i = 0; i < layout->fields.size(); ++i) {
      const bool hidden = layout->fields[i].shown == packet::Shown::kHidden;
      EXPECT_EQ(shown[i], hidden ? 0 : 1) << layout->fields[i].name;
    }
  }
}

// Each storage rule on a worked example: 32 bits big-endian, the low 16 bits
// little-endian, a wide field's value in its first four bytes.
TEST(RecordLayouts, StorageAndShownValues) {
  std::uint8_t record[116] = {};
  const auto& route = packet::kRouteLayout.fields;
  packet::store_field(record, route[2], 0x01020304);
  EXPECT_EQ(std::vector<std::uint8_t>(record + 6, record + 10),
            (std::vector<std::uint8_t>{1, 2, 3, 4}));
  packet::store_field(record, route[1], 258);
  EXPECT_EQ(record[4], 0x02);
  EXPECT_EQ(record[5], 0x01);
  EXPECT_EQ(packet::shown_value(record, route[1]), 2u);
  packet::store_field(record, route[1], 70000);
  EXPECT_EQ(record[4], 0x70);
  EXPECT_EQ(record[5], 0x11);

  std::fill(std::begin(record), std::end(record), 0xFF);
  const packet::Field& user = packet::kAgentLayout.fields[9];
  ASSERT_EQ(user.name, "SupervisorUserID");
  packet::store_field(record, user, 5);
  const std::uint8_t expected[16] = {0, 0, 0, 5};
  EXPECT_EQ(std::vector<std::uint8_t>(record + 36, record + 52),
            std::vector<std::uint8_t>(expected, expected + 16));
  EXPECT_EQ(record[35], 0xFF);
  EXPECT_EQ(record[52], 0xFF);
}

}  // namespace
