// Multi-packet messages: grouping by Timestamp, arrival order, the bound.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "feedwatch/print_packet.h"
#include "feedwatch/receive_loop.h"
#include "support/console_capture.h"
#include "support/packets.h"

namespace {

// A Nodal part whose DummyKey tells the parts apart in the printout.
std::vector<std::uint8_t> part(std::uint8_t number, std::uint8_t count, std::uint32_t timestamp,
                               std::uint32_t tag) {
  packet::HeaderFields f = test_support::default_fields(4, 1);
  f.timestamp = timestamp;
  auto p = test_support::make_packet(f, test_support::be32_words({tag, 0, 0, 0, 0, 0, 0}));
  p[8] = number;
  p[9] = count;
  return p;
}

// Feeds datagrams through the receive step and returns, per datagram, the
// tags of the packets printed and the storing lines, in order.
class Monitor {
 public:
  std::string receive(const std::vector<std::uint8_t>& datagram) {
    std::copy(datagram.begin(), datagram.end(), buffer_.begin());
    test_support::CapturedConsole out;
    feedwatch::handle_datagram(buffer_.data(), datagram.size(), store_, out.console());
    return summary(out.text());
  }
  feedwatch::MultipacketStore& store() { return store_; }

 private:
  // "S2/3" for a storing line, "P1:t" for a printed part, "1:t" for a single packet.
  static std::string summary(const std::string& text) {
    std::string s;
    std::size_t at = 0;
    for (;;) {
      const std::size_t storing = text.find("message ", at);
      const std::size_t print = text.find("Print ", at);
      const std::size_t next = std::min(storing, print);
      if (next == std::string::npos) break;
      if (next == storing) {
        s += "S" + text.substr(storing + 8, text.find(" of ", storing) - storing - 8) + "/" +
             text.substr(text.find(" of ", storing) + 4, 1) + " ";
      } else {
        const std::size_t key = text.find("DummyKey   =", print);
        const std::string tag = text.substr(key + 12, text.find('\t', key) - key - 12);
        s += (text.compare(print, 12, "Print single") == 0 ? "1:" : "P" + text.substr(print + 13, 1) + ":") + tag + " ";
      }
      at = next + 1;
    }
    return s;
  }

  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(feedwatch::kPacketBufferSize);
  feedwatch::MultipacketStore store_;
};

TEST(MultipacketStore, SinglePacketsPrintAtOnce) {
  Monitor m;
  EXPECT_EQ(m.receive(part(0, 0, 1, 10)), "1:10 ");
  EXPECT_EQ(m.receive(part(7, 1, 1, 11)), "1:11 ");
  EXPECT_EQ(m.store().size(), 0u);
}

TEST(MultipacketStore, PartsPrintInArrivalOrderOnceTheGroupIsComplete) {
  Monitor m;
  EXPECT_EQ(m.receive(part(2, 3, 5, 20)), "S2/3 ");
  EXPECT_EQ(m.receive(part(3, 3, 5, 30)), "S3/3 ");
  EXPECT_EQ(m.receive(part(1, 3, 5, 10)), "S1/3 P1:20 P2:30 P3:10 ");
  EXPECT_EQ(m.store().size(), 0u);
}

TEST(MultipacketStore, GroupingRules) {
  Monitor m;
  // A duplicate first part completes a two-part group; the real second part starts anew.
  EXPECT_EQ(m.receive(part(1, 2, 7, 1)), "S1/2 ");
  EXPECT_EQ(m.receive(part(1, 2, 7, 1)), "S1/2 P1:1 P2:1 ");
  EXPECT_EQ(m.receive(part(2, 2, 7, 2)), "S2/2 ");
  // A single packet sharing the pending timestamp leaves the group alone.
  EXPECT_EQ(m.receive(part(0, 0, 7, 99)), "1:99 ");
  // The leftover part counts towards the next message with its timestamp, first.
  EXPECT_EQ(m.receive(part(1, 2, 7, 3)), "S1/2 P1:2 P2:3 ");
  // The threshold is the PacketCount of the part just received.
  EXPECT_EQ(m.receive(part(1, 3, 8, 4)), "S1/3 ");
  EXPECT_EQ(m.receive(part(2, 2, 8, 5)), "S2/2 P1:4 P2:5 ");
  EXPECT_EQ(m.store().size(), 0u);
}

TEST(MultipacketStore, TheBoundDropsTheOldestOtherGroup) {
  test_support::CapturedConsole out;
  feedwatch::MultipacketStore store(4);
  const std::vector<std::uint8_t> bytes(100, 1);
  for (std::uint32_t t : {1u, 1u, 2u, 3u}) store.add(t, bytes, out.console());
  EXPECT_EQ(store.size(), 4u);
  EXPECT_EQ(store.add(3, bytes, out.console()), 2u);
  EXPECT_EQ(out.text(), "Multipacket store full - dropping 2 stored packet(s) of time 1\n");
  EXPECT_EQ(store.size(), 3u);
  EXPECT_TRUE(store.take(1).empty());
  EXPECT_EQ(store.take(2).size(), 1u);
  EXPECT_EQ(store.take(3).size(), 2u);
}

TEST(MultipacketStore, NeverCompletingGroupsStayWithinTheBound) {
  Monitor m;
  for (std::uint32_t t = 0; t < 3 * feedwatch::kStoreCapacity; ++t) m.receive(part(1, 255, t, t));
  EXPECT_EQ(m.store().size(), feedwatch::kStoreCapacity);
}

TEST(MultipacketStore, TheStoredNameIsCutAtTwentyUnits) {
  packet::HeaderFields f = test_support::default_fields(4, 0);
  f.server_name = u"ABCDEFGHIJKLMNOPQRST";
  auto p = test_support::make_packet(f);
  p[9] = 2;
  p[56] = 0;
  p[57] = 'Z';
  std::vector<std::uint8_t> buffer(feedwatch::kPacketBufferSize);
  std::copy(p.begin(), p.end(), buffer.begin());
  test_support::CapturedConsole out;
  feedwatch::MultipacketStore store;
  feedwatch::handle_datagram(buffer.data(), p.size(), store, out.console());
  EXPECT_NE(out.text().find("Storing Multipacket - time 1607198400, message 0 of 2 from "
                            "ABCDEFGHIJKLMNOPQRST\n"),
            std::string::npos);
}

}  // namespace
