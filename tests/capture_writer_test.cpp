// The pcapng writer: its blocks read back by the reader, the rebuilt
// frames' addresses and checksums, and failures that are never success.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "capture/frame_builder.h"
#include "capture/writer.h"
#include "packet/byte_order.h"
#include "platform/system.h"
#include "support/baseline.h"
#include "support/capture_files.h"
#include "support/packets.h"

namespace {

using test_support::address;

const capture::RecordingHeader kHeader{"feedwatch 1.0.0", "TestOS 1", "lo"};

// Datagrams of every size class, the largest one frame can carry among them;
// `payloads` holds their bytes.
std::vector<capture::UdpDatagram> datagrams(std::vector<std::string>& payloads) {
  payloads.clear();
  for (const std::size_t size : {0, 1, 101, 1472, 40000, 65507}) {
    std::string p(size, ' ');
    for (std::size_t i = 0; i < size; ++i) p[i] = static_cast<char>('A' + (i * 7 + size) % 26);
    payloads.push_back(p);
  }
  std::vector<capture::UdpDatagram> list;
  for (std::size_t i = 0; i < payloads.size(); ++i) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(payloads[i].data());
    list.push_back({.time_ns = 1607198400123456789ll + static_cast<std::int64_t>(i),
                    .source_address = address("192.0.2.1") + static_cast<std::uint32_t>(i),
                    .source_port = static_cast<std::uint16_t>(40000 + i),
                    .destination_address = address("239.255.128.7"),
                    .destination_port = static_cast<std::uint16_t>(6020 + 10 * i),
                    .payload = {bytes, payloads[i].size()}});
  }
  return list;
}

// The bytes of a file.
test_support::Bytes bytes_of(const std::string& path) {
  const std::string text = test_support::read_file(path);
  return {text.begin(), text.end()};
}

TEST(CaptureWriter, ReadBackAsWritten) {
  test_support::TempDir dir;
  const std::string path = dir.file("recording.pcapng");
  dir.write("recording.pcapng", std::string(200000, 'x'));  // replaced, not overwritten
  std::vector<std::string> payloads;
  const auto list = datagrams(payloads);
  capture::Writer writer;
  ASSERT_EQ(writer.create(path, kHeader), 0);
  for (const auto& d : list) ASSERT_EQ(writer.write(d), 0);
  ASSERT_EQ(writer.close(), 0);
  capture::ReadCounts counts;
  std::string want;
  const std::string got = test_support::read_capture(bytes_of(path), capture::all_ports(), &counts);
  std::size_t line = 0;
  for (capture::UdpDatagram d : list) {
    const std::size_t at = got.find('@', line);
    d.block_offset = std::stoull(got.substr(at + 1));
    want += test_support::describe(d) + "\n";
    line = got.find('\n', at) + 1;
  }
  EXPECT_EQ(got, want + "end");
  EXPECT_EQ(counts.frames, list.size());
}

TEST(CaptureWriter, HeaderBlocksAndFirstFrameAsPinned) {
  // What a recording names as its system: the platform's own words.
#ifdef _WIN32
  EXPECT_EQ(platform::system_description().rfind("Windows ", 0), 0u);
#else
  EXPECT_EQ(platform::system_description().rfind("Linux ", 0), 0u);
#endif
  test_support::TempDir dir;
  std::vector<std::string> payloads;
  capture::Writer writer;
  ASSERT_EQ(writer.create(dir.file("r"), kHeader), 0);
  ASSERT_EQ(writer.write(datagrams(payloads)[2]), 0);
  ASSERT_EQ(writer.close(), 0);
  std::string dump;
  const test_support::Bytes bytes = bytes_of(dir.file("r"));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
    dump += hex + std::string(i % 16 == 15 || i + 1 == bytes.size() ? "\n" : " ");
  }
  test_support::expect_baseline("capture_writer", dump);
}

// (tshark verifies the checksums of every frame; see the tools test.)
TEST(CaptureWriter, GroupAddressesAndTheZeroChecksum) {
  for (const auto& [group, mac] : {std::pair{"235.5.6.7", "01:00:5e:05:06:07"},
                                   std::pair{"239.255.255.255", "01:00:5e:7f:ff:ff"},
                                   std::pair{"224.128.0.1", "01:00:5e:00:00:01"}}) {
    const auto m = capture::multicast_mac(address(group));
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4],
                  m[5]);
    EXPECT_EQ(std::string(text), mac);
  }
  // A first payload word equal to the checksum with zeros there makes the sum 0,
  // which UDP writes as all ones.
  std::uint8_t payload[4] = {};
  capture::UdpDatagram d{.source_address = 1, .destination_address = 2, .payload = payload};
  std::uint8_t headers[capture::kFrameHeadersSize];
  capture::write_frame_headers(d, 0, headers);
  std::copy(headers + 40, headers + 42, payload);
  capture::write_frame_headers(d, 0, headers);
  EXPECT_EQ(packet::load_be16(headers + 40), 0xffff);
}

TEST(CaptureWriter, FailuresAreErrorNumbers) {
  test_support::TempDir dir;
  capture::Writer writer;
  EXPECT_NE(writer.create(dir.path(), kHeader), 0);  // a directory
  EXPECT_NE(writer.flush(), 0);
  capture::Writer big;
  ASSERT_EQ(big.create(dir.file("r"), kHeader), 0);
  const std::string payload(capture::udp::kMaxPayload + 1, 'x');
  EXPECT_EQ(big.write({.payload = {reinterpret_cast<const std::uint8_t*>(payload.data()),
                                   payload.size()}}),
            EINVAL);
#ifndef _WIN32
  capture::Writer full;
  ASSERT_EQ(full.create("/dev/full", kHeader), 0);
  EXPECT_EQ(full.flush(), ENOSPC);
  EXPECT_EQ(full.write({}), ENOSPC);
  EXPECT_EQ(full.close(), ENOSPC);
#endif
}

}  // namespace
