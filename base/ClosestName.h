// The known name a mistyped one was probably meant to be.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The candidate nearest to text by edit distance, when it is near enough to
// be a slip of the keyboard: at most a third of the longer name's length (rounded
// up) in single-letter edits or swaps of neighbours.
std::optional<std::string> ClosestName(std::string_view text,
                                       const std::vector<std::string>& candidates);
