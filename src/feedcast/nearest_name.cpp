#include "feedcast/nearest_name.h"

#include <algorithm>
#include <vector>

#include "portable/profile_text.h"

namespace feedcast {
namespace {

bool same_letter(char a, char b) { return portable::ascii_lower(a) == portable::ascii_lower(b); }

// The edit distance with swaps of neighbours (optimal string alignment), or
// `most` + 1 as soon as it is sure to be more than `most`.  Three rows of the
// table are kept in `rows`: the one being filled and the two above it.
std::size_t distance(std::string_view a, std::string_view b, std::size_t most,
                     std::vector<std::size_t>& rows) {
  const std::size_t width = b.size() + 1;
  rows.resize(3 * width);
  std::size_t* above2 = rows.data();
  std::size_t* above = above2 + width;
  std::size_t* row = above + width;
  for (std::size_t j = 0; j < width; ++j) above[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    row[0] = i;
    std::size_t least = i;
    for (std::size_t j = 1; j < width; ++j) {
      const std::size_t change = same_letter(a[i - 1], b[j - 1]) ? 0 : 1;
      std::size_t d = std::min({above[j] + 1, row[j - 1] + 1, above[j - 1] + change});
      if (i > 1 && j > 1 && same_letter(a[i - 1], b[j - 2]) && same_letter(a[i - 2], b[j - 1])) {
        d = std::min(d, above2[j - 2] + 1);
      }
      row[j] = d;
      least = std::min(least, d);
    }
    if (least > most) return most + 1;
    std::swap(above2, above);
    std::swap(above, row);
  }
  return above[b.size()];
}

}  // namespace

std::string nearest_name(std::string_view name, std::span<const std::string> candidates) {
  const std::string* nearest = nullptr;
  std::size_t nearest_distance = 0;
  std::vector<std::size_t> rows;
  for (const std::string& candidate : candidates) {
    const std::size_t most = std::max<std::size_t>(1, candidate.size() / 4);
    const std::size_t apart =
        std::max(name.size(), candidate.size()) - std::min(name.size(), candidate.size());
    if (apart > most) continue;  // too far apart by their lengths alone
    const std::size_t d = distance(name, candidate, most, rows);
    if (d <= most && (nearest == nullptr || d < nearest_distance)) {
      nearest = &candidate;
      nearest_distance = d;
    }
  }
  return nearest == nullptr || nearest_distance == 0 ? std::string() : *nearest;
}

}  // namespace feedcast
