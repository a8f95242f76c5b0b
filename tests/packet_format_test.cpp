// The wire format: the header byte for byte, the catalogue and the record
// layouts' offsets, widths and sizes.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
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

  EXPECT_EQ(packet::header_id(p.data()), u"KEBO");
  EXPECT_EQ(packet::server_name(p.data()), u"CC1");
  EXPECT_EQ(packet::timestamp(p.data()), 1607198400u);
  EXPECT_EQ(packet::num_record(p.data()), 1);
  EXPECT_EQ(packet::record_size(p.data()), 10);
}

// The twelve kind/scheme pairs have the twelve ports of the table, Skillset
// Interval to Date on 6040.
TEST(Catalogue, PortsKindsAndSchemes) {
  std::set<int> ports;
  for (int type = 1; type <= 6; ++type) {
    for (std::uint8_t scheme : {0, 1}) {
      const int port = packet::find_kind(type)->port(scheme);
      EXPECT_TRUE(packet::is_stat_port(port)) << port;
      ports.insert(port);
    }
  }
  EXPECT_EQ(ports.size(), 12u);
  EXPECT_EQ(packet::find_kind(2)->port(0), 6040);
  EXPECT_FALSE(packet::is_stat_port(6045));
  EXPECT_FALSE(packet::is_stat_port(6140));
  EXPECT_EQ(packet::find_kind(0), nullptr);
  EXPECT_EQ(packet::find_kind(7), nullptr);
  EXPECT_EQ(packet::scheme_text(1), "Moving Window\n");
  EXPECT_EQ(packet::scheme_text(2), "");
}

// Only Agent packets of version 8.4 are read with the 108-byte layout.
TEST(Catalogue, DisplayLayoutByVersion) {
  const packet::Kind& agent = *packet::find_kind(3);
  EXPECT_EQ(&agent.display_layout(8, 4), &packet::kAgentLayoutWithNrrc);
  EXPECT_EQ(&agent.display_layout(8, 5), &packet::kAgentLayout);
  EXPECT_EQ(&agent.display_layout(6, 0), &packet::kAgentLayout);
  EXPECT_EQ(&packet::find_kind(2)->display_layout(8, 4), &packet::kSkillsetLayout);
}

// Every layout as a table: name, offset, width, byte order, shown as, keyed.
TEST(RecordLayouts, OffsetsWidthsAndSizes) {
  struct Expect {
    const packet::RecordLayout* layout;
    int size;
    int fields;
    int keyed;
    std::map<std::string, std::pair<int, int>> spot_checks;  // name -> offset, width
  };
  const Expect rows[] = {
      {&packet::kApplicationLayout, 84, 21, 21,
       {{"ApplicationID", {0, 4}}, {"TimeBeforeInterflow", {52, 4}},
        {"NetworkOutCallsRequested", {80, 4}}}},
      {&packet::kSkillsetLayout, 116, 29, 29,
       {{"SkillsetID", {0, 4}}, {"TotalCallsAnsweredDelay", {72, 4}},
        {"TotalCallsAnswered", {76, 4}}, {"NetworkCallsOffered", {112, 4}}}},
      {&packet::kAgentLayout, 104, 23, 11,
       {{"SupervisorUserID", {36, 16}}, {"PositionID", {52, 4}},
        {"NotReadyReasonCode_High", {56, 4}}, {"AnsweringDNIS_Low", {100, 4}}}},
      {&packet::kAgentLayoutWithNrrc, 108, 24, 11, {{"TimeInNRRC", {104, 4}}}},
      {&packet::kNodalLayout, 28, 7, 7, {{"DummyKey", {0, 4}}, {"NetworkCallsWaiting", {24, 4}}}},
      {&packet::kIvrLayout, 32, 8, 8,
       {{"IVRQueueID", {0, 4}}, {"CallsNotTreatedAfterThreshold", {28, 4}}}},
      {&packet::kRouteLayout, 10, 3, 3,
       {{"RouteNumber", {0, 4}}, {"AllTrunksBusy", {4, 2}}, {"AllTrunksBusyTime", {6, 4}}}},
  };
  for (const Expect& e : rows) {
    SCOPED_TRACE(std::string(e.layout->name) + " " + std::to_string(e.size));
    EXPECT_EQ(e.layout->size, e.size);
    EXPECT_EQ(static_cast<int>(e.layout->fields.size()), e.fields);
    int keyed = 0;
    int next = 0;
    for (const packet::Field& f : e.layout->fields) {
      EXPECT_EQ(f.offset, next) << f.name << " leaves a gap or overlaps";
      next = f.offset + f.width;
      keyed += f.keyed;
      const auto check = e.spot_checks.find(std::string(f.name));
      if (check != e.spot_checks.end()) {
        EXPECT_EQ(f.offset, check->second.first) << f.name;
        EXPECT_EQ(f.width, check->second.second) << f.name;
      }
    }
    EXPECT_EQ(next, e.size) << "fields do not fill the record";
    EXPECT_EQ(keyed, e.keyed);
  }
}

TEST(RecordLayouts, GeneratorKeysEndWithPositionIdInAgentRecords) {
  for (const packet::Field& f : packet::kAgentLayout.fields) {
    EXPECT_EQ(f.keyed, f.offset < 56) << f.name;
  }
  EXPECT_EQ(packet::find_kind(3)->record_size, 84);
}

// Each display line names its fields' labels, in order, in its format string.
TEST(RecordLayouts, DisplayLinesShowEveryShownFieldOnceUnderItsLabel) {
  for (const packet::RecordLayout* layout :
       {&packet::kApplicationLayout, &packet::kSkillsetLayout, &packet::kAgentLayout,
        &packet::kAgentLayoutWithNrrc, &packet::kNodalLayout, &packet::kIvrLayout,
        &packet::kRouteLayout}) {
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

TEST(RecordLayouts, StorageAndShownValues) {
  std::uint8_t record[116] = {};
  const auto& route = packet::kRouteLayout.fields;
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
