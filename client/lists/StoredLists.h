// The stored forms of the user's lists and of report pages: texts of blank-
// separated decimal numbers, as kept in registry string values.
//
//   customer list  "123 2 45 0 " : each pair is a customer number, a blank,
//                  a centre index, a blank;
//   page list      "1 5 17 "     : each page number followed by a blank.
//
// Parsing is forgiving, because the text comes from outside (a store that
// an older program or a person may have written): tokens are split at any
// white space; a token that is not a whole decimal number in int range is a
// bad token. For customer pairs, a pair whose customer number is bad or
// below 1 is dropped, a centre index that is bad or outside 0..9 is taken as
// 0, and an unpaired trailing number is dropped. Pages that are bad or
// outside 1..300 are dropped. Numbers are read without regard to the
// process locale.
//
// ReadWholeString reads a string value whatever its length, so a list that
// was written whole is read whole (never cut in the middle of a number).
//
// Thread-safety: pure functions, any thread; ReadWholeString as the section.
#pragma once

#include "core/PageBounds.h"

#include <string>
#include <string_view>
#include <vector>

namespace Brindle {
class CRegSection;
}

namespace mavo {

inline constexpr int kFirstCentre = 0;
inline constexpr int kLastCentre = 9;

struct CustomerEntry {
    int number = 0;
    int centre = 0;  // 0..9, 0 is "Any"
    friend bool operator==(const CustomerEntry&, const CustomerEntry&) = default;
};

std::vector<CustomerEntry> ParseCustomerList(std::string_view text);
std::string FormatCustomerList(const std::vector<CustomerEntry>& entries);

// Pages in the text's order (duplicates kept: callers decide).
std::vector<int> ParsePageNumbers(std::string_view text);
std::string FormatPageNumbers(const std::vector<int>& pages);

// The whole text of a string value; false (out emptied) when the value is
// missing, not a string, or the section is not open.
bool ReadWholeString(const Brindle::CRegSection& section, const char* name, std::string& out);

} // namespace mavo
