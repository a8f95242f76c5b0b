// The report of the in-process benchmarks: the best time of each.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace bench {

// Keeps the best (lowest) time of every benchmark over its repetitions, in
// the unit the benchmark reports in: the time the benchmark's thread spent
// on a processor, in user and kernel mode, which other work on a shared
// machine disturbs far less than elapsed time.  Google Benchmark's own
// report goes to standard error.
class BestTimes : public benchmark::ConsoleReporter {
 public:
  BestTimes() : ConsoleReporter(OO_None) {
    SetOutputStream(&std::cerr);
    SetErrorStream(&std::cerr);
  }

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration) continue;
      if (r.error_occurred) {
        failed[r.run_name.str()] = r.error_message;
        continue;
      }
      const double time = r.GetAdjustedCPUTime();
      auto [it, fresh] = best.try_emplace(r.run_name.str(), time);
      if (!fresh) it->second = std::min(it->second, time);
    }
  }

  // The best time of a benchmark by its name, or -1 when it has none.
  double get(const std::string& name) const {
    const auto it = best.find(name);
    return it == best.end() ? -1.0 : it->second;
  }

  std::map<std::string, double> best;
  std::map<std::string, std::string> failed;
};

}  // namespace bench
