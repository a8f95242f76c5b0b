// Multi-packet messages and fault injection: how a table is sliced into
// parts, and what the fault draws do to the datagrams.
#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "feedcast/faults.h"
#include "feedcast/multipacket.h"
#include "feedcast/sender_config.h"
#include "feedcast/transmit_loop.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "support/packets.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using test_support::TempDir;

constexpr std::int64_t kNow = 1607198400;

// The message and trace of one pass over a configuration file's text.
struct Message {
  std::vector<Bytes> parts;
  std::string failure;
  std::string trace;
};

Message pass(const std::string& ini_text, std::int64_t now = kNow) {
  TempDir dir;
  dir.write("feedcast.ini", ini_text);
  platform::ProfileFile ini(dir.file("feedcast.ini"));
  const feedcast::SenderConfig config = feedcast::read_sender_config(ini);
  feedcast::PacketSource source(config, *packet::find_kind(config.message_type), ini);
  Message m;
  for (const feedcast::Datagram d : source.next(now, m.failure)) m.parts.emplace_back(d.begin(), d.end());
  m.trace = source.trace();
  return m;
}

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

Bytes plain_records(const Bytes& datagram) {
  Bytes area(datagram.begin() + 68, datagram.end());
  if (packet::encoding(datagram.data()) != 1) return area;
  Bytes plain(std::size_t{packet::num_record(datagram.data())} * packet::record_size(datagram.data()));
  uLongf length = plain.size();
  EXPECT_EQ(uncompress(plain.data(), &length, area.data(), area.size()), Z_OK);
  EXPECT_EQ(length, plain.size());
  return plain;
}

TEST(Multipacket, PartCounts) {
  struct Case {
    std::uint32_t records;
    std::int32_t most;
    std::uint32_t parts;
  };
  for (const Case& c : {Case{0, 0, 1}, Case{700, 0, 1}, Case{700, -5, 1}, Case{0, 3, 1},
                        Case{3, 3, 1}, Case{4, 3, 2}, Case{6, 3, 2}, Case{7, 3, 3},
                        Case{1000, 500, 2}, Case{255, 1, 255}, Case{256, 1, 256}}) {
    EXPECT_EQ(feedcast::part_count(c.records, c.most), c.parts) << c.records << " / " << c.most;
  }
}

