// Whole-process figures, each beside its baseline, measured inside a private
// network namespace (run it through scripts/in-private-netns):
//   1. feedcast's packet rate with UpdateRate 0 and the largest table of each
//      kind, and a full Agent table as two parts, against a bare sender
//      looping over the same datagrams;
//   4. feedcast's datagrams paced into feedwatch (output to a file): the
//      highest rate without a lost datagram and the first rate with losses,
//      against a bare receiver on the same kind of socket;
//   5. peak resident memory of each program (feedwatch as text and with
//      --json) early in a run and after many more passes.
// Prints one Markdown table row per figure on standard output and its
// progress on standard error.
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench_tables.h"
#include "results_table.h"
#include "support/multicast.h"
#include "support/process.h"
#include "feedcast/sender_config.h"
#include "feedcast/sender_socket.h"
#include "feedwatch/console_output.h"
#include "feedwatch/listener.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "platform/profile.h"
#include "portable/settled_file.h"
#include "platform/sockets.h"

namespace {

using bench::fixed;
using bench::row;

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using test_support::Process;

// ---- Counters --------------------------------------------------------------

// A counter of the namespace's UDP statistics (/proc/net/snmp), such as
// "OutDatagrams" or "RcvbufErrors".
long long udp_counter(const std::string& name) {
  std::ifstream snmp("/proc/net/snmp");
  std::string names, values;
  for (std::string line; std::getline(snmp, line);) {
    if (line.rfind("Udp: ", 0) != 0) continue;
    if (names.empty()) {
      names = line;
    } else {
      values = line;
      break;
    }
  }
  std::istringstream n(names), v(values);
  std::string word, label;
  n >> word;  // "Udp:"
  v >> label;
  long long value = 0;
  while (n >> word && v >> value) {
    if (word == name) return value;
  }
  throw std::runtime_error("no UDP counter " + name);
}

void pause_for(Clock::duration d) { std::this_thread::sleep_for(d); }

// ---- Table output ----------------------------------------------------------

std::string rate_text(double per_second) {
  return per_second >= 10000 ? fixed(per_second / 1000, 1) + " k/s" : fixed(per_second, 0) + " /s";
}

// ---- Senders ---------------------------------------------------------------

// The socket feedcast opens for the configuration at `ini_path`, and where it sends.
struct Sender {
  platform::UdpSocket socket;
  feedcast::Destination destination{};

