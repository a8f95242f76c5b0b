// The wire format: the header byte for byte, the catalogue, and the record
// layouts' tiling, display lines and storage rules.
#include <gtest/gtest.h>

#include <algorithm>
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
// other port is one, Skillset Interval to Date on 6040; only Agent packets of version 8.4 are read
// with the 108-byte layout.
TEST(Catalogue, PortsAndDisplayLayouts) {
  std::set<int> ports;
  for (int type = 1; type <= 6; ++type) {
    for (std::uint8_t scheme : {0, 1}) ports.insert(packet::find_kind(type)->port(scheme));
  }
  EXPECT_EQ(ports.size(), 12u);
  for (int port = 6000; port <= 6150; ++port) {
    EXPECT_EQ(packet::is_stat_port(port), ports.contains(port)) << port;
  }
  EXPECT_EQ(packet::find_kind(2)->port(0), 6040);
  EXPECT_EQ(&packet::find_kind(3)->display_layout(8, 4), &packet::kAgentLayoutWithNrrc);
  EXPECT_EQ(&packet::find_kind(3)->display_layout(8, 5), &packet::kAgentLayout);
  EXPECT_EQ(&packet::find_kind(2)->display_layout(8, 4), &packet::kSkillsetLayout);
}

// The fields of every layout tile its record without gap or overlap (the
// manual's tables and the monitor's baselines pin the offsets themselves; the
// baselines, every display line).
TEST(RecordLayouts, FieldsTileTheRecord) {
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
  }
}

// Each storage rule on a worked example, the bytes around the field left
// alone: 32 bits big-endian, the low 16 bits little-endian, a wide field's
// value in its first four bytes; and the value the monitor shows.
TEST(RecordLayouts, StorageAndShownValues) {
  const auto& route = packet::kRouteLayout.fields;
  const struct {
    const packet::Field& field;
    std::uint32_t value;
    std::vector<std::uint8_t> bytes;
    std::uint32_t shown;
  } cases[] = {
      {route[2], 0x01020304, {1, 2, 3, 4}, 0x01020304},
      {route[1], 258, {0x02, 0x01}, 2},
      {route[1], 70000, {0x70, 0x11}, 0x70},
      {packet::kAgentLayout.fields[9], 5, {0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 5},
  };
  for (const auto& c : cases) {
    std::vector<std::uint8_t> record(116, 0xFF), expected(116, 0xFF);
    std::copy(c.bytes.begin(), c.bytes.end(), expected.begin() + c.field.offset);
    packet::store_field(record.data(), c.field, c.value);
    EXPECT_EQ(record, expected) << c.field.name << " " << c.value;
    EXPECT_EQ(packet::shown_value(record.data(), c.field), c.shown) << c.field.name;
  }
}

}  // namespace
