// In-process figures, each beside its baseline:
//   configuration pass (refresh + every key of a table) against one read of
//   the file's bytes plus a split into lines;
//   a simulated pass (every value of an unchanged table moving) against a
//   configuration pass of the same file;
//   PrintPacket of a full table to /dev/null against a plain C printf loop of
//   the same lines into a buffered stream;
//   the JSON display of the same table against PrintPacket.
// Prints one Markdown table row per figure on standard output; Google
// Benchmark's own report goes to standard error.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include "best_times.h"
#include "bench_tables.h"
#include "results_table.h"
#include "feedcast/record_builder.h"
#include "feedcast/sender_config.h"
#include "feedcast/transmit_loop.h"
#include "feedwatch/console_output.h"
#include "feedwatch/json_output.h"
#include "feedwatch/print_packet.h"
#include "packet/catalogue.h"
#include "packet/header.h"
#include "platform/profile.h"
#include "portable/settled_file.h"

namespace {

using bench::fixed;
using bench::row;

using packet::load_be32;

// ---- Configuration pass --------------------------------------------------

struct TableFile {
  const packet::Kind* kind;
  int records;
  std::string path;
  std::size_t bytes;
  std::size_t lines;
};

bench::ScratchDir& scratch() {
  static bench::ScratchDir dir;
  return dir;
}

// How a table file is written: its values constant or moving, and its time
// stamp in the future, so that every refresh reads and parses it again, as
// after an edit, or settled in the past, so that a refresh only looks at it.
enum class Table { kConstant, kMoving, kMovingSettled };

const TableFile& table_file(int message_type, int records, Table how = Table::kConstant) {
  static std::map<std::tuple<int, int, Table>, TableFile> files;
  auto [it, fresh] = files.try_emplace({message_type, records, how});
  if (fresh) {
    const packet::Kind* kind = packet::find_kind(message_type);
    const std::string text = how == Table::kConstant ? bench::feedcast_ini(*kind, records, false)
                                                     : bench::moving_feedcast_ini(*kind, records);
    const std::string path = scratch().file(std::string(kind->section) + std::to_string(records) +
                                            "-" + std::to_string(static_cast<int>(how)) + ".ini");
    bench::write_file(path, text);
    if (how == Table::kMovingSettled) {
      // The change time cannot be set back: wait until it lies beyond the
      // reader's slack for time stamps.
      bench::set_modified_time(path, -3600);
      std::this_thread::sleep_for(portable::kStampSlack + std::chrono::milliseconds(500));
    } else {
      bench::set_modified_time(path, 24 * 3600);
    }
    it->second = {kind, records, path, text.size(),
                  static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'))};
  }
  return it->second;
}

// One pass's configuration work: refresh the file, read "Number" and
// "Encode", build every record of the table.
void config_pass(benchmark::State& state, const TableFile& t) {
  platform::ProfileFile ini(t.path);
  std::vector<std::uint8_t> area(std::size_t{t.kind->max_records} * t.kind->record_size);
  for (auto _ : state) {
    ini.refresh();
    const auto number = static_cast<std::uint16_t>(ini.read_int(t.kind->section, "Number", 0));
    const auto encode = ini.read_int(t.kind->section, "Encode", 0);
    feedcast::build_records(*t.kind, ini, area.data(), number);
    benchmark::DoNotOptimize(encode);
    benchmark::DoNotOptimize(area.data());
    benchmark::ClobberMemory();
  }
  if (area[0] == 0 && area[3] == 0) state.SkipWithError("the table was not built");
}

void BM_ConfigPass(benchmark::State& state) {
  config_pass(state,
              table_file(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
}

// The same pass over a table whose values all move, read as constants.
void BM_MovingConfigPass(benchmark::State& state) {
  config_pass(state, table_file(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                                Table::kMoving));
}

// A pass of feedcast with Simulate 1 over an unchanged file whose values all
// move: refresh the file, fill the header, move every value and write it.
void BM_SimulatedPass(benchmark::State& state) {
  const TableFile& t = table_file(static_cast<int>(state.range(0)),
                                  static_cast<int>(state.range(1)), Table::kMovingSettled);
  platform::ProfileFile ini(t.path);
  const feedcast::SenderConfig config = feedcast::read_sender_config(ini);
  feedcast::PacketSource source(config, *t.kind, ini);
  const packet::Datagram built = source.next(0)->front();  // builds the table
  const std::vector<std::uint8_t> first(built.begin(), built.end());
  const std::uint64_t version = ini.version();
  std::int64_t now = 0;
  packet::Datagram packet;
  for (auto _ : state) {
    packet = source.next(now++)->front();
    benchmark::DoNotOptimize(packet.data());
    benchmark::ClobberMemory();
  }
  if (ini.version() != version) state.SkipWithError("the file was read again");
  if (packet.size() != first.size() ||
      std::equal(first.begin() + 68, first.end(), packet.begin() + 68)) {
    state.SkipWithError("the values did not move");
  }
}

// The baseline: read the whole file from the page cache and split it into lines.
void BM_ReadSplit(benchmark::State& state) {
  const TableFile& t =
      table_file(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  std::string bytes;
  std::vector<std::string_view> lines;
  for (auto _ : state) {
    const int fd = ::open(t.path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    ::fstat(fd, &st);
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    lines.clear();
    const char* p = bytes.data();
    const char* end = p + got;
    while (p < end) {
      const char* eol =
          static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      if (eol == nullptr) eol = end;
      lines.emplace_back(p, static_cast<std::size_t>(eol - p));
      p = eol + 1;
    }
    benchmark::DoNotOptimize(lines.data());
    benchmark::ClobberMemory();
  }
  if (lines.size() != t.lines) state.SkipWithError("wrong line count");
}

// ---- PrintPacket ---------------------------------------------------------

// A full table as feedcast sends it, in a packet buffer of the monitor's.
const feedwatch::PacketBuffer& full_packet(int message_type) {
  static std::map<int, feedwatch::PacketBuffer> packets;
  auto [it, fresh] = packets.try_emplace(message_type);
  if (fresh) {
    const packet::Kind* kind = packet::find_kind(message_type);
    const std::string path = scratch().file(std::string(kind->section) + "-packet.ini");
    bench::write_file(path, bench::feedcast_ini(*kind, kind->max_records, false));
    const std::vector<std::uint8_t> datagram = bench::feedcast_message(path, 1607198400).front();
    std::copy(datagram.begin(), datagram.end(), it->second.begin());
  }
  return it->second;
}

std::string date_text(std::uint32_t timestamp) {
  const time_t t = timestamp;
  tm local{};
  localtime_r(&t, &local);
  char text[64];
  std::strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y\n", &local);
  return text;
}

std::string server_name_text(const std::uint8_t* p) {
  std::string name;
  for (char16_t unit : packet::server_name(p)) name.push_back(static_cast<char>(unit));
  return name;
}

// The header lines as plain printf calls.
void printf_header(std::FILE* out, const std::uint8_t* p, const char* kind_title) {
  std::fprintf(out, "Server id -> %s\n", server_name_text(p).c_str());
  std::fputs(kind_title, out);
  std::fputs(packet::stat_scheme(p) == 0 ? "Interval to Date\n" : "Moving Window\n", out);
  std::fprintf(out, "Timestamp -> %d", static_cast<std::int32_t>(packet::timestamp(p)));
  std::fprintf(out, " = %s", date_text(packet::timestamp(p)).c_str());
  std::fprintf(out, "NumRecord -> %d\n", packet::num_record(p));
  std::fprintf(out, "RecordSize -> %d\n\n", packet::record_size(p));
  std::fprintf(out, "Encoding : %d\n", packet::encoding(p));
}

const char kSeparator[] = "               ************************************************\n\n";

int d(const std::uint8_t* r, int offset) {
  return static_cast<std::int32_t>(load_be32(r + offset));
}

// The Skillset lines: each format and the offsets of the fields that fill
// it (the last line has four; printf ignores the fifth).
struct SkillsetLine {
  const char* format;
  int offsets[5];
};
constexpr SkillsetLine kSkillsetLines[] = {
    {"SkillsetId =%d\tAgentAvail =%d\tAgentInSrvc=%d\tAgtOnSklCal=%d\tAgentNtRdy =%d\n",
     {0, 4, 8, 12, 16}},
    {"CallWaiting=%d\tLngWaitTmLt=%d\tMaxWaitTime=%d\tWaitingTime=%d\tExpWaitTime=%d\n",
     {20, 24, 28, 32, 36}},
    {"CallAfThshd=%d\tLngWaitTLog=%d\tAgtOnDNCall=%d\tSkillState =%d\tAgentUnavil=%d\n",
     {40, 44, 48, 52, 56}},
    {"NwtCallWait=%d\tNwtCallAns =%d\tQudCallAns =%d\tTotCallAns =%d\tTotCallAnsD=%d\n",
     {60, 64, 68, 76, 72}},
    {"AgNwtSklCal=%d\tAgOtSklCall=%d\tAgtOnACDCal=%d\tAgtOnNACDCl=%d\tCallOffered=%d\n",
     {80, 84, 88, 92, 96}},
    {"SkllAband  =%d\tSkllAbandDl=%d\tSklAbanAfTd=%d\tNwtCallOffr=%d\n", {100, 104, 108, 112, 0}},
};

void printf_skillset(std::FILE* out, const std::uint8_t* p) {
  printf_header(out, p, "Skillset Statistics - ");
  for (int i = 0; i < packet::num_record(p); ++i) {
    const std::uint8_t* r = p + 68 + 116 * i;
    for (const SkillsetLine& line : kSkillsetLines) {
      const int* at = line.offsets;
      std::fprintf(out, line.format, d(r, at[0]), d(r, at[1]), d(r, at[2]), d(r, at[3]),
                   d(r, at[4]));
    }
    std::fputs(kSeparator, out);
  }
}

void printf_route(std::FILE* out, const std::uint8_t* p) {
  printf_header(out, p, "Route Statistics - ");
  for (int i = 0; i < packet::num_record(p); ++i) {
    const std::uint8_t* r = p + 68 + 10 * i;
    std::fprintf(out, "RouteNumber=%d\tTrunksBusy =%Xh\tTrunkBusyTm=%d\n", d(r, 0), unsigned{r[4]},
                 d(r, 6));
    std::fputs(kSeparator, out);
  }
}

void printf_packet(std::FILE* out, const std::uint8_t* p) {
  if (packet::message_type(p) == 2)
    printf_skillset(out, p);
  else
    printf_route(out, p);
}

// The two texts must be the same, byte for byte.
bool same_text(const feedwatch::PacketBuffer& p) {
  char* mine = nullptr;
  char* theirs = nullptr;
  std::size_t mine_size = 0, theirs_size = 0;
  std::FILE* a = open_memstream(&mine, &mine_size);
  {
    feedwatch::Console console(a);
    feedwatch::print_packet(p, feedwatch::Expansion::kPlain, console);
  }
  std::fclose(a);
  std::FILE* b = open_memstream(&theirs, &theirs_size);
  printf_packet(b, p.data());
  std::fclose(b);
  const bool same = std::string_view(mine, mine_size) == std::string_view(theirs, theirs_size);
  std::free(mine);
  std::free(theirs);
  return same;
}

std::FILE* dev_null() {
  static std::FILE* f = std::fopen("/dev/null", "w");
  return f;
}

void BM_PrintPacket(benchmark::State& state) {
  const feedwatch::PacketBuffer& p = full_packet(static_cast<int>(state.range(0)));
  if (!same_text(p)) state.SkipWithError("the printf loop prints other text");
  feedwatch::Console console(dev_null());
  for (auto _ : state) {
    feedwatch::print_packet(p, feedwatch::Expansion::kPlain, console);
    console.flush();
  }
}

void BM_PrintfLoop(benchmark::State& state) {
  const feedwatch::PacketBuffer& p = full_packet(static_cast<int>(state.range(0)));
  std::FILE* out = dev_null();
  for (auto _ : state) {
    printf_packet(out, p.data());
    std::fflush(out);
  }
}

// The JSON display of the same packet to /dev/null, a line written and
// flushed as the JSON mode does; measured against BM_PrintPacket.
void BM_JsonPacket(benchmark::State& state) {
  const feedwatch::PacketBuffer& p = full_packet(static_cast<int>(state.range(0)));
  feedwatch::JsonLines json(dev_null());
  feedwatch::Arrival arrival;
  arrival.received = std::chrono::system_clock::now();
  const std::size_t records =
      std::size_t{packet::num_record(p.data())} * packet::record_size(p.data());
  arrival.length = packet::kHeaderSize + records;
  for (auto _ : state) {
    json.write_packet(p, arrival, nullptr, feedwatch::Expansion::kPlain, records);
  }
}

// Each figure right after its baseline, so that both see the same load.
const int kTables[][2] = {{2, 35}, {2, 350}, {1, 500}, {3, 1000}, {5, 500}, {6, 60}, {6, 600}};
const int kPrinted[] = {2, 6};

void register_benchmarks() {
  for (const auto& t : kTables) {
    benchmark::RegisterBenchmark("BM_ReadSplit", BM_ReadSplit)
        ->Args({t[0], t[1]})
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_ConfigPass", BM_ConfigPass)
        ->Args({t[0], t[1]})
        ->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("BM_MovingConfigPass", BM_MovingConfigPass)
      ->Args({2, 350})
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("BM_SimulatedPass", BM_SimulatedPass)
      ->Args({2, 350})
      ->Unit(benchmark::kMicrosecond);
  for (const int type : kPrinted) {
    benchmark::RegisterBenchmark("BM_PrintfLoop", BM_PrintfLoop)
        ->Arg(type)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_PrintPacket", BM_PrintPacket)
        ->Arg(type)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_JsonPacket", BM_JsonPacket)
        ->Arg(type)
        ->Unit(benchmark::kMicrosecond);
  }
}

// ---- Report --------------------------------------------------------------

std::string time_text(double us) {
  return us >= 1000 ? fixed(us / 1000, 2) + " ms" : fixed(us, 1) + " µs";
}

}  // namespace

int main(int argc, char** argv) {
  register_benchmarks();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::BestTimes times;
  benchmark::RunSpecifiedBenchmarks(&times);
  for (const auto& [name, message] : times.failed) {
    std::fprintf(stderr, "%s failed: %s\n", name.c_str(), message.c_str());
  }
  auto get = [&](const std::string& name) {
    const auto it = times.best.find(name);
    return it == times.best.end() ? -1.0 : it->second;
  };

  // Configuration pass against read + split, and the cost per line of the file.
  std::map<std::pair<int, int>, double> pass_time;
  for (const auto& c : kTables) {
    const std::string args = '/' + std::to_string(c[0]) + '/' + std::to_string(c[1]);
    const double pass = get("BM_ConfigPass" + args);
    const double base = get("BM_ReadSplit" + args);
    if (pass < 0 || base < 0) continue;
    const TableFile& t = table_file(c[0], c[1]);
    pass_time[{c[0], c[1]}] = pass;
    const double ratio = pass / base;
    row("2 config pass",
        std::string(t.kind->section) + " " + std::to_string(c[1]) + " (" + std::to_string(t.lines) +
            " lines, " + fixed(t.bytes / 1024.0, 0) + " KiB)",
        time_text(pass), time_text(base), fixed(ratio, 2) + "×", "≤ 3×",
        ratio <= 3 ? "met" : "missed");
  }
  // A reader that looked every key up in the whole file would take about
  // lines² times as long; a linear one takes about as many times longer as
  // the file has more lines.
  for (const auto& [small, large] : {std::pair{std::pair{2, 35}, std::pair{2, 350}},
                                     std::pair{std::pair{6, 60}, std::pair{6, 600}}}) {
    if (!pass_time.count(small) || !pass_time.count(large)) continue;
    const double lines = static_cast<double>(table_file(large.first, large.second).lines) /
                         static_cast<double>(table_file(small.first, small.second).lines);
    const double time = pass_time[large] / pass_time[small];
    row("2 linearity",
        std::string(packet::find_kind(small.first)->section) + " " + std::to_string(small.second) +
            " → " + std::to_string(large.second) + " records: pass time vs file lines",
        "×" + fixed(time, 1), "×" + fixed(lines, 1), fixed(time / lines, 2), "≤ 1.2 (linear)",
        time / lines <= 1.2 ? "met" : "missed");
  }

  // A pass that moves every value of an unchanged file against a pass that
  // reads the same file.
  if (const double sim = get("BM_SimulatedPass/2/350"), cfg = get("BM_MovingConfigPass/2/350");
      sim >= 0 && cfg >= 0) {
    const TableFile& t = table_file(2, 350, Table::kMoving);
    row("2 simulated pass",
        "Skillset 350, all 10150 values moving, file unchanged, vs a config pass (" +
            std::to_string(t.lines) + " lines, " + fixed(t.bytes / 1024.0, 0) + " KiB)",
        time_text(sim), time_text(cfg), fixed(sim / cfg, 2) + "×", "≤ 1×",
        sim <= cfg ? "met" : "missed");
  }

  // Rows whose target is a ratio of 0.8 or more.
  const auto at_least_row = [](const std::string& figure, const std::string& what, double measured,
                               double baseline, double ratio) {
    row(figure, what, time_text(measured), time_text(baseline), fixed(ratio, 2), "≥ 0.8",
        ratio >= 0.8 ? "met" : "missed");
  };
  for (const int type : kPrinted) {
    const std::string arg = '/' + std::to_string(type);
    const double print = get("BM_PrintPacket" + arg);
    const double base = get("BM_PrintfLoop" + arg);
    if (print < 0 || base < 0) continue;
    const packet::Kind* kind = packet::find_kind(type);
    const std::string table = std::string(kind->section) + " " + std::to_string(kind->max_records) +
                              " records to /dev/null";
    at_least_row("3 PrintPacket", table, print, base, base / print);
    const double json = get("BM_JsonPacket" + arg);
    if (json >= 0) {
      at_least_row("6 JSON display", table + ", against the text display", json, print,
                   print / json);
    }
  }
  benchmark::Shutdown();
  return times.failed.empty() ? 0 : 1;
}
