// Figure 9, the replay of a capture, measured inside a private network
// namespace (run it through scripts/in-private-netns) on a veth pair:
//   - a capture of 100,000 datagrams over 60 s (every kind, plain and
//     compressed, and a message in four parts) replayed at speed 1: the
//     whole duration against the capture's, the lateness of each datagram
//     (its arrival on the far end of the pair, stamped by the kernel, against
//     its capture time, above the smallest such delay) at the 99th
//     percentile and at most, and the drift between the mean lateness of the
//     first and the last 10,000; the same for tcpreplay on the same file;
//   - --speed max against a bare sender of the same datagrams;
//   - peak resident memory early in an endless loop and much later.
// Prints one Markdown table row per figure on standard output and its
// progress on standard error.
#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench_tables.h"
#include "capture/writer.h"
#include "feedcast/sender_config.h"
#include "feedcast/sender_socket.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "results_table.h"
#include "support/capture_files.h"
#include "support/multicast.h"

namespace {

using bench::fixed;
using bench::row;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kDatagrams = 100'000;
constexpr std::int64_t kCaptureLength = 60'000'000'000;  // nanoseconds
constexpr std::int64_t kCaptureStart = 1'607'198'400'000'000'000;
constexpr std::size_t kEnds = 10'000;                 // datagrams at each end compared for drift
constexpr const char* kSenderAddress = "10.200.0.1";  // 9 characters or more: the interface
constexpr const char* kPeerAddress = "10.200.0.2";

// Runs a shell command; throws when it fails.
void run(const std::string& command) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

// A veth pair v0 (the senders' side) and v1 (where arrivals are stamped),
// with an MTU that takes every datagram of the capture in one frame, so that
// tcpreplay can send the captured frames as they are.
void make_veth_pair() {
  run("ip link add v0 type veth peer name v1 && ip link set v0 mtu 65535 && "
      "ip link set v1 mtu 65535 && ip addr add " +
      std::string(kSenderAddress) + "/24 dev v0 && ip addr add " + kPeerAddress +
      "/24 dev v1 && ip link set v0 up && ip link set v1 up && sleep 1");
}

// One datagram of the capture: its time, port and bytes.
struct Captured {
  std::int64_t time_ns;
  std::uint16_t port;
  Bytes bytes;
};

// The messages of one cycle: every kind of 20 records, plain and compressed,
// and a Skillset table of 40 records in four parts; with their ports.
std::vector<std::pair<std::uint16_t, std::vector<Bytes>>> cycle_messages(const std::string& dir) {
  std::vector<std::pair<std::uint16_t, std::vector<Bytes>>> messages;
  for (const bool compressed : {false, true}) {
    for (int type = 1; type <= 6; ++type) {
      const packet::Kind& kind = *packet::find_kind(type);
      const std::string path = dir + "/kind" + std::to_string(type) + ".ini";
      bench::write_file(path,
                        bench::feedcast_ini(kind, std::min<int>(20, kind.max_records), compressed));
      messages.emplace_back(kind.port(0), bench::feedcast_message(path, 0));
    }
  }
  const std::string path = dir + "/parts.ini";
  bench::write_file(
      path, bench::feedcast_ini(*packet::find_kind(2), 40, false, "MaxRecordsPerPacket=10\n"));
  messages.emplace_back(packet::find_kind(2)->port(0), bench::feedcast_message(path, 0));
  return messages;
}

// The capture's datagrams: the cycle's messages over and over, each
// datagram 600 µs after the one before, give or take a deterministic jitter
// of up to 250 µs, every message with the Timestamp of its time.
std::vector<Captured> capture_datagrams(const std::string& dir) {
  const auto messages = cycle_messages(dir);
  std::vector<Captured> out;
  std::uint32_t random = 12345;
  const std::int64_t step = kCaptureLength / static_cast<std::int64_t>(kDatagrams - 1);
  for (std::size_t m = 0; out.size() < kDatagrams; ++m) {
    const auto& [port, parts] = messages[m % messages.size()];
    for (const Bytes& part : parts) {
      if (out.size() == kDatagrams) break;
      random = random * 1103515245u + 12345u;
      const std::int64_t jitter = (random >> 8) % 250'000;
      const std::int64_t time = kCaptureStart + static_cast<std::int64_t>(out.size()) * step +
                                (out.size() + 1 < kDatagrams && out.size() > 0 ? jitter : 0);
      Captured c{time, port, part};
      packet::write_number(c.bytes.data(), packet::header_field("Timestamp"),
                           static_cast<std::uint32_t>(time / 1'000'000'000));
      out.push_back(std::move(c));
    }
  }
  // The parts of a message carry one Timestamp: that of their first.
  for (std::size_t i = 1; i < out.size(); ++i) {
    if (packet::packet_number(out[i].bytes.data()) > 1) {
      const std::uint32_t t = packet::timestamp(out[i - 1].bytes.data());
      packet::write_number(out[i].bytes.data(), packet::header_field("Timestamp"), t);
    }
  }
  return out;
}

void write_capture(const std::string& path, const std::vector<Captured>& datagrams) {
  capture::Writer writer;
  if (writer.create(path, {"replay_bench", "", "v0"}) != 0) throw std::runtime_error(path);
  for (const Captured& c : datagrams) {
    capture::UdpDatagram d;
    d.time_ns = c.time_ns;
    d.source_address = test_support::address(kSenderAddress);
    d.source_port = 40000;
    d.destination_address = test_support::address(test_support::kGroup);
    d.destination_port = c.port;
    d.payload = c.bytes;
    if (writer.write(d) != 0) throw std::runtime_error("cannot write " + path);
  }
  if (writer.close() != 0) throw std::runtime_error("cannot close " + path);
}

// Receives every UDP frame to a feed port that arrives on v1 and keeps the
// kernel's arrival stamps (nanoseconds, calendar clock), until stopped.
class ArrivalRecorder {
 public:
  ArrivalRecorder() {
    fd_ = socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL));
    if (fd_ < 0) throw std::runtime_error("packet socket");
    const int on = 1;
    const int size = 256 << 20;
    setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size);
    sockaddr_ll at{};
    at.sll_family = AF_PACKET;
    at.sll_protocol = htons(ETH_P_ALL);
    at.sll_ifindex = static_cast<int>(if_nametoindex("v1"));
    if (bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
      throw std::runtime_error("bind to v1");
    }
    arrivals_.reserve(2 * kDatagrams);
    thread_ = std::thread([this] { record(); });
  }
  ~ArrivalRecorder() {
    stop();
    close(fd_);
  }

