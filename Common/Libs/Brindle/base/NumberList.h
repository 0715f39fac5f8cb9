// Number lists as people write them ("1,3,5-8") and their compact rendering
// as runs ("1-3, 5, 7-8").
//
// Contract
// - to_vector reads a list of non-negative numbers: digits make a number,
//   ',' ends one, '-' ends the first end of a range (the next number ends
//   it); every other character is ignored. An empty number reads as 0 (so ""
//   gives {0} and "5-" gives 0 to 5); a range adds every number between its
//   ends, ascending, whichever end is written first.
// - A list that cannot be held is refused with an empty result (a list that
//   reads at all has at least one number): a number above INT_MAX, or more
//   than kMaxNumberListSize numbers in all. Nothing is allocated for a
//   refused list beyond the cap.
// - to_delimited_string writes the numbers of to_vector separated by single
//   spaces ("" for a refused list).
// - to_range_string writes the numbers in the order given, collapsing each
//   run of consecutive ascending numbers into "first-last" and separating
//   items by ", "; nothing gives "". The text form reads whitespace-separated
//   integers (optionally signed) up to the first thing that is not one.
//
// Thread-safety: every function is re-entrant and may run from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace Brindle {

inline constexpr std::size_t kMaxNumberListSize = 100000;

std::vector<int> to_vector(const std::string& text);
std::string to_delimited_string(const std::string& text);
std::string to_range_string(const std::vector<int>& numbers);
std::string to_range_string(const std::string& text);

} // namespace Brindle
