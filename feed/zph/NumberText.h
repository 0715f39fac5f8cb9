// Numbers as text on the feed, always in the C locale whatever the process
// locale is: integers in decimal, doubles in the shortest form that reads
// back to the same value.
//
// The parsers are strict: the whole text must be the number (no blanks, no
// trailing characters, no '+'); they return false and leave the output alone
// otherwise, and on overflow.
//
// Free functions without state; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ZPHText {

std::string FormatInt(long long value);
std::string FormatUnsigned(unsigned long long value);
std::string FormatDouble(double value);

bool ParseInt(std::string_view text, int& value);
bool ParseInt64(std::string_view text, std::int64_t& value);
bool ParseUnsigned(std::string_view text, unsigned& value);
bool ParseDouble(std::string_view text, double& value);

// A lenient read for display values (a rate text such as "99.50" or "1/4"):
// the leading decimal number of the text, 0 when there is none.
double LeadingDouble(std::string_view text);

} // namespace ZPHText