  // Stops recording and returns the arrival stamps.
  const std::vector<std::int64_t>& stop() {
    if (thread_.joinable()) {
      stopping_ = true;
      thread_.join();
    }
    return arrivals_;
  }

 private:
  void record() {
    std::vector<std::uint8_t> frame(70000);
    char control[256];
    while (!stopping_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      iovec io{frame.data(), frame.size()};
      msghdr m{};
      m.msg_iov = &io;
      m.msg_iovlen = 1;
      m.msg_control = control;
      m.msg_controllen = sizeof control;
      const ssize_t n = recvmsg(fd_, &m, 0);
      if (n < 42 || frame[12] != 0x08 || frame[13] != 0x00 || frame[23] != 17) continue;
      const std::size_t udp = 14 + std::size_t{frame[14] & 0x0fu} * 4;
      const int port = frame[udp + 2] << 8 | frame[udp + 3];
      if (port < packet::kFirstStatPort || port > packet::kLastStatPort) continue;
      for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
          timespec t{};
          std::memcpy(&t, CMSG_DATA(c), sizeof t);
          arrivals_.push_back(std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec);
        }
      }
    }
  }

  int fd_ = -1;
  std::atomic<bool> stopping_{false};
  std::vector<std::int64_t> arrivals_;
  std::thread thread_;
};

// What one timed replay showed.
struct Timing {
  std::size_t received = 0;
  double duration_error = 0;  // of the whole replay against the capture's, as a fraction
  double p99_ms = 0, max_ms = 0, drift_ms = 0;
};