  explicit Sender(const std::string& ini_path) {
    const platform::ProfileFile ini(ini_path);
    const feedcast::SenderConfig config = feedcast::read_sender_config(ini);
    const portable::Result<const packet::Kind*> kind = feedcast::check_kind_and_scheme(config);
    if (!kind) throw std::runtime_error(kind.failure());
    const portable::Result<void> opened = feedcast::open_sender_socket(config, socket);
    if (!opened) throw std::runtime_error(opened.failure());
    destination = feedcast::destination_of(config, **kind);
  }
  bool send(const std::vector<std::uint8_t>& datagram) {
    return socket.send_to(datagram.data(), datagram.size(), destination.group, destination.port) ==
           0;
  }
};

using Datagrams = std::vector<std::vector<std::uint8_t>>;

// Sends `datagrams` in turn in a loop for at most `limit` and at most 10
// million times: the bare sender.
void send_in_a_loop(const std::string& ini_path, const Datagrams& datagrams,
                    Clock::duration limit) {
  Sender sender(ini_path);
  const auto end = Clock::now() + limit;
  for (long n = 0; n < 10'000'000 && Clock::now() < end; n += 64) {
    for (int i = 0; i < 64; ++i) sender.send(datagrams[i % datagrams.size()]);
  }
}

// The bare sender with the system calls that every feedcast pass must make
// around its send: the check of the file for edits and, with UpdateRate 0,
// the yield of the processor.  What feedcast could reach at best.
void send_with_pass_calls(const std::string& ini_path, const std::vector<std::uint8_t>& datagram,
                          Clock::duration limit) {
  Sender sender(ini_path);
  const auto end = Clock::now() + limit;
  for (long n = 0; n < 10'000'000 && Clock::now() < end; ++n) {
    struct stat st {};
    ::stat(ini_path.c_str(), &st);
    sender.send(datagram);
    sched_yield();
  }
}

// Sends `count` copies of `datagram` evenly spaced at `rate` per second,
// spinning between sends; returns how many were sent.
long send_paced(Sender& sender, const std::vector<std::uint8_t>& datagram, double rate,
                long count) {
  const auto start = Clock::now();
  long sent = 0;
  for (long i = 0; i < count; ++i) {
    const auto due = start + std::chrono::nanoseconds(static_cast<long long>(i * 1e9 / rate));
    while (Clock::now() < due) {
    }
    if (sender.send(datagram)) ++sent;
  }
  return sent;
}

// ---- Figure 1: feedcast's packet rate ----------------------------------------

constexpr auto kRateWarmUp = 300ms;
constexpr auto kRateWindow = 1000ms;

// Datagrams per second that `sender` keeps up, from the namespace's counter.
double sending_rate(Process& sender) {
  pause_for(kRateWarmUp);
  const long long before = udp_counter("OutDatagrams");
  const auto t0 = Clock::now();
  pause_for(kRateWindow);
  const long long after = udp_counter("OutDatagrams");
  const auto t1 = Clock::now();
  const bool alive = !sender.wait_for(0ms);
  sender.kill();
  if (!alive) return -1;
  return static_cast<double>(after - before) / std::chrono::duration<double>(t1 - t0).count();
}

struct Table {
  const packet::Kind* kind;
  int records;
  bool compressed;
  std::string dir;
  std::string ini;
  Datagrams message;                   // the datagrams of one message
  std::vector<std::uint8_t> datagram;  // its first
};

// The largest table feedcast can send: its limit, or the most records that
// fit a UDP datagram (779 Agent Records).
int largest_table(const packet::Kind& kind) {
  return std::min<int>(kind.max_records, (65507 - packet::kHeaderSize) / kind.record_size);
}

std::string describe(const Table& t) {
  return std::string(t.kind->section) + " " + std::to_string(t.records) +
         (t.compressed ? " compressed" : " plain") +
         (t.message.size() > 1 ? " as " + std::to_string(t.message.size()) + " parts (" +
                                     std::to_string(t.datagram.size()) + " B each)"
                               : " (" + std::to_string(t.datagram.size()) + " B)");
}

void figure_1(const std::vector<Table>& tables, const std::string& feedcast, int rounds) {
  const auto limit = kRateWarmUp + kRateWindow + 1s;
  for (const Table& t : tables) {
    double best_cast = -1, best_bare = -1, best_floor = -1;
    for (int round = 0; round < rounds; ++round) {
      Process bare([&] { send_in_a_loop(t.ini, t.message, limit); });
      best_bare = std::max(best_bare, sending_rate(bare));
      Process cast({feedcast}, t.dir, "/dev/null");
      best_cast = std::max(best_cast, sending_rate(cast));
      if (!t.compressed && t.message.size() == 1) {
        Process floor([&] { send_with_pass_calls(t.ini, t.datagram, limit); });
        best_floor = std::max(best_floor, sending_rate(floor));
      }
    }
    std::fprintf(stderr, "figure 1: %s: feedcast %.0f/s, bare %.0f/s\n", describe(t).c_str(),
                 best_cast, best_bare);
    if (best_cast < 0 || best_bare <= 0) {
      row("1 feedcast rate", describe(t), "stopped", rate_text(best_bare), "", "", "failed");
      continue;
    }
    const double ratio = best_cast / best_bare;
    row("1 feedcast rate", describe(t), rate_text(best_cast), rate_text(best_bare), fixed(ratio, 2),
        t.compressed ? "(none)" : "≥ 0.5",
        t.compressed   ? ""
        : ratio >= 0.5 ? "met"
                       : "missed");
    if (best_floor > 0) {
      row("1 pass floor",
          "bare sender + stat + sched_yield per send; feedcast reaches " +
              fixed(best_cast / best_floor, 2) + " of it",
          rate_text(best_floor), rate_text(best_bare), fixed(best_floor / best_bare, 2), "(none)",
          "");
    }
  }
}

// ---- Figure 4: feedcast into feedwatch ---------------------------------------

// Counts the occurrences of `marker` in a file.
long count_in_file(const std::string& path, const std::string& marker) {
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  long count = 0;
  for (std::size_t at = 0; (at = text.find(marker, at)) != std::string::npos; at += marker.size()) {
    ++count;
  }
  return count;
}

// Waits until the receiver's delivered count stops growing for a while.
void wait_until_drained(const std::string& path) {
  std::uintmax_t last = 0;
  auto quiet_since = Clock::now();
  const auto give_up = Clock::now() + 10s;
  while (Clock::now() < give_up) {
    pause_for(20ms);
    std::error_code e;
    const std::uintmax_t size = std::filesystem::file_size(path, e);
    if (size != last) {
      last = size;
      quiet_since = Clock::now();
    } else if (Clock::now() - quiet_since > 150ms) {
      return;
    }
  }
}

// A bare receiver: feedwatch's socket set-up, then a receive loop that does
// nothing with what it receives.
void receive_only(int port) {
  feedwatch::Console quiet(std::fopen("/dev/null", "w"));
  platform::SocketsSession sockets;
  platform::UdpSocket socket;
  if (!feedwatch::set_up_listener(socket, std::string(portable::kGroupKey.default_value), port,
                                  std::nullopt, quiet)) {
    _exit(1);
  }
  std::vector<std::uint8_t> buffer(65536);
  for (;;) {
    int error = 0;
    platform::Endpoint from;
    if (socket.receive(buffer.data(), buffer.size(), error, from) < 0) _exit(1);
  }
}

struct Trial {
  long sent = 0;
  long printed = 0;
  bool lossless() const { return sent > 0 && printed == sent; }
};

constexpr auto kTrialLength = 500ms;
constexpr long kMaxTrialDatagrams = 50000;

// The highest lossless rate and the first lossy one found by doubling then
// halving the interval between them.
struct Threshold {
  double lossless = 0;
  double lossy = 0;
  Trial lossy_trial;
};

Threshold find_threshold(const std::function<Trial(double)>& trial, double start, double ceiling) {
  Threshold t;
  double rate = start;
  for (;;) {
    const Trial r = trial(rate);
    if (!r.lossless()) {
      t.lossy = rate;
      t.lossy_trial = r;
      break;
    }
    t.lossless = rate;
    if (rate >= ceiling) return t;
    rate = std::min(rate * 2, ceiling);
  }
  for (int step = 0; step < 4 && t.lossy > t.lossless * 1.1; ++step) {
    const double middle = (t.lossless + t.lossy) / 2;
    const Trial r = trial(middle);
    if (r.lossless()) {
      t.lossless = middle;
    } else {
      t.lossy = middle;
      t.lossy_trial = r;
    }
  }
  return t;
}

std::string threshold_text(const Threshold& t) {
  std::string text = t.lossless > 0 ? rate_text(t.lossless) : "< start";
  if (t.lossy > 0) {
    text += ", loses " + std::to_string(t.lossy_trial.sent - t.lossy_trial.printed) + " of " +
            std::to_string(t.lossy_trial.sent) + " at " + rate_text(t.lossy);
  } else
    text += ", no loss up to the ceiling";
  return text;
}

// Runs paced trials against a receiver; `delivered` tells how many datagrams
// it has taken in so far, once it has caught up.
// A rate counts as lossless when one of `rounds` trials at it loses nothing.
Threshold paced_threshold(const Table& t, const std::function<long()>& delivered, double ceiling,
                          int rounds) {
  Sender sender(t.ini);
  auto trial = [&](double rate) {
    Trial best;
    for (int round = 0; round < rounds && !best.lossless(); ++round) {
      Trial r;
      const long count = std::min(
          kMaxTrialDatagrams,
          std::max(20L,
                   static_cast<long>(rate * std::chrono::duration<double>(kTrialLength).count())));
      const long before = delivered();
      r.sent = send_paced(sender, t.datagram, rate, count);
      r.printed = delivered() - before;
      std::fprintf(stderr, "  %.0f/s: sent %ld, received %ld\n", rate, r.sent, r.printed);
      if (best.sent == 0 || r.printed * best.sent > best.printed * r.sent) best = r;
    }
    return best;
  };
  return find_threshold(trial, 1000, ceiling);
}

// The datagrams feedwatch printed into `path` (which it appends to) so far,
// counted once its output has stopped growing.  What was counted is cut
// from the file, so that it stays small.
std::function<long()> printed_into(const std::string& path) {
  auto total = std::make_shared<long>(0);
  return [path, total] {
    wait_until_drained(path);
    *total += count_in_file(path, "\nPrint single packet:\n");
    std::filesystem::resize_file(path, 0);
    return *total;
  };
}

// The datagrams that the namespace's UDP sockets have received and not
// dropped for want of room, once the receiver has had time to catch up.
long received_by_sockets() {
  pause_for(300ms);
  return udp_counter("InDatagrams");
}

void figure_4(const std::vector<Table>& tables, const std::string& feedwatch,
              const std::string& work, int rounds) {
  for (const Table& t : tables) {
    const int port = t.kind->port(0);
    std::fprintf(stderr, "figure 4: %s\n", describe(t).c_str());
    // The sender's own ceiling: how fast this machine sends the datagram.
    double ceiling = 0;
    {
      Process bare([&] { send_in_a_loop(t.ini, t.message, kRateWarmUp + kRateWindow + 1s); });
      ceiling = sending_rate(bare) * 0.9;
    }
    const std::string watch_out = work + "/feedwatch.out";
    Threshold watch;
    {
      Process watcher({feedwatch, std::to_string(port)}, t.dir, watch_out);
      pause_for(300ms);
      watch = paced_threshold(t, printed_into(watch_out), ceiling, rounds);
    }
    std::filesystem::remove(watch_out);
    Threshold bare;
    {
      Process receiver(std::function<void()>([&] { receive_only(port); }));
      pause_for(300ms);
      bare = paced_threshold(t, received_by_sockets, ceiling, rounds);
    }
    row("4 end to end", describe(t) + " → feedwatch > file", threshold_text(watch),
        threshold_text(bare), fixed(watch.lossless / std::max(1.0, bare.lossless), 2), "(none)",
        "");
  }
}

// ---- Figure 5: peak resident memory ------------------------------------------

void figure_5(const std::vector<Table>& tables, const std::string& feedcast,
              const std::string& feedwatch) {
  for (const Table& t : tables) {
    // feedcast sending as fast as it can: its peak early on and much later.
    {
      Process cast({feedcast}, t.dir, "/dev/null");
      const long long start = udp_counter("OutDatagrams");
      pause_for(300ms);
      const long early = cast.status_kib("VmHWM");
      const long long early_passes = udp_counter("OutDatagrams") - start;
      pause_for(2500ms);
      const long late = cast.status_kib("VmHWM");
      const long long late_passes = udp_counter("OutDatagrams") - start;
      row("5 memory",
          "feedcast, " + describe(t) + ": VmHWM after " + std::to_string(late_passes) +
              " passes vs after " + std::to_string(early_passes),
          std::to_string(late) + " kB", std::to_string(early) + " kB",
          fixed(static_cast<double>(late) / std::max(1L, early), 2), "1.00 (no growth)",
          late == early ? "met" : "grew");
    }
    // feedwatch showing the same table, as text and as JSON, paced well
    // within what it keeps up.
    for (const bool json : {false, true}) {
      std::vector<std::string> args = {feedwatch, std::to_string(t.kind->port(0))};
      if (json) args.push_back("--json");
      Process watcher(args, t.dir, "/dev/null");
      pause_for(300ms);
      Sender sender(t.ini);
      send_paced(sender, t.datagram, 500, 100);
      pause_for(200ms);
      const long early = watcher.status_kib("VmHWM");
      send_paced(sender, t.datagram, 500, 1000);
      pause_for(200ms);
      const long late = watcher.status_kib("VmHWM");
      row("5 memory",
          std::string(json ? "feedwatch --json, " : "feedwatch, ") + describe(t) +
              ": VmHWM after 1100 packets vs after 100",
          std::to_string(late) + " kB", std::to_string(early) + " kB",
          fixed(static_cast<double>(late) / std::max(1L, early), 2), "1.00 (no growth)",
          late == early ? "met" : "grew");
    }
  }
}

// ---- Set-up ------------------------------------------------------------------

// Writes the tables' configuration files, then waits until the reader trusts
// their time stamps, as it would in a file that has not been edited lately.
// `mcast` adds lines to section MCast.
std::vector<Table> make_tables(const bench::ScratchDir& scratch,
                               const std::vector<std::pair<int, int>>& sizes,
                               const std::vector<bool>& encodings, const std::string& mcast = "") {
  std::vector<Table> tables;
  for (const auto& [type, records] : sizes) {
    for (const bool compressed : encodings) {
      Table t;
      t.kind = packet::find_kind(type);
      t.records = records;
      t.compressed = compressed;
      t.dir = scratch.file(std::string(t.kind->section) + std::to_string(records) +
                           (compressed ? "z" : "") + (mcast.empty() ? "" : "p"));
      std::filesystem::create_directory(t.dir);
      t.ini = t.dir + "/feedcast.ini";
      bench::write_file(t.ini, bench::feedcast_ini(*t.kind, records, compressed, mcast));
      bench::set_modified_time(t.ini, -3600);
      t.message = bench::feedcast_message(t.ini, 1607198400);
      t.datagram = t.message.front();
      tables.push_back(std::move(t));
    }
  }
  return tables;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(
        stderr,
        "usage: %s FEEDCAST FEEDWATCH [figures, e.g. 145; p: the multi-packet row of 1 only] "
        "[rounds]\n",
        argv[0]);
    return 2;
  }
  if (!test_support::in_private_namespace()) {
    std::fprintf(stderr, "Run me in a private network namespace (scripts/in-private-netns).\n");
    return 2;
  }
  const std::string feedcast = std::filesystem::absolute(argv[1]).string();
  const std::string feedwatch = std::filesystem::absolute(argv[2]).string();
  const std::string figures = argc > 3 ? argv[3] : "145";
  const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 2;
  signal(SIGPIPE, SIG_IGN);
  try {
    bench::ScratchDir scratch;
    std::vector<std::pair<int, int>> largest, modest;
    for (int type = 1; type <= 6; ++type) {
      const packet::Kind& kind = *packet::find_kind(type);
      largest.emplace_back(type, largest_table(kind));
      modest.emplace_back(type, std::min<int>(20, kind.max_records));
    }
    const std::vector<Table> full = make_tables(scratch, largest, {false, true});
    const std::vector<Table> small = make_tables(scratch, modest, {false});
    const std::vector<Table> parts =
        make_tables(scratch, {{3, 1000}}, {false}, "MaxRecordsPerPacket=500\n");
    // Past the reader's slack for time stamps, an unchanged file costs no read.
    pause_for(portable::kStampSlack + 100ms);
    if (figures.find('1') != std::string::npos) figure_1(full, feedcast, rounds);
    if (figures.find_first_of("1p") != std::string::npos) figure_1(parts, feedcast, rounds);
    if (figures.find('4') != std::string::npos) figure_4(small, feedwatch, scratch.path(), rounds);
    if (figures.find('5') != std::string::npos) {
      std::vector<Table> skillset;
      for (const Table& t : full) {
        if (t.kind->message_type == 2 || t.kind->message_type == 3) skillset.push_back(t);
      }
      figure_5(skillset, feedcast, feedwatch);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "e2e_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
