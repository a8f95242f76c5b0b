// Multicast through the platform layer: one UdpSocket sends to the group, a
// second one, joined to the group on the loopback address, receives.  (The
// time-to-live is checked on the generator's datagrams.)
#include <gtest/gtest.h>
#include <poll.h>

#include <cstdint>
#include <vector>

#include "platform/sockets.h"
#include "support/multicast.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kPort = 6090;

TEST(MulticastRoundTrip, JoinedGroupOnlyWholeAndInOrder) {
  ASSERT_TRUE(test_support::in_private_namespace())
      << "run through scripts/in-private-netns: this test sends multicast";
  const platform::Ipv4 loopback = platform::parse_dotted("127.0.0.1");
  platform::UdpSocket sender, member;
  ASSERT_EQ(sender.open(), 0);
  ASSERT_EQ(sender.bind(platform::kAnyAddress, 0), 0);
  ASSERT_EQ(sender.set_multicast_interface(loopback), 0);
  ASSERT_EQ(member.open(), 0);
  ASSERT_EQ(member.set_reuse_address(), 0);
  ASSERT_EQ(member.bind(platform::kAnyAddress, kPort), 0);
  ASSERT_EQ(member.receive_joined_groups_only(), 0);
  ASSERT_EQ(member.join_group(platform::parse_dotted(test_support::kGroup), loopback), 0);
  // Another socket joins another group on the port: the member must not see it.
  test_support::GroupReceiver other(kPort, "235.5.6.8");

  const auto send = [&](const Bytes& b, const char* group = test_support::kGroup) {
    return sender.send_to(b.data(), b.size(), platform::parse_dotted(group), kPort);
  };
  // The member's next datagram; an empty one when none comes within 5 s.
  const auto receive = [&] {
    Bytes buffer(65536);
    pollfd ready{static_cast<int>(member.native_handle()), POLLIN, 0};
    int error = 0;
    platform::Endpoint from;
    const long n =
        poll(&ready, 1, 5000) == 1 ? member.receive(buffer.data(), buffer.size(), error, from) : 0;
    buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return buffer;
  };

  Bytes largest(65507);  // the largest IPv4 UDP payload
  for (std::size_t i = 0; i < largest.size(); ++i) largest[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_EQ(send({9}, "235.5.6.8"), 0);
  ASSERT_EQ(send({0x00, 0x4B, 0xFF, 0x80}), 0);
  ASSERT_EQ(send(largest), 0);
  EXPECT_NE(send(Bytes(65508)), 0);
  EXPECT_TRUE(other.receive());
  EXPECT_EQ(receive(), (Bytes{0x00, 0x4B, 0xFF, 0x80}));
  EXPECT_TRUE(receive() == largest);
}

}  // namespace