Timing timing_of(const std::vector<std::int64_t>& arrivals, const std::vector<Captured>& sent) {
  Timing t;
  t.received = arrivals.size();
  if (arrivals.size() != sent.size()) return t;
  std::vector<std::int64_t> delay(sent.size());
  for (std::size_t i = 0; i < sent.size(); ++i) delay[i] = arrivals[i] - sent[i].time_ns;
  const std::int64_t least = *std::min_element(delay.begin(), delay.end());
  std::vector<double> late(sent.size());
  for (std::size_t i = 0; i < sent.size(); ++i) late[i] = static_cast<double>(delay[i] - least);
  const double capture = static_cast<double>(sent.back().time_ns - sent.front().time_ns);
  t.duration_error = static_cast<double>(arrivals.back() - arrivals.front()) / capture - 1;
  double first = 0, last = 0;
  for (std::size_t i = 0; i < kEnds; ++i) {
    first += late[i];
    last += late[late.size() - 1 - i];
  }
  t.drift_ms = (last - first) / kEnds / 1e6;
  std::vector<double> sorted = late;
  std::sort(sorted.begin(), sorted.end());
  t.p99_ms = sorted[sorted.size() * 99 / 100] / 1e6;
  t.max_ms = sorted.back() / 1e6;
  return t;
}

// The shell command line of `argv`, each argument quoted, run in `dir`.
std::string command_line(const std::vector<std::string>& argv, const std::string& dir) {
  std::string line = "cd '" + dir + "' && exec";
  for (const std::string& a : argv) line += " '" + a + "'";
  return line;
}

// Runs `argv` in `dir` to its end, output in `log` (the namespace has other
// interfaces than loopback now, so the tests' process helper refuses it).
void run_to_end(const std::vector<std::string>& argv, const std::string& dir,
                const std::string& log) {
  run(command_line(argv, dir) + " > '" + log + "' 2>&1");
}

// Runs `argv` to its end while the arrivals on v1 are recorded.
Timing timed_replay(const std::vector<std::string>& argv, const std::string& dir,
                    const std::vector<Captured>& sent) {
  ArrivalRecorder recorder;
  run_to_end(argv, dir, dir + "/timed.log");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  std::fprintf(stderr, "%s", test_support::read_file(dir + "/timed.log").c_str());
  return timing_of(recorder.stop(), sent);
}

// A value of /proc/PID/status in KiB, such as "VmHWM"; -1 when there is none.
long status_kib(pid_t pid, const std::string& name) {
  const std::string status = test_support::read_file("/proc/" + std::to_string(pid) + "/status");
  const std::size_t at = status.find("\n" + name + ":");
  return at == std::string::npos ? -1 : std::stol(status.substr(at + name.size() + 2));
}

void timing_rows(const std::string& who, const Timing& t) {
  const std::string what = who + ", speed 1, 100000 datagrams over 60 s on a veth pair";
  if (t.received != kDatagrams) {
    row("9 replay", what, std::to_string(t.received) + " of 100000 received", "", "", "", "(none)");
    return;
  }
  const auto verdict = [](bool met) { return met ? "met" : "missed"; };
  row("9 replay", what + ": duration against the capture's",
      fixed(t.duration_error * 100, 4) + " %", "60.000 s", "", "within 0.1 %",
      verdict(std::abs(t.duration_error) <= 0.001));
  row("9 replay", what + ": lateness p99 (max)",
      fixed(t.p99_ms, 3) + " ms (" + fixed(t.max_ms, 3) + " ms)", "", "", "p99 ≤ 1 ms",
      verdict(t.p99_ms <= 1));
  row("9 replay", what + ": mean lateness of the last 10000 minus the first 10000",
      fixed(t.drift_ms, 3) + " ms", "", "", "no drift", verdict(std::abs(t.drift_ms) < 0.1));
}

