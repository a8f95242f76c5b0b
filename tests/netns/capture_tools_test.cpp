// The capture library against the tools of the trade: files that tcpdump and
// dumpcap record on a veth pair with an MTU of 1500 (pcap and pcapng,
// Ethernet and Linux cooked), a 40 KB datagram among them that the system
// fragments, read back exactly; and recordings of the writer that tshark and
// libpcap read with every checksum right.  Each test runs in a network
// namespace of its own.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "capture/reader.h"
#include "capture/writer.h"
#include "support/capture_files.h"
#include "support/multicast.h"
#include "support/process.h"
#include "support/packets.h"

namespace {

using namespace std::chrono_literals;
using test_support::address;
using test_support::read_file;
using test_support::TempDir;

constexpr const char* kSender = "10.9.0.1";
constexpr std::uint16_t kSenderPort = 7000;

// Starts a shell command in the background with its output and errors in
// `log`; returns its process id.
pid_t start(const std::string& command, const std::string& log) {
  if (std::system((command + " > " + log + " 2>&1 & echo $! > " + log + ".pid").c_str()) != 0) {
    throw std::runtime_error("cannot start " + command);
  }
  return std::stoi(test_support::read_file(log + ".pid"));
}

// Interrupts a command started by start(), as a user stops a capture, and
// waits for its end.
bool interrupt(pid_t pid) {
  kill(pid, SIGINT);
  return test_support::eventually([&] { return kill(pid, 0) != 0; }, 20s);
}

// Waits until `log` shows `text`.
bool shows(const std::string& log, const std::string& text) {
  return test_support::eventually(
      [&] { return test_support::read_file(log).find(text) != std::string::npos; }, 20s);
}

// Runs a shell command to its end; its output and errors.
std::string run(const std::string& command, const std::string& log) {
  std::system((command + " > " + log + " 2>&1").c_str());
  return test_support::read_file(log);
}

// A veth pair, veth0 (10.9.0.1) and veth1, MTU 1500, in this namespace.
void make_veth_pair() {
  if (!test_support::in_private_namespace()) throw std::runtime_error("not in a private namespace");
  const int status = std::system(
      "ip link add veth0 mtu 1500 type veth peer name veth1 mtu 1500 && "
      "ip addr add 10.9.0.1/24 dev veth0 && ip addr add 10.9.0.2/24 dev veth1 && "
      "ip link set veth0 up && ip link set veth1 up");
  if (status != 0) throw std::runtime_error("cannot make the veth pair");
  for (const char* end : {"veth0", "veth1"}) {
    const std::string up = std::string("ip link show ") + end + " | grep -q 'state UP'";
    if (!test_support::eventually([&] { return std::system(up.c_str()) == 0; }, 10s)) {
      throw std::runtime_error(std::string(end) + " does not come up");
    }
  }
}

// The datagrams sent: every size class, over the MTU and the largest; one to
// a port that is not the feed's.
struct Sent {
  std::uint16_t port;
  std::string payload;
};

std::vector<Sent> to_send() {
  std::mt19937 random(1500);
  std::vector<Sent> list;
  const std::size_t sizes[] = {8, 1472, 1473, 40000, 65507, 300};
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    std::string payload(sizes[i], ' ');
    for (char& c : payload) c = static_cast<char>(random());
    list.push_back({static_cast<std::uint16_t>(i == 5 ? 5000 : 6020 + 10 * i), payload});
  }
  return list;
}

// Sends the datagrams to the group out of veth0, not looped back.
void send_out_of_veth0(const std::vector<Sent>& list) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  in_addr from{};
  from.s_addr = inet_addr(kSender);
  const int off = 0;
  sockaddr_in bound{};
  bound.sin_family = AF_INET;
  bound.sin_addr = from;
  bound.sin_port = htons(kSenderPort);
  if (setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &from, sizeof from) != 0 ||
      setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &off, sizeof off) != 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0) {
    throw std::runtime_error("cannot set up the sender");
  }
  for (const Sent& s : list) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = inet_addr(test_support::kGroup);
    to.sin_port = htons(s.port);
    if (sendto(fd, s.payload.data(), s.payload.size(), 0, reinterpret_cast<sockaddr*>(&to),
               sizeof to) != static_cast<ssize_t>(s.payload.size())) {
      throw std::runtime_error("send failed");
    }
    std::this_thread::sleep_for(20ms);
  }
  close(fd);
}

std::int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