// Parts carry consecutive slices, all full but the last, under headers that
// differ from the single packet's only in PacketNumber, PacketCount and
// NumRecord; compressed, each part is a stream of its own and has its trace.
TEST(Multipacket, PartsCarryTheSlicesOfTheSinglePacketsTable) {
  for (int encode : {0, 1}) {
    SCOPED_TRACE(encode);
    const Message single = pass(application(5, encode, ""));
    const Message parts = pass(application(5, encode, "MaxRecordsPerPacket=2\n"));
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
  EXPECT_EQ(pass(application(2, 0, "MaxRecordsPerPacket=2\n")).parts,
            pass(application(2, 0, "")).parts);
}

TEST(Multipacket, AtMost255Parts) {
  const auto route = [](int records, int most) {
    return pass("[MCast]\nMessageType=6\nMaxRecordsPerPacket=" + std::to_string(most) +
                "\n[Route]\nNumber=" + std::to_string(records) + "\n");
  };
  const Message most = route(510, 2);
  ASSERT_EQ(most.parts.size(), 255u);
  EXPECT_EQ(packet::packet_number(most.parts.back().data()), 255);
  EXPECT_EQ(packet::packet_count(most.parts.back().data()), 255);
  const Message refused = route(511, 2);
  EXPECT_TRUE(refused.parts.empty());
  EXPECT_EQ(refused.failure, "511 records need 256 packets of at most 2 records; at most 255 are possible");
  EXPECT_EQ(route(601, 1).failure, packet::find_kind(6)->limit_message);
}

// ---- Faults -----------------------------------------------------------------

// The fault lines and the bytes sent for `rounds` messages of `parts` parts.
struct Injected {
  std::string lines;
  std::vector<Bytes> sent;
};

Injected inject(const std::string& faults, const std::vector<Bytes>& message, int rounds) {
  TempDir dir;
  dir.write("feedcast.ini", "[Faults]\n" + faults);
  const platform::ProfileFile ini(dir.file("feedcast.ini"));
  feedcast::FaultInjector injector;
  injector.update(ini);
  const std::vector<feedcast::Datagram> datagrams(message.begin(), message.end());
  Injected run;
  for (int r = 0; r < rounds; ++r) {
    for (const std::size_t i : injector.order(datagrams, run.lines)) {
      const feedcast::Shipment s = injector.shape(datagrams[i], run.lines);
      for (int c = 0; c < s.copies; ++c) run.sent.emplace_back(s.bytes.begin(), s.bytes.end());
    }
  }
  return run;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// What the lines say is done: one byte changed, in the record area or in the
// header of an empty table; parts sent in every order.  (The end-to-end tests
// check each fault on the wire.)
TEST(Faults, EachFaultIsDoneAsItsLineSays) {
  const std::vector<Bytes> single = pass(application(2, 0, "")).parts;
  const std::vector<Bytes> empty = pass("[Application]\nNumber=0\n").parts;
  const std::vector<Bytes> parts = pass(application(3, 0, "MaxRecordsPerPacket=1\n")).parts;
  const std::string t = std::to_string(kNow);
  for (int seed = 1; seed <= 20; ++seed) {
    for (const auto* message : {&single, &empty}) {
      const Injected r = inject("CorruptPercent=100\nSeed=" + std::to_string(seed), *message, 1);
      const Bytes& before = message->front();
      ASSERT_EQ(r.sent.size(), 1u);
      ASSERT_EQ(r.sent[0].size(), before.size());
      std::size_t changed = 0, at = 0;
      for (std::size_t i = 0; i < before.size(); ++i) {
        if (r.sent[0][i] != before[i]) ++changed, at = i;
      }
      EXPECT_EQ(changed, 1u);
      EXPECT_GE(at, before.size() > 68 ? 68u : 0u);
      EXPECT_EQ(r.lines, "Fault: changed byte " + std::to_string(at) + " of packet 1 of 1, time " + t + "\n");
    }
  }

  // Every order of three parts turns up, and the parts go out in the order named.
  const Injected r = inject("ReorderParts=1\nSeed=3\n", parts, 60);
  std::set<std::string> orders;
  ASSERT_EQ(r.sent.size(), 180u);
  const std::vector<std::string> lines = lines_of(r.lines);
  ASSERT_EQ(lines.size(), 60u);
  for (std::size_t m = 0; m < lines.size(); ++m) {
    const std::string prefix = "Fault: parts of time " + t + " sent in the order ";
    ASSERT_EQ(lines[m].substr(0, prefix.size()), prefix);
    const std::string order = lines[m].substr(prefix.size());
    orders.insert(order);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(packet::packet_number(r.sent[3 * m + i].data()), order[2 * i] - '0') << lines[m];
    }
  }
  EXPECT_EQ(orders.size(), 6u);
  EXPECT_TRUE(inject("ReorderParts=1\n", single, 1).lines.empty());
}

// A Seed repeats every choice; the rates are those asked for.
TEST(Faults, RepeatableAtTheRatesAskedFor) {
  const std::vector<Bytes> message = pass(application(3, 0, "MaxRecordsPerPacket=1\n")).parts;
  const std::string faults = "DropPercent=10\nDuplicatePercent=20\nTruncatePercent=30\n"
                             "CorruptPercent=40\nReorderParts=1\n";
  const Injected a = inject(faults + "Seed=42\n", message, 4000);
  const Injected b = inject(faults + "Seed=42\n", message, 4000);
  EXPECT_EQ(a.lines, b.lines);
  EXPECT_EQ(a.sent, b.sent);
  EXPECT_NE(a.lines, inject(faults + "Seed=43\n", message, 4000).lines);

  std::map<std::string, double> seen;
  for (const std::string& line : lines_of(a.lines)) seen[line.substr(7, line.find(' ', 7) - 7)] += 1;
  const double datagrams = 3 * 4000, kept = datagrams - seen["dropped"];
  EXPECT_NEAR(seen["dropped"] / datagrams, 0.10, 0.015);
  EXPECT_NEAR(seen["duplicated"] / kept, 0.20, 0.02);
  EXPECT_NEAR(seen["truncated"] / kept, 0.30, 0.02);
  EXPECT_NEAR(seen["changed"] / kept, 0.40, 0.02);  // a datagram cut to nothing has no byte to change
  EXPECT_EQ(seen["parts"], 4000);
}

}  // namespace
