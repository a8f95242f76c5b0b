#include "feedcast/nearest_name.h"

#include <algorithm>
#include <vector>

#include "portable/profile_text.h"

namespace feedcast {
namespace {

bool same_letter(char a, char b) { return portable::ascii_lower(a) == portable::ascii_lower(b); }

// The edit distance with swaps of neighbours (optimal string alignment).
std::size_t distance(std::string_view a, std::string_view b) {
  const std::size_t width = b.size() + 1;
  std::vector<std::size_t> d((a.size() + 1) * width);
  for (std::size_t i = 0; i <= a.size(); ++i) d[i * width] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t change = same_letter(a[i - 1], b[j - 1]) ? 0 : 1;
      std::size_t best = std::min({d[(i - 1) * width + j] + 1, d[i * width + j - 1] + 1,
                                   d[(i - 1) * width + j - 1] + change});
      if (i > 1 && j > 1 && same_letter(a[i - 1], b[j - 2]) && same_letter(a[i - 2], b[j - 1])) {
        best = std::min(best, d[(i - 2) * width + j - 2] + 1);
      }
      d[i * width + j] = best;
    }
  }
  return d.back();
}

}  // namespace

std::string nearest_name(std::string_view name, std::span<const std::string> candidates) {
  const std::string* nearest = nullptr;
  std::size_t nearest_distance = 0;
  for (const std::string& candidate : candidates) {
    const std::size_t most = std::max<std::size_t>(1, candidate.size() / 4);
    const std::size_t apart =
        std::max(name.size(), candidate.size()) - std::min(name.size(), candidate.size());
    if (apart > most) continue;  // too far apart by their lengths alone
    const std::size_t d = distance(name, candidate);
    if (d <= most && (nearest == nullptr || d < nearest_distance)) {
      nearest = &candidate;
      nearest_distance = d;
    }
  }
  return nearest == nullptr || nearest_distance == 0 ? std::string() : *nearest;
}

}  // namespace feedcast
