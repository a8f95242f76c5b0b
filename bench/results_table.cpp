#include "results_table.h"

#include <cstdio>

namespace bench {

std::string fixed(double v, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

void row(const std::string& figure, const std::string& what, const std::string& measured,
         const std::string& baseline, const std::string& ratio, const std::string& target,
         const std::string& verdict) {
  std::printf("| %s | %s | %s | %s | %s | %s | %s |\n", figure.c_str(), what.c_str(),
              measured.c_str(), baseline.c_str(), ratio.c_str(), target.c_str(), verdict.c_str());
  std::fflush(stdout);
}

}  // namespace bench
