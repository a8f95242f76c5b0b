// The generator's record tables read in one walk of the kind's section, and
// the packets of a run reused while the file is unchanged.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "feedcast/record_builder.h"
#include "feedcast/sender_config.h"
#include "feedcast/transmit_loop.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "platform/profile.h"
#include "platform/settled_file.h"
#include "support/packets.h"

namespace {

using test_support::TempDir;

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

std::vector<std::uint8_t> table_by_walk(const packet::Kind& kind, const platform::ProfileFile& ini,
                                        int records) {
  std::vector<std::uint8_t> area(std::size_t(records) * kind.record_size, 0xAA);
  feedcast::build_records(kind, ini, area.data(), static_cast<std::uint16_t>(records));
  return area;
}

// Keys in any order and spelling, values in decimal or hexadecimal: every
// kind's table reads as the look-ups read it.
TEST(RecordTable, TheWalkReadsWhatTheLookUpsRead) {
  for (int type = 1; type <= 6; ++type) {
    SCOPED_TRACE(type);
    const packet::Kind& kind = *packet::find_kind(type);
    const int records = std::min<int>(3, kind.max_records);
    std::string text = "[" + std::string(kind.section) + "]\n";
    // Backwards, so that no key comes where a file in record order has it;
    // some keys missing, some values quoted.
    for (int i = records; i >= 0; --i) {
      int n = 0;
      for (const packet::Field& f : kind.layout->fields) {
        char value[16];
        ++n;
        std::snprintf(value, sizeof value, n % 2 ? "0x%x" : "%d", 100 * i + n);
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
      TempDir dir;
      dir.write("t.ini", file);
      const platform::ProfileFile ini(dir.file("t.ini"));
      EXPECT_EQ(table_by_walk(kind, ini, records), table_by_lookups(kind, ini, records));
    }
  }
}

// Two passes over an unchanged file send the same parts but the Timestamp
// (renewed in every part) and print the same trace lines; an edit shows in
// the next pass once the file has been left alone.
TEST(PacketSource, ReusesThePacketWhileTheFileIsUnchanged) {
  TempDir dir;
  const std::string head = "[MCast]\nMaxRecordsPerPacket=1\n[Application]\nNumber=2\nEncode=1\n";
  dir.write("feedcast.ini", head + "ApplicationID0=5\nApplicationID1=6\n");
  platform::ProfileFile ini(dir.file("feedcast.ini"));
  const feedcast::SenderConfig config = feedcast::read_sender_config(ini);
  const packet::Kind& kind = *packet::find_kind(1);
  feedcast::PacketSource source(config, kind, ini);

  using Pass = std::pair<std::vector<std::vector<std::uint8_t>>, std::string>;
  auto next_of = [](feedcast::PacketSource& s, std::int64_t now) {
    std::string failure;
    Pass pass;
    for (const feedcast::Datagram d : s.next(now, failure)) pass.first.emplace_back(d.begin(), d.end());
    EXPECT_EQ(failure, "");
    pass.second = s.trace();
    return pass;
  };
  // What a fresh run makes of the file at a time.
  auto reference = [&](std::int64_t now) {
    platform::ProfileFile fresh(dir.file("feedcast.ini"));
    feedcast::PacketSource first(config, kind, fresh);
    return next_of(first, now);
  };

  EXPECT_EQ(next_of(source, 1000), reference(1000));
  const Pass second = next_of(source, 2000);
  EXPECT_EQ(second, reference(2000));
  EXPECT_EQ(second.first.size(), 2u);
  dir.write("feedcast.ini", head + "ApplicationID0=5\nApplicationID1=7\n");
  std::this_thread::sleep_for(2 * platform::kSettleTime);  // taken once left alone
  const Pass edited = next_of(source, 2000);
  EXPECT_NE(edited.first, second.first);
  EXPECT_EQ(edited, reference(2000));
}

// With Simulate 1 every pass moves the values, compressed too, and the
// Application trace follows them; with another value the file sends constants.
TEST(PacketSource, SimulatedValuesMoveInEveryPass) {
  for (const char* simulate : {"1", "2"}) {
    SCOPED_TRACE(simulate);
    TempDir dir;
    dir.write("feedcast.ini", "[MCast]\nSimulate=" + std::string(simulate) + "\nSimulateSeed=8\n"
                              "[Application]\nNumber=2\nEncode=1\nApplicationID0=100..200\nApplicationID1=7\n");
    platform::ProfileFile ini(dir.file("feedcast.ini"));
    feedcast::PacketSource source(feedcast::read_sender_config(ini), *packet::find_kind(1), ini);
    const bool moving = *simulate == '1';
    EXPECT_EQ(source.simulate_seed(), moving ? 8u : 0u);
    std::set<std::uint32_t> ids;
    for (int pass = 0; pass < 30; ++pass) {
      std::string failure;
      const feedcast::Datagram d = source.next(1000 + pass, failure).front();
      std::vector<std::uint8_t> plain(2 * packet::find_kind(1)->record_size);
      uLongf length = plain.size();
      ASSERT_EQ(uncompress(plain.data(), &length, d.data() + 68, d.size() - 68), Z_OK);
      const std::uint32_t id = packet::load_be32(plain.data());
      ASSERT_TRUE(moving ? id >= 100 && id <= 200 : id == 100) << id;
      ids.insert(id);
      EXPECT_EQ(source.trace(), "Encode value read from the file was 1" "0 : App ID = " +
                                    std::to_string(id) + "\n1 : App ID = 7\n"
                                    "\nCompressed successfully\nCompression complete");
    }
    EXPECT_EQ(ids.size() > 5, moving);
  }
}

}  // namespace
