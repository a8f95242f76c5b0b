// Multi-packet messages: grouping by Timestamp, arrival order, the bound.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "feedwatch/packet_buffer.h"
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
  explicit Monitor(std::size_t capacity = feedwatch::kStoreCapacity)
      : monitor_(out_.console(), nullptr, nullptr, UINT64_MAX, capacity) {}

  std::string receive(const std::vector<std::uint8_t>& datagram) {
    std::copy(datagram.begin(), datagram.end(), buffer_->begin());
    monitor_.handle_datagram(*buffer_, {.length = datagram.size()});
    const std::string all = out_.text();
    text_ = all.substr(seen_);
    seen_ = all.size();
    return summary(text_);
  }
  // What the last datagram printed.
  const std::string& text() const { return text_; }
  const feedwatch::MultipacketStore& store() const { return monitor_.store(); }

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

  std::unique_ptr<feedwatch::PacketBuffer> buffer_ = std::make_unique<feedwatch::PacketBuffer>();
  test_support::CapturedConsole out_;
  feedwatch::Monitor monitor_;
  std::size_t seen_ = 0;
  std::string text_;
};

// (The order in which a complete group prints is pinned by a baseline.)
TEST(MultipacketStore, GroupingRules) {
  Monitor m;
  // PacketCount 0 or 1: a single packet.
  EXPECT_EQ(m.receive(part(0, 0, 1, 10)), "1:10 ");
  EXPECT_EQ(m.receive(part(7, 1, 1, 11)), "1:11 ");
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
  Monitor m(4);
  for (std::uint32_t t : {1u, 1u, 2u, 3u}) m.receive(part(1, 3, t, t));
  EXPECT_EQ(m.receive(part(2, 3, 3, 3)), "S2/3 ");
  EXPECT_TRUE(m.text().ends_with(
      " from CC1\nMultipacket store full - dropping 2 stored packet(s) of time 1\n"))
      << m.text();
  EXPECT_EQ(m.store().size(), 3u);
  EXPECT_EQ(m.receive(part(3, 3, 3, 4)), "S3/3 P1:3 P2:3 P3:4 ");
  EXPECT_EQ(m.receive(part(2, 2, 1, 5)), "S2/2 ");  // the dropped group starts anew
  EXPECT_EQ(m.store().size(), 2u);
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
  Monitor m;
  m.receive(p);
  EXPECT_NE(m.text().find("Storing Multipacket - time 1607198400, message 0 of 2 from "
                            "ABCDEFGHIJKLMNOPQRST\n"),
            std::string::npos);
}

}  // namespace