TEST(CaptureTools, FilesOfTcpdumpAndDumpcapReadExactly) {
  make_veth_pair();
  TempDir dir;
  const std::string tcpdump = "tcpdump -Z root --immediate-mode -s 2048 -U ";
  const std::pair<const char*, std::string> captures[] = {
      {"tcpdump-ethernet.pcap", tcpdump + "-i veth1 -w"},
      {"tcpdump-ethernet-ns.pcap", tcpdump + "--time-stamp-precision=nano -i veth1 -w"},
      {"tcpdump-cooked.pcap", tcpdump + "-i any -y LINUX_SLL inbound -w"},
      {"tcpdump-cooked2.pcap", tcpdump + "-i any -y LINUX_SLL2 inbound -w"},
      {"dumpcap-ethernet.pcapng", "dumpcap -i veth1 -w"},
      {"dumpcap-cooked.pcapng", "dumpcap -i any -f inbound -w"},
      {"dumpcap-ethernet.pcap", "dumpcap -P -i veth1 -w"},
  };
  std::vector<pid_t> tools;
  for (const auto& [name, command] : captures) {
    const std::string log = dir.file(std::string(name) + ".log");
    tools.push_back(start(command + " " + dir.file(name), log));
    ASSERT_TRUE(shows(log, command[0] == 't' ? "listening" : "Capturing")) << read_file(log);
  }
  std::this_thread::sleep_for(1s);
  const std::vector<Sent> sent = to_send();
  const std::int64_t begin = now_ns();
  send_out_of_veth0(sent);
  const std::int64_t end = now_ns();
  std::this_thread::sleep_for(1500ms);  // dumpcap hands over its buffer once a second
  for (const pid_t tool : tools) ASSERT_TRUE(interrupt(tool));

  for (const auto& [name, command] : captures) {
    SCOPED_TRACE(name);
    int error = 0;
    const capture::CaptureFile file = capture::open_capture(dir.file(name), error);
    ASSERT_TRUE(file);
    capture::Reader reader(file.get(), capture::feed_ports());
    std::int64_t last = begin;
    for (const Sent& s : sent) {
      if (s.port == 5000) continue;
      const auto d = reader.next();
      ASSERT_TRUE(d) << (reader.error() ? reader.error()->text() : "end") << " before "
                     << s.payload.size() << " bytes";
      EXPECT_EQ(std::string(d->payload.begin(), d->payload.end()), s.payload);
      EXPECT_EQ(d->destination_port, s.port);
      EXPECT_EQ(d->destination_address, address(test_support::kGroup));
      EXPECT_EQ(d->source_address, address(kSender));
      EXPECT_EQ(d->source_port, kSenderPort);
      EXPECT_GE(d->time_ns, last);
      EXPECT_LE(d->time_ns, end);
      last = d->time_ns;
    }
    EXPECT_FALSE(reader.next());
    EXPECT_FALSE(reader.error());
    const capture::ReadCounts counts = reader.counts();
    EXPECT_EQ(counts.fragments.datagrams, 3u);  // 1473, 40000 and 65507 bytes
    EXPECT_EQ(counts.other_ports, 1u);
    EXPECT_EQ(counts.pending_fragments, 0u);
  }
}

TEST(CaptureTools, RecordingsReadByTsharkAndLibpcapWithCorrectChecksums) {
  TempDir dir;
  const std::string path = dir.file("recording.pcapng");
  const std::vector<Sent> sent = to_send();
  std::vector<std::string> payloads;
  capture::Writer writer;
  ASSERT_EQ(writer.create(path, {"feedwatch 1.0.0", "Linux", "lo"}), 0);
  for (std::size_t i = 0; i < sent.size(); ++i) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(sent[i].payload.data());
    ASSERT_EQ(writer.write({.time_ns = 1607198400000000000ll + 1000 * static_cast<long>(i),
                            .source_address = address(kSender),
                            .source_port = kSenderPort,
                            .destination_address = address(test_support::kGroup),
                            .destination_port = sent[i].port,
                            .payload = {bytes, sent[i].payload.size()}}),
              0);
  }
  ASSERT_EQ(writer.close(), 0);

  const std::string fields =
      run("tshark -r " + path +
              " -o ip.check_checksum:TRUE -o udp.check_checksum:TRUE -T fields -e eth.dst"
              " -e ip.checksum.status -e udp.checksum.status -e udp.length -e frame.time_epoch",
          dir.file("tshark.log"));
  std::string want = "Running as user \"root\" and group \"root\". This could be dangerous.\n";
  for (std::size_t i = 0; i < sent.size(); ++i) {
    want += "01:00:5e:05:06:07\t1\t1\t" + std::to_string(8 + sent[i].payload.size()) +
            "\t1607198400.00000" + std::to_string(i) + "000\n";
  }
  EXPECT_EQ(fields, want);
  const std::string listing = run("tcpdump -r " + path + " -nn -q", dir.file("tcpdump.log"));
  EXPECT_NE(listing.find("10.9.0.1.7000 > 235.5.6.7.6050: UDP, length 40000"), std::string::npos)
      << listing;
  EXPECT_NE(listing.find("10.9.0.1.7000 > 235.5.6.7.6060: UDP, length 65507"), std::string::npos)
      << listing;
}

}  // namespace
