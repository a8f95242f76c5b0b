// Capture files: the reader's datagrams per second on a large recording and
// on a capture of fragmented datagrams, each against a bare fread of the
// same bytes, and the writer's.  Prints one Markdown
// table row per figure on standard output.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "best_times.h"
#include "bench_tables.h"
#include "capture/reader.h"
#include "capture/writer.h"
#include "support/capture_files.h"

namespace {

// Datagram sizes of the feed, cycled: Nodal 1, Route 20, IVR 20, Application 20.
constexpr std::size_t kSizes[] = {96, 268, 708, 1748};
constexpr int kRecorded = 100000;
// Skillset 20 (two fragments at an MTU of 1500) and Skillset 350 (28).
constexpr std::size_t kFragmentedSizes[] = {2388, 40668};
constexpr int kFragmented = 4000;

bench::ScratchDir& scratch() {
  static bench::ScratchDir dir;
  return dir;
}

std::vector<std::string>& payloads() {
  static std::vector<std::string> list = [] {
    std::vector<std::string> p;
    for (const std::size_t size : kSizes) p.emplace_back(size, 'x');
    return p;
  }();
  return list;
}

capture::UdpDatagram datagram(int i) {
  const std::string& p = payloads()[static_cast<std::size_t>(i) % std::size(kSizes)];
  return {.time_ns = 1607198400000000000ll + 1000ll * i,
          .source_address = 0x0a000001,
          .source_port = 7000,
          .destination_address = 0xeb050607,
          .destination_port = 6080,
          .payload = {reinterpret_cast<const std::uint8_t*>(p.data()), p.size()}};
}

// The writer's recording of kRecorded datagrams.
const std::string& recording() {
  static const std::string path = [] {
    const std::string file = scratch().file("recording.pcapng");
    capture::Writer writer;
    writer.create(file, {"bench", "", "lo"});
    for (int i = 0; i < kRecorded; ++i) writer.write(datagram(i));
    writer.close();
    return file;
  }();
  return path;
}

// A Linux cooked pcap of kFragmented datagrams, each cut into fragments of
// 1480 bytes as an MTU of 1500 does.
const std::string& fragmented() {
  static const std::string path = [] {
    const std::string file = scratch().file("fragmented.pcap");
    std::FILE* out = std::fopen(file.c_str(), "wb");
    const test_support::Bytes header = test_support::pcap_header(false, false, 113);
    std::fwrite(header.data(), 1, header.size(), out);
    for (int i = 0; i < kFragmented; ++i) {
      const std::string payload(kFragmentedSizes[i % 2], 'y');
      const test_support::Bytes packet =
          test_support::udp_packet(0x0a000001, 7000, 0xeb050607, 6040, payload);
      for (const auto& piece :
           test_support::fragments(packet, 1480, static_cast<std::uint16_t>(i))) {
        const test_support::Bytes record =
            test_support::pcap_record(false, 1, i, test_support::framed("sll", piece));
        std::fwrite(record.data(), 1, record.size(), out);
      }
    }
    std::fclose(out);
    return file;
  }();
  return path;
}

std::size_t file_size(const std::string& path) { return test_support::read_file(path).size(); }

void BM_Read(benchmark::State& state, const std::string& (*file)(), int expected) {
  for (auto _ : state) {
    int error = 0;
    const capture::CaptureFile input = capture::open_capture(file(), error);
    capture::Reader reader(input.get(), capture::all_ports());
    int count = 0;
    while (reader.next()) ++count;
    if (count != expected || reader.error()) state.SkipWithError("not every datagram was read");
  }
}

void BM_Fread(benchmark::State& state, const std::string& (*file)()) {
  std::vector<char> buffer(1 << 16);
  for (auto _ : state) {
    int error = 0;
    const capture::CaptureFile input = capture::open_capture(file(), error);
    while (std::fread(buffer.data(), 1, buffer.size(), input.get()) == buffer.size()) {
    }
  }
}

void BM_Write(benchmark::State& state) {
  const std::string path = scratch().file("written.pcapng");
  for (auto _ : state) {
    capture::Writer writer;
    writer.create(path, {"bench", "", "lo"});
    for (int i = 0; i < kRecorded; ++i) writer.write(datagram(i));
    if (writer.close() != 0) state.SkipWithError("write failed");
  }
}

std::string rate(double per_second) {
  char text[32];
  std::snprintf(text, sizeof text, per_second >= 1e6 ? "%.2f M/s" : "%.0f k/s",
                per_second >= 1e6 ? per_second / 1e6 : per_second / 1e3);
  return text;
}

std::string megabytes(double bytes, double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f MB/s", bytes / 1e6 / (ms / 1e3));
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("BM_ReadRecording", BM_Read, recording, kRecorded)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_FreadRecording", BM_Fread, recording)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_ReadFragmented", BM_Read, fragmented, kFragmented)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_FreadFragmented", BM_Fread, fragmented)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_Write", BM_Write)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  bench::BestTimes times;
  benchmark::RunSpecifiedBenchmarks(&times);
  struct Figure {
    const char* what;
    const char* measured;
    const char* baseline;
    int datagrams;
    const std::string& (*file)();
  };
  const Figure figures[] = {
      {"reader: writer's pcapng of 100000 datagrams (96–1748 B)", "BM_ReadRecording",
       "BM_FreadRecording", kRecorded, recording},
      {"reader: cooked pcap of 4000 datagrams (2388 and 40668 B) in 1480-byte fragments",
       "BM_ReadFragmented", "BM_FreadFragmented", kFragmented, fragmented},
      {"writer: the same 100000 datagrams to a pcapng file", "BM_Write", nullptr, kRecorded,
       recording}};
  for (const Figure& f : figures) {
    const double ms = times.get(f.measured), base = f.baseline ? times.get(f.baseline) : -1;
    if (ms < 0) continue;
    const double bytes = static_cast<double>(file_size(f.file()));
    const std::string baseline = base < 0 ? "" : "fread of the bytes: " + megabytes(bytes, base);
    const std::string ratio = base < 0 ? "" : std::to_string(base / ms).substr(0, 4);
    std::printf("| 7 capture | %s (%.0f MB) | %s (%s) | %s | %s | (none) |  |\n", f.what,
                bytes / 1e6, rate(f.datagrams / (ms / 1e3)).c_str(), megabytes(bytes, ms).c_str(),
                baseline.c_str(), ratio.c_str());
  }
  benchmark::Shutdown();
  return 0;
}
