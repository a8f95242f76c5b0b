// The name a misspelt one was probably meant to be, for the check of a
// configuration file: "CallWaiting3" was meant as "CallsWaiting3".
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace feedcast {

// Returns the candidate closest to `name` by the number of letters added,
// removed, changed or swapped with a neighbour, ASCII case ignored, when it
// is close enough to be a slip (at most a quarter of its letters, and at
// least one); the first of equally close ones.  Empty when none is close, or
// when the closest is `name` itself.
std::string nearest_name(std::string_view name, std::span<const std::string> candidates);

}  // namespace feedcast
