// The Markdown table that the benchmarks print their figures in, one row a
// figure, shared by the in-process and the whole-process benchmarks.
#pragma once

#include <string>

namespace bench {

// `v` with `decimals` digits after the point.
std::string fixed(double v, int decimals);

// Prints one row of the results table on standard output and flushes it.
void row(const std::string& figure, const std::string& what, const std::string& measured,
         const std::string& baseline, const std::string& ratio, const std::string& target,
         const std::string& verdict);

}  // namespace bench
