#include "bench_tables.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <stdexcept>

#include "feedcast/sender_config.h"
#include "feedcast/transmit_loop.h"
#include "platform/profile.h"

namespace bench {

namespace {

// The value of the `n`th keyed field of record `i`: a constant of its own, or
// with `moving` alternately a range and a counter.
std::string value_text(int i, int n, bool moving) {
  const int base = 1000 * i + n;
  if (!moving) return std::to_string(base);
  return n % 2 ? std::to_string(base) + ".." + std::to_string(base + 100)
               : std::to_string(base) + "+5";
}

std::string table_ini(const packet::Kind& kind, int records, bool compressed,
                      const std::string& mcast, bool moving) {
  std::string text =
      "[MCast]\nSource=111\nIP=235.5.6.7\nMessageType=" + std::to_string(kind.message_type) +
      "\nStatScheme=0\nServerName=CCSERVER01\nUpdateRate=0\nTTL=1\n"
      "ReleaseNumber=6\nMinorVersion=0\nBuildNumber=6\n" +
      mcast + "\n";
  text += '[';
  text += kind.section;
  text += "]\nNumber=" + std::to_string(records) + "\nEncode=" + (compressed ? "1" : "0") + "\n";
  for (int i = 0; i < records; ++i) {
    int n = 0;
    for (const packet::Field& f : kind.layout->fields) {
      if (!f.keyed) continue;
      text += std::string(f.name) + std::to_string(i) + "=" + value_text(i, ++n, moving) + "\n";
    }
  }
  return text;
}

}  // namespace

std::string feedcast_ini(const packet::Kind& kind, int records, bool compressed,
                         const std::string& mcast) {
  return table_ini(kind, records, compressed, mcast, false);
}

std::string moving_feedcast_ini(const packet::Kind& kind, int records) {
  return table_ini(kind, records, false, "Simulate=1\nSimulateSeed=1\n", true);
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

void set_modified_time(const std::string& path, long seconds) {
  timespec times[2];
  clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec += seconds;
  times[1] = times[0];
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
    throw std::runtime_error("cannot set the time of " + path);
  }
}

std::vector<std::vector<std::uint8_t>> feedcast_message(const std::string& path, std::int64_t now) {
  platform::ProfileFile ini(path);
  const feedcast::SenderConfig config = feedcast::read_sender_config(ini);
  const portable::Result<const packet::Kind*> kind = feedcast::check_kind_and_scheme(config);
  if (!kind) throw std::runtime_error(kind.failure());
  feedcast::PacketSource source(config, **kind, ini);
  const portable::Result<std::span<const packet::Datagram>> message = source.next(now);
  if (!message) throw std::runtime_error(message.failure());
  std::vector<std::vector<std::uint8_t>> datagrams;
  for (const packet::Datagram d : *message) datagrams.emplace_back(d.begin(), d.end());
  return datagrams;
}

}  // namespace bench