// Sends every datagram through the generator's socket as fast as it takes
// them, `passes` times; returns datagrams per second.
double bare_rate(const std::string& ini_path, const std::vector<Captured>& datagrams, int passes) {
  const platform::ProfileFile ini(ini_path);
  const feedcast::SenderConfig config = feedcast::read_sender_config(ini);
  platform::UdpSocket socket;
  if (!feedcast::open_sender_socket(config, socket)) throw std::runtime_error("socket");
  const platform::Ipv4 group = platform::parse_dotted(test_support::kGroup);
  const auto start = Clock::now();
  for (int pass = 0; pass < passes; ++pass) {
    for (const Captured& c : datagrams)
      socket.send_to(c.bytes.data(), c.bytes.size(), group, c.port);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return static_cast<double>(datagrams.size()) * passes / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const bool isolated = test_support::in_private_namespace();
  if (argc < 2 || !isolated) {
    std::fprintf(stderr, "usage: %s FEEDCAST [rounds] [figures: t timing, m max, r memory]%s\n",
                 argv[0],
                 isolated ? "" : ", in a private network namespace (scripts/in-private-netns)");
    return 2;
  }
  const std::string feedcast = std::filesystem::absolute(argv[1]).string();
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const std::string figures = argc > 3 ? argv[3] : "tmr";
  try {
    bench::ScratchDir dir;
    make_veth_pair();
    const std::vector<Captured> datagrams = capture_datagrams(dir.path());
    const std::string file = dir.file("feed.pcapng");
    write_capture(file, datagrams);
    bench::write_file(dir.file("feedcast.ini"),
                      "[MCast]\nSource=" + std::string(kSenderAddress) + "\nTTL=1\n");
    const std::vector<std::string> replay{feedcast, "--replay", file};
    if (figures.find('t') != std::string::npos) {
      std::fprintf(stderr, "figure 9: feedcast --replay at speed 1 (60 s)...\n");
      timing_rows("feedcast --replay", timed_replay(replay, dir.path(), datagrams));
      std::fprintf(stderr, "figure 9: tcpreplay at speed 1 (60 s)...\n");
      timing_rows("tcpreplay",
                  timed_replay({"/usr/bin/tcpreplay", "-i", "v0", file}, dir.path(), datagrams));
    }
    if (figures.find('m') != std::string::npos) {
      constexpr int kPasses = 5;
      double best = 0, bare = 0;
      for (int r = 0; r < rounds; ++r) {
        std::vector<std::string> argv_max = replay;
        argv_max.insert(argv_max.end(), {"--speed", "max", "--loop", std::to_string(kPasses)});
        const auto start = Clock::now();
        run_to_end(argv_max, dir.path(), "/dev/null");
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        best = std::max(best, kDatagrams * kPasses / seconds);
        bare = std::max(bare, bare_rate(dir.file("feedcast.ini"), datagrams, kPasses));
      }
      row("9 replay", "--speed max, the capture 5 times (process start and first reading included)",
          fixed(best / 1000, 1) + " k/s", "bare sender: " + fixed(bare / 1000, 1) + " k/s",
          fixed(best / bare, 2), "≥ 0.8", best / bare >= 0.8 ? "met" : "missed");
    }
    if (figures.find('r') != std::string::npos) {
      std::vector<std::string> argv_loop = replay;
      argv_loop.insert(argv_loop.end(), {"--speed", "max", "--loop", "0", "-q"});
      const std::string pid_file = dir.file("loop.pid");
      run(command_line(argv_loop, dir.path()) + " > /dev/null 2>&1 & echo $! > '" + pid_file + "'");
      const pid_t pid = std::stoi(test_support::read_file(pid_file));
      std::this_thread::sleep_for(std::chrono::seconds(2));
      const long early = status_kib(pid, "VmHWM");
      std::this_thread::sleep_for(std::chrono::seconds(20));
      const long late = status_kib(pid, "VmHWM");
      kill(pid, SIGKILL);
      row("9 replay", "memory: VmHWM of --speed max --loop 0 after 22 s vs after 2 s",
          std::to_string(late) + " kB", std::to_string(early) + " kB",
          fixed(static_cast<double>(late) / static_cast<double>(early), 2), "1.00 (no growth)",
          late == early ? "met" : "missed");
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "replay_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
