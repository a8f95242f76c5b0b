// Multicast through the platform layer: one UdpSocket sends to the group, a
// second one, joined to the group on the loopback address, receives.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <optional>
#include <vector>

#include "platform/sockets.h"
#include "support/multicast.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kPort = 6090;

const platform::Ipv4 kGroup = platform::parse_dotted(test_support::kGroup);
const platform::Ipv4 kLoopback = platform::parse_dotted("127.0.0.1");

// A socket bound to the port and joined to the group on loopback.
class Member {
 public:
  explicit Member(platform::Ipv4 group = kGroup) {
    EXPECT_EQ(socket_.open(), 0);
    EXPECT_EQ(socket_.set_reuse_address(), 0);
    EXPECT_EQ(socket_.bind(platform::kAnyAddress, kPort), 0);
    EXPECT_EQ(socket_.receive_joined_groups_only(), 0);
    EXPECT_EQ(socket_.join_group(group, kLoopback), 0);
  }

  // The next datagram, or nothing within `timeout`; the receive is woken by
  // stopping the receiving side when the time is up.
  std::optional<Bytes> receive(std::chrono::milliseconds timeout = 5s) {
    auto pending = std::async(std::launch::async, [this] {
      Bytes buffer(65536);
      int error = 0;
      const long n = socket_.receive(buffer.data(), buffer.size(), error);
      buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
      return n > 0 ? std::optional<Bytes>(buffer) : std::nullopt;
    });
    if (pending.wait_for(timeout) != std::future_status::ready) socket_.shutdown_receive();
    return pending.get();
  }

 private:
  platform::UdpSocket socket_;
};

class MulticastRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test_support::in_private_namespace())
        << "run through tests/netns/in-private-netns: this test sends multicast";
    ASSERT_EQ(sender_.open(), 0);
    ASSERT_EQ(sender_.bind(platform::kAnyAddress, 0), 0);
  }

  platform::UdpSocket sender_;
};

TEST_F(MulticastRoundTrip, DatagramsArriveWholeAndInOrder) {
  Member member;
  const Bytes first = {0x00, 0x4B, 0x00, 0x45, 0xFF, 0x00, 0x7F, 0x80};
  Bytes second(65507);  // the largest IPv4 UDP payload
  for (std::size_t i = 0; i < second.size(); ++i) second[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_EQ(sender_.send_to(first.data(), first.size(), kGroup, kPort), 0);
  ASSERT_EQ(sender_.send_to(second.data(), second.size(), kGroup, kPort), 0);
  EXPECT_EQ(member.receive(), first);
  const auto received = member.receive();
  ASSERT_TRUE(received);
  EXPECT_TRUE(*received == second) << "received " << received->size() << " bytes";
}

TEST_F(MulticastRoundTrip, TimeToLiveAndInterfaceApplyToSentDatagrams) {
  test_support::GroupReceiver receiver(kPort);
  ASSERT_EQ(sender_.set_multicast_ttl(3), 0);
  ASSERT_EQ(sender_.set_multicast_interface(kLoopback), 0);
  const Bytes payload = {1, 2, 3};
  ASSERT_EQ(sender_.send_to(payload.data(), payload.size(), kGroup, kPort), 0);
  const auto d = receiver.receive(5s);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->bytes, payload);
  EXPECT_EQ(d->ttl, 3);
}

TEST_F(MulticastRoundTrip, OnlyTheJoinedGroupIsDelivered) {
  Member member;
  test_support::GroupReceiver other_group(kPort, "235.5.6.8");
  const Bytes other = {9};
  const Bytes mine = {1};
  ASSERT_EQ(sender_.send_to(other.data(), other.size(), platform::parse_dotted("235.5.6.8"),
                            kPort),
            0);
  ASSERT_EQ(sender_.send_to(mine.data(), mine.size(), kGroup, kPort), 0);
  EXPECT_TRUE(other_group.receive(5s));
  EXPECT_EQ(member.receive(), mine);
}

TEST_F(MulticastRoundTrip, OversizedDatagramIsRefused) {
  const Bytes too_large(65508);
  EXPECT_NE(sender_.send_to(too_large.data(), too_large.size(), kGroup, kPort), 0);
}

}  // namespace
