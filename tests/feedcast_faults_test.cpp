// Fault injection: what the fault draws do to the datagrams of a message,
// and the lines that say so.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "feedcast/faults.h"
#include "packet/header.h"
#include "support/packets.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using test_support::TempDir;

// A message of `count` parts (a single packet for 1) of `records` Application
// records each, of bytes that count up.
std::vector<Bytes> crafted(int count, std::uint16_t records) {
  std::vector<Bytes> parts;
  for (int p = 1; p <= count; ++p) {
    packet::HeaderFields f = test_support::default_fields(1, records);
    f.packet_number = static_cast<std::uint8_t>(count > 1 ? p : 0);
    f.packet_count = static_cast<std::uint8_t>(count > 1 ? count : 0);
    Bytes table(std::size_t{records} * f.record_size);
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint8_t>(i);
    parts.push_back(test_support::make_packet(f, table));
  }
  return parts;
}

// The fault lines and the bytes sent for `rounds` passes over `message`.
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

// What the lines say is done: one byte changed, in the record area or in the
// header of an empty table; parts sent in every order.  (The end-to-end tests
// check each fault on the wire.)
TEST(Faults, EachFaultIsDoneAsItsLineSays) {
  const std::vector<Bytes> single = crafted(1, 2);
  const std::vector<Bytes> empty = crafted(1, 0);
  const std::vector<Bytes> parts = crafted(3, 1);
  const std::string t = std::to_string(test_support::default_fields(1).timestamp);
  for (const auto* message : {&single, &empty}) {
    const Injected r = inject("CorruptPercent=100\nSeed=1\n", *message, 20);
    const Bytes& before = message->front();
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
  const Injected r = inject("ReorderParts=1\nSeed=3\n", parts, 60);
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
  EXPECT_TRUE(inject("ReorderParts=1\n", single, 1).lines.empty());
}

// A Seed repeats every choice; the rates are those asked for.
TEST(Faults, RepeatableAtTheRatesAskedFor) {
  const std::vector<Bytes> parts = crafted(3, 1);
  const std::string faults = "DropPercent=10\nDuplicatePercent=20\nTruncatePercent=30\n"
                             "CorruptPercent=40\nReorderParts=1\n";
  const Injected a = inject(faults + "Seed=42\n", parts, 4000);
  const Injected b = inject(faults + "Seed=42\n", parts, 4000);
  EXPECT_EQ(a.lines, b.lines);
  EXPECT_EQ(a.sent, b.sent);
  EXPECT_NE(a.lines, inject(faults + "Seed=43\n", parts, 4000).lines);

  std::map<std::string, double> seen;  // by the word after "Fault: "
  std::istringstream lines(a.lines);
  for (std::string line; std::getline(lines, line);) seen[line.substr(7, line.find(' ', 7) - 7)] += 1;
  const double datagrams = 3 * 4000, kept = datagrams - seen["dropped"];
  EXPECT_NEAR(seen["dropped"] / datagrams, 0.10, 0.015);
  EXPECT_NEAR(seen["duplicated"] / kept, 0.20, 0.02);
  EXPECT_NEAR(seen["truncated"] / kept, 0.30, 0.02);
  EXPECT_NEAR(seen["changed"] / kept, 0.40, 0.02);  // a datagram cut to nothing has no byte to change
  EXPECT_EQ(seen["parts"], 4000);
}

}  // namespace
