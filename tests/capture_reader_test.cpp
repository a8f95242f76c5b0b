// The capture reader on crafted files: both formats in both byte orders,
// every time resolution, link type and block kind, what is passed over, and
// every fault with its message and place.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "capture/file_formats.h"
#include "support/capture_files.h"
#include "support/packets.h"

namespace {

using test_support::address;
using test_support::Bytes;
using test_support::FieldWriter;
using test_support::framed;
using test_support::read_capture;
namespace pcapng = capture::pcapng;

constexpr std::uint32_t kSeconds = 1607198400;
const char* const kLinks[] = {"ethernet", "vlan", "qinq",        "sll",
                              "sll2",     "raw",  "loopback-le", "loopback-be"};

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Two datagrams to the feed, the first with IPv4 options (two NOPs and an
// end of options list).
Bytes first_packet() {
  return test_support::udp_packet(address("10.1.2.3"), 4000, address("235.5.6.7"), 6040, "first",
                                  {1, 1, 0, 0});
}
Bytes second_packet() {
  return test_support::udp_packet(address("10.1.2.4"), 4001, address("235.5.6.8"), 6050, "second");
}

// The lines read_capture() gives for the two datagrams at these times and places.
std::string expected(std::int64_t t1, std::size_t at1, std::int64_t t2, std::size_t at2) {
  return std::to_string(t1) + " 10.1.2.3:4000 > 235.5.6.7:6040 first @" + std::to_string(at1) +
         "\n" + std::to_string(t2) + " 10.1.2.4:4001 > 235.5.6.8:6050 second @" +
         std::to_string(at2) + "\nend";
}

TEST(CaptureReader, PcapInBothOrdersAndPrecisionsOnEveryLink) {
  for (const bool big : {false, true}) {
    for (const bool nano : {false, true}) {
      for (const std::string link : kLinks) {
        SCOPED_TRACE(link + (big ? " big-endian" : " little-endian") + (nano ? " ns" : " µs"));
        Bytes file = test_support::pcap_header(big, nano, test_support::link_type_of(link));
        const std::size_t at1 = file.size();
        file =
            file + test_support::pcap_record(big, kSeconds, 999999, framed(link, first_packet()));
        const std::size_t at2 = file.size();
        file =
            file + test_support::pcap_record(big, kSeconds + 1, 0, framed(link, second_packet()));
        const std::int64_t t1 = kSeconds * 1'000'000'000ll + (nano ? 999999 : 999999000);
        EXPECT_EQ(read_capture(file), expected(t1, at1, (kSeconds + 1) * 1'000'000'000ll, at2));
      }
    }
  }
}

// if_tsresol and if_tsoffset: the units of a packet and the time they stand for.
struct TimeCase {
  const char* name;
  std::vector<std::uint8_t> resolution;  // empty: no if_tsresol
  std::int64_t offset_seconds;
  std::uint64_t units;
  std::int64_t ns;
};

const TimeCase kTimes[] = {
    {"microseconds by default", {}, 0, 1607198400123456ull, 1607198400123456000ll},
    {"nanoseconds", {9}, 0, 1607198400123456789ull, 1607198400123456789ll},
    {"milliseconds an hour late", {3}, -3600, 1607198400123ull, 1607194800123000000ll},
    {"seconds", {0}, 0, 1607198400ull, 1607198400000000000ll},
    {"picoseconds, cut to nanoseconds", {12}, 0, 1607198400123456789ull, 1607198400123456ll},
    {"2^-20 seconds", {0x80 | 20}, 0, (1607198400ull << 20) | (1u << 19), 1607198400500000000ll},
    {"2^-30 seconds plus a day", {0x80 | 30}, 86400, 3, 86400000000002ll},
    {"2^-70 seconds", {0x80 | 70}, 0, 1ull << 63, 7812500ll},
    {"10^-25 seconds", {25}, 0, ~0ull, 1844ll},
    {"seconds beyond 64 bits of nanoseconds", {0}, 0, ~0ull, INT64_MAX},
};

TEST(CaptureReader, PcapngResolutionsAndOffsetsInBothOrders) {
  for (const bool big : {false, true}) {
    for (const TimeCase& c : kTimes) {
      SCOPED_TRACE(std::string(c.name) + (big ? " big-endian" : " little-endian"));
      Bytes options;
      if (!c.resolution.empty()) {
        options = test_support::pcapng_option(big, pcapng::kIfTimestampResolution, c.resolution);
      }
      if (c.offset_seconds != 0) {
        options =
            options + test_support::pcapng_option(
                          big, pcapng::kIfTimestampOffset,
                          FieldWriter{big}.u64(static_cast<std::uint64_t>(c.offset_seconds)).bytes);
      }
      Bytes file = test_support::pcapng_section(big) +
                   test_support::pcapng_interface(big, 1, options) +
                   test_support::pcapng_interface(big, 101);
      const std::size_t at1 = file.size();
      file =
          file + test_support::pcapng_packet(big, 0, c.units, framed("ethernet", first_packet()));
      const std::size_t at2 = file.size();
      file = file + test_support::pcapng_packet(big, 1, 7, second_packet());
      EXPECT_EQ(read_capture(file), expected(c.ns, at1, 7000, at2));
    }
  }
}

TEST(CaptureReader, PcapngBlockKindsAndSections) {
  // A little-endian section with two interfaces, blocks of other types, a
  // Simple and an Obsolete Packet Block; then a big-endian section whose
  // interfaces replace the first section's.
  Bytes file = test_support::pcapng_section(false) + test_support::pcapng_interface(false, 1) +
               test_support::pcapng_interface(false, 276) +
               test_support::pcapng_block(false, 4, Bytes(10, 0xee)) +  // Name Resolution
               test_support::pcapng_block(false, 0x40000bad, Bytes(1000, 1));
  const std::size_t enhanced = file.size();
  file = file + test_support::pcapng_packet(false, 1, 5, framed("sll2", first_packet()));
  const std::size_t simple = file.size();
  const Bytes frame = framed("ethernet", second_packet());
  file =
      file + test_support::pcapng_block(
                 false, pcapng::kSimplePacket,
                 FieldWriter{false}.u32(static_cast<std::uint32_t>(frame.size())).raw(frame).bytes);
  const std::size_t obsolete = file.size();
  const Bytes frame2 = framed("sll2", first_packet());
  const auto size = static_cast<std::uint32_t>(frame2.size());
  file = file +
         test_support::pcapng_block(
             false, pcapng::kObsoletePacket,
             FieldWriter{false}.u16(1).u16(0).u32(0).u32(9).u32(size).u32(size).raw(frame2).bytes);
  file = file + test_support::pcapng_section(true) + test_support::pcapng_interface(true, 113);
  const std::size_t second_section = file.size();
  file = file + test_support::pcapng_packet(true, 0, 11, framed("sll", second_packet()));
  EXPECT_EQ(read_capture(file),
            "5000 10.1.2.3:4000 > 235.5.6.7:6040 first @" + std::to_string(enhanced) +
                "\n5000 10.1.2.4:4001 > 235.5.6.8:6050 second @" + std::to_string(simple) +
                "\n9000 10.1.2.3:4000 > 235.5.6.7:6040 first @" + std::to_string(obsolete) +
                "\n11000 10.1.2.4:4001 > 235.5.6.8:6050 second @" + std::to_string(second_section) +
                "\nend");
}

TEST(CaptureReader, OtherTrafficIsPassedOverAndCounted) {
  Bytes tcp = first_packet();
  tcp[9] = 6;
  Bytes cut = first_packet();
  cut.resize(cut.size() - 1);  // shorter than its total length: cut by the capture
  Bytes long_udp = second_packet();
  long_udp[20 + 5] = 200;                                            // a UDP length past the packet
  Bytes padded = framed("ethernet", first_packet()) + Bytes(20, 0);  // Ethernet padding
  const std::vector<Bytes> frames = {
      framed("ethernet", second_packet()),  // port 6050: not asked for
      Bytes{0x01, 0x00, 0x5e, 0, 0, 1, 2, 0, 0, 0, 0, 9, 0x86, 0xdd, 0x60},  // IPv6
      framed("ethernet", tcp),
      framed("ethernet", cut),
      framed("ethernet", long_udp),
      Bytes(5, 0),
      padded};
  Bytes file = test_support::pcap_header(false, false, 1);
  for (const Bytes& f : frames) file = file + test_support::pcap_record(false, 1, 0, f);
  capture::PortSet ports;
  ports.set(6040);
  capture::ReadCounts counts;
  const std::string lines = read_capture(file, ports, &counts);
  EXPECT_EQ(lines.substr(lines.find(' ')), " 10.1.2.3:4000 > 235.5.6.7:6040 first @" +
                                               std::to_string(file.size() - 16 - padded.size()) +
                                               "\nend");
  EXPECT_EQ(counts.frames, 7u);
  EXPECT_EQ(counts.datagrams, 1u);
  EXPECT_EQ(counts.other_ports, 1u);
  EXPECT_EQ(counts.not_ipv4, 2u);
  EXPECT_EQ(counts.not_udp, 1u);
  EXPECT_EQ(counts.malformed, 2u);
  // A link type the reader does not know carries nothing it reads.
  EXPECT_EQ(read_capture(test_support::pcap_header(false, false, 105) +
                         test_support::pcap_record(false, 1, 0, first_packet())),
            "end");
}

// A file and what reading it must give: the datagrams before the fault, then the fault.
struct Malformed {
  const char* name;
  Bytes file;
  std::string want;
};

std::vector<Malformed> malformed_cases() {
  const Bytes pcap = test_support::pcap_header(false, false, 101);
  const Bytes good = test_support::pcap_record(false, 0, 1, first_packet());
  const std::string one = "1000 10.1.2.3:4000 > 235.5.6.7:6040 first @24\n";
  const std::string after_one = " at byte " + std::to_string(pcap.size() + good.size());
  const Bytes ng = test_support::pcapng_section(false) + test_support::pcapng_interface(false, 101);
  const Bytes epb = test_support::pcapng_packet(false, 0, 1, first_packet());
  const std::string at = " at byte " + std::to_string(ng.size() + epb.size());
  const std::string ng_one =
      "1000 10.1.2.3:4000 > 235.5.6.7:6040 first @" + std::to_string(ng.size()) + "\n";
  auto with_u32 = [](Bytes b, std::size_t offset, std::uint32_t v) {
    FieldWriter w{false};
    w.u32(v);
    std::copy(w.bytes.begin(), w.bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(offset));
    return b;
  };
  auto cut = [](Bytes b, std::size_t size) {
    b.resize(size);
    return b;
  };
  const Bytes section = test_support::pcapng_section(false);
  const Bytes unknown = test_support::pcapng_block(false, 0x0bad, Bytes(8, 0));
  Bytes many = section;
  const Bytes interface = test_support::pcapng_interface(false, 1);
  for (std::size_t i = 0; i <= capture::kMaxInterfaces; ++i) {
    many.insert(many.end(), interface.begin(), interface.end());
  }
  const std::size_t last_interface = many.size() - interface.size();
  return {
      {"an empty file", {}, "empty file at byte 0"},
      {"three bytes", {0xd4, 0xc3, 0xb2}, "not a capture file at byte 0"},
      {"text", Bytes{'h', 'e', 'l', 'l', 'o', '\n'}, "not a capture file at byte 0"},
      {"a cut pcap header", cut(pcap, 20), "truncated file header at byte 0"},
      {"pcap version 3", with_u32(pcap, 4, 3), "unsupported pcap version 3.0 at byte 0"},
      {"a cut record header", pcap + good + cut(good, 10),
       one + "truncated packet record" + after_one},
      {"a cut record", pcap + good + cut(good, 30), one + "truncated packet record" + after_one},
      {"a record of 4 GiB", pcap + good + with_u32(good, 8, 0xffffffff),
       one + "packet record length 4294967295 exceeds the limit of 16777216" + after_one},
      {"a cut section header", cut(section, 20), "truncated block at byte 0"},
      {"a section header of 8 bytes", cut(section, 8), "truncated block at byte 0"},
      {"an unknown byte-order magic", with_u32(section, 8, 0x01020304),
       "unknown byte-order magic 0x04030201 at byte 0"},
      {"pcapng version 2", with_u32(section, 12, 2), "unsupported pcapng version 2.0 at byte 0"},
      {"a section header too short", with_u32(section, 4, 24),
       "block length 24 is too short at byte 0"},
      {"a length not a multiple of 4", ng + epb + with_u32(epb, 4, 61),
       ng_one + "block length 61 is not a multiple of 4" + at},
      {"a packet block too short", ng + epb + with_u32(epb, 4, 28),
       ng_one + "block length 28 is too short" + at},
      {"a packet block of 4 GiB", ng + epb + with_u32(epb, 4, 0xfffffffc),
       ng_one + "block length 4294967292 exceeds the limit of 16777216" + at},
      {"an unknown block of 4 GiB", ng + epb + with_u32(unknown, 4, 0xfffffffc),
       ng_one + "truncated block" + at},
      {"a cut packet block", ng + epb + cut(epb, 40), ng_one + "truncated block" + at},
      {"a cut block prefix", ng + epb + cut(epb, 6), ng_one + "truncated block" + at},
      {"a trailing length that differs", ng + epb + with_u32(epb, epb.size() - 4, 64),
       ng_one + "trailing block length 64 differs from the leading " + std::to_string(epb.size()) +
           at},
      {"an unknown block's trailing length", ng + epb + with_u32(unknown, 16, 8),
       ng_one + "trailing block length 8 differs from the leading 20" + at},
      {"an interface not described", ng + epb + with_u32(epb, 8, 1),
       ng_one + "packet block for interface 1, which the section does not describe" + at},
      {"a captured length past the block", ng + epb + with_u32(epb, 20, 1000),
       ng_one + "captured length 1000 runs past the end of the block" + at},
      {"a simple packet block first", section + test_support::pcapng_block(false, 3, Bytes(8, 0)),
       "simple packet block before any interface description at byte 28"},
      {"an option past the block",
       section + test_support::pcapng_interface(false, 1, Bytes{9, 0, 40, 0}),
       "option length 40 runs past the end of the block at byte 28"},
      {"an if_tsresol of two bytes",
       section +
           test_support::pcapng_interface(false, 1, test_support::pcapng_option(false, 9, {6, 0})),
       "if_tsresol option of length 2 at byte 28"},
      {"an if_tsoffset of four bytes",
       section + test_support::pcapng_interface(
                     false, 1, test_support::pcapng_option(false, 14, {0, 0, 0, 0})),
       "if_tsoffset option of length 4 at byte 28"},
      {"too many interfaces", many,
       "section describes more than 65536 interfaces at byte " + std::to_string(last_interface)},
  };
}

TEST(CaptureReader, FaultsAreReportedWithTheirPlaceAfterWhatCameBefore) {
  for (const Malformed& c : malformed_cases()) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(read_capture(c.file), c.want);
  }
}

#ifndef _WIN32
TEST(CaptureReader, ReadsFromAPipe) {
  test_support::TempDir dir;
  const Bytes file = test_support::pcapng_section(true) +
                     test_support::pcapng_interface(true, 101) +
                     test_support::pcapng_block(true, 0x0bad, Bytes(100000, 7)) +
                     test_support::pcapng_packet(true, 0, 3, first_packet());
  dir.write("c", std::string(file.begin(), file.end()));
  std::FILE* pipe = popen(("cat " + dir.file("c")).c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  capture::Reader reader(pipe, capture::all_ports());
  const auto d = reader.next();
  ASSERT_TRUE(d);
  EXPECT_EQ(test_support::describe(*d), "3000 10.1.2.3:4000 > 235.5.6.7:6040 first @100060");
  EXPECT_FALSE(reader.next());
  EXPECT_FALSE(reader.error());
  pclose(pipe);
}
#endif

}  // namespace
