// feedwatch --save-ini without a network: which tables the monitor keeps, the
// names of the files of several kinds and a file that cannot be written.  The
// contents of the files are checked by the round trips through feedcast.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "feedwatch/receive_loop.h"
#include "feedwatch/save_ini.h"
#include "support/console_capture.h"
#include "support/packets.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using test_support::default_fields;
using test_support::make_packet;

// A packet of `records` zero records of the kind, as part `number` of `count`.
Bytes table(std::uint8_t type, std::uint16_t records, std::uint8_t number = 0,
            std::uint8_t count = 0) {
  const packet::HeaderFields h = default_fields(type, records);
  Bytes p = make_packet(h, Bytes(std::size_t{records} * h.record_size, 0));
  p[8] = number;
  p[9] = count;
  return p;
}

// A packet of one record of the kind, `bytes` of ones after its header,
// the header changed by `change`.
template <class Change>
Bytes changed(std::uint8_t type, std::size_t bytes, Change change) {
  packet::HeaderFields h = default_fields(type, 1);
  change(h);
  return make_packet(h, Bytes(bytes, 1));
}

TEST(SaveIni, KeepsTheLastWholeTableOfEachKindInTheOrderOfTheKinds) {
  Bytes short_area = table(5, 2);
  short_area.resize(short_area.size() - 1);
  const struct {
    const char* what;
    std::vector<Bytes> datagrams;
    std::vector<std::uint8_t> kinds;  // kept, in order
    std::uint32_t last_records;       // of the last kind kept
  } cases[] = {
      {"single packets, the later one counts", {table(6, 2), table(3, 1), table(6, 4)}, {6, 3}, 1},
      {"a message of three parts",
       {table(1, 2, 2, 3), table(1, 2, 1, 3), table(1, 1, 3, 3)},
       {1},
       5},
      {"no kind, no scheme, corrupt, short, odd size",
       {table(9, 1), changed(4, 28, [](auto& h) { h.stat_scheme = 2; }),
        changed(4, 28, [](auto& h) { h.encoding = 1; }), short_area,
        changed(2, 100, [](auto& h) { h.record_size = 100; })},
       {},
       0},
      {"a message with a part of another kind", {table(1, 2, 1, 2), table(2, 1, 2, 2)}, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test_support::CapturedConsole out;
    feedwatch::Monitor monitor(out.console());
    feedwatch::SavedTables saved;
    monitor.keep_tables(saved);
    for (const Bytes& d : c.datagrams) test_support::hand(monitor, d);
    EXPECT_EQ(saved.kinds(), c.kinds);
    if (!c.kinds.empty()) {
      EXPECT_EQ(saved.table(c.kinds.back())->num_record, c.last_records);
    }
  }
}

TEST(SaveIni, OtherKindsGoBesideTheFileNamedByTheirSection) {
  const struct {
    std::string file;
    std::size_t n;
    std::uint8_t type;
    std::string path;
  } cases[] = {
      {"lab.ini", 0, 3, "lab.ini"},
      {"lab.ini", 1, 3, "lab-agent.ini"},
      {"dir.d/capture", 2, 5, "dir.d/capture-ivr.ini"},
      {"dir/lab.cfg", 1, 1, "dir/lab-application.ini"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(feedwatch::saved_table_path(c.file, c.n, c.type), c.path);
  }
}

TEST(SaveIni, WritesEveryKindAndReportsAFileThatCannotBeWritten) {
  test_support::CapturedConsole out;
  feedwatch::Monitor monitor(out.console());
  feedwatch::SavedTables saved;
  monitor.keep_tables(saved);
  test_support::TempDir dir;
  EXPECT_TRUE(feedwatch::write_saved_tables(saved, dir.file("none.ini")));
  EXPECT_EQ(test_support::read_file(dir.file("none.ini")), "");
  test_support::hand(monitor, table(4, 1));
  test_support::hand(monitor, table(6, 1));
  ASSERT_TRUE(feedwatch::write_saved_tables(saved, dir.file("lab.ini")));
  // Text files: line ends as the system writes them.
  const auto text_of = [&dir](const char* name) {
    std::string text = test_support::read_file(dir.file(name));
    std::erase(text, '\r');
    return text;
  };
  EXPECT_EQ(text_of("lab.ini"), feedwatch::saved_table_text(*saved.table(4)));
  EXPECT_EQ(text_of("lab-route.ini"), feedwatch::saved_table_text(*saved.table(6)));
  const portable::Result<void> failed =
      feedwatch::write_saved_tables(saved, dir.file("missing/lab.ini"));
  ASSERT_FALSE(failed);
  const std::string start = "cannot write " + dir.file("missing/lab.ini") + ": ";
  EXPECT_EQ(failed.failure().substr(0, start.size()), start);
  EXPECT_GT(failed.failure().size(), start.size()) << "no reason given";
}

}  // namespace
