// IPv4 fragment reassembly: fragments in any order, copies and overlaps,
// contradictions, and the bounds on memory and age.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "capture/fragment_reassembly.h"
#include "support/capture_files.h"

namespace {

using test_support::address;
using test_support::Bytes;

// A datagram's IPv4 packet with a payload of `size` bytes that differ.
Bytes packet_of(std::size_t size, char seed = 'a', const char* source = "10.0.0.1") {
  std::string payload(size, ' ');
  for (std::size_t i = 0; i < size; ++i) payload[i] = static_cast<char>(seed + i % 23);
  return test_support::udp_packet(address(source), 5000, address("235.5.6.7"), 6040, payload);
}

// Feeds fragments (IPv4 packets) to `reassembly` at times 0, 1, 2... ns;
// returns the UDP payload of each datagram completed, as text.
std::vector<std::string> feed(capture::FragmentReassembly& reassembly,
                              const std::vector<Bytes>& pieces, std::int64_t step_ns = 1) {
  std::vector<std::string> done;
  std::int64_t t = 0;
  for (const Bytes& piece : pieces) {
    const auto header = capture::ipv4::read_header(piece);
    if (!header) throw std::runtime_error("fragment without a header");
    const std::span<const std::uint8_t> bytes(piece);
    const auto whole = reassembly.add(*header, bytes.subspan(header->header_length), t += step_ns);
    if (whole) done.emplace_back(whole->begin() + 8, whole->end());
  }
  return done;
}

std::string payload_of(const Bytes& packet) {
  return std::string(packet.begin() + 28, packet.end());
}

TEST(FragmentReassembly, AnyOrderCopiesAndAgreeingOverlaps) {
  const Bytes packet = packet_of(4000);
  const std::vector<Bytes> eights = test_support::fragments(packet, 1480, 7);
  const std::vector<Bytes> sixteens = test_support::fragments(packet, 1000, 7);
  struct Case {
    const char* name;
    std::vector<Bytes> pieces;
  };
  std::vector<Bytes> reversed(eights.rbegin(), eights.rend());
  const std::vector<Case> cases = {
      {"in order", eights},
      {"reversed", reversed},
      {"middle first", {eights[1], eights[2], eights[0]}},
      {"a copy of the first", {eights[0], eights[0], eights[2], eights[1]}},
      {"overlapping cuts",
       {sixteens[0], eights[1], sixteens[3], eights[0], sixteens[4], sixteens[2]}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    capture::FragmentReassembly reassembly;
    EXPECT_EQ(feed(reassembly, c.pieces), std::vector<std::string>{payload_of(packet)});
    EXPECT_EQ(reassembly.pending(), 0u);
    EXPECT_EQ(reassembly.held_bytes(), 0u);
  }
}

TEST(FragmentReassembly, ContradictionsDropTheDatagram) {
  const Bytes packet = packet_of(3000);
  const std::vector<Bytes> pieces = test_support::fragments(packet, 1480, 9);
  Bytes changed = pieces[1];
  changed.back() ^= 1;  // the same place with other bytes
  Bytes shorter_last = pieces[2];
  shorter_last.resize(shorter_last.size() - 8);
  shorter_last[3] -= 8;
  Bytes odd = pieces[0];  // not a multiple of 8 bytes, and not the last
  odd.resize(odd.size() - 1);
  odd[3] -= 1;
  Bytes beyond = pieces[2];  // ends past 65,535 bytes
  beyond[6] = 0x1f;
  beyond[7] = 0xff;
  struct Case {
    const char* name;
    std::vector<Bytes> pieces;
    std::uint64_t inconsistent, invalid;
  };
  const std::vector<Case> cases = {
      {"overlap that differs", {pieces[0], pieces[1], changed, pieces[2]}, 1, 0},
      {"two last fragments", {pieces[2], shorter_last, pieces[0], pieces[1]}, 1, 0},
      {"a fragment past the last", {shorter_last, pieces[1], pieces[2]}, 1, 0},
      {"a short middle fragment", {odd}, 0, 1},
      {"past 65,535 bytes", {beyond}, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    capture::FragmentReassembly reassembly;
    EXPECT_TRUE(feed(reassembly, c.pieces).empty());
    EXPECT_EQ(reassembly.counts().inconsistent, c.inconsistent);
    EXPECT_EQ(reassembly.counts().invalid, c.invalid);
    // A whole datagram with the same identification still comes through.
    EXPECT_EQ(feed(reassembly, test_support::fragments(packet_of(100, 'x'), 48, 10)).size(), 1u);
  }
}

TEST(FragmentReassembly, DatagramsAreToldApartBySourceAndIdentification) {
  const Bytes a = packet_of(2000, 'a', "10.0.0.1"), b = packet_of(2000, 'b', "10.0.0.2");
  const auto pa = test_support::fragments(a, 1480, 1), pb = test_support::fragments(b, 1480, 1);
  const auto pc = test_support::fragments(a, 1480, 2);
  capture::FragmentReassembly reassembly;
  EXPECT_EQ(feed(reassembly, {pa[0], pb[1], pc[1], pb[0], pa[1], pc[0]}),
            (std::vector<std::string>{payload_of(b), payload_of(a), payload_of(a)}));
}

TEST(FragmentReassembly, MemoryAndAgeAreBounded) {
  // Incomplete datagrams beyond the memory limit push out the oldest.
  capture::FragmentReassembly small({.max_held_bytes = 100000, .max_age_ns = 1'000'000'000});
  std::vector<Bytes> firsts;
  for (std::uint16_t id = 0; id < 200; ++id) {
    firsts.push_back(test_support::fragments(packet_of(60000), 1480, id)[0]);
  }
  EXPECT_TRUE(feed(small, firsts).empty());
  EXPECT_LE(small.held_bytes(), 100000u);
  EXPECT_GT(small.counts().evicted, 100u);
  EXPECT_EQ(feed(small, test_support::fragments(packet_of(60000), 1480, 999)).size(), 1u);
  // A datagram larger than the limit cannot be held at all.
  capture::FragmentReassembly tiny({.max_held_bytes = 30000});
  EXPECT_TRUE(feed(tiny, test_support::fragments(packet_of(60000), 1480, 1)).empty());
  EXPECT_GT(tiny.counts().evicted, 0u);
  EXPECT_LE(tiny.held_bytes(), 30000u);

  // A datagram whose fragments span more than the age limit is dropped.
  capture::FragmentReassembly slow({.max_held_bytes = 1 << 20, .max_age_ns = 10});
  const auto pieces = test_support::fragments(packet_of(3000), 1480, 5);
  EXPECT_TRUE(feed(slow, pieces, 6).empty());
  EXPECT_EQ(slow.counts().expired, 1u);
  EXPECT_EQ(feed(slow, pieces, 4).size(), 1u);
}

}  // namespace
