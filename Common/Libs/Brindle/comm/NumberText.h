// Number <-> text conversions of the message model, independent of the
// process locale and free of overflow.
//
// Readers take the leading number of a text the way the C library's readers
// do (white space of the C locale skipped, an optional sign), but stop at the
// text's end (embedded NULs included) and saturate instead of overflowing.
//
// Thread-safety: every function may run on any thread.
#pragma once

#include <string>
#include <string_view>

namespace Brindle::NumberText {

// The leading decimal integer of a text.
struct LeadingInteger {
    bool found = false;                // at least one digit
    bool negative = false;             // a '-' sign stood before the digits
    bool overflow = false;             // the magnitude exceeded 64 bits
    unsigned long long magnitude = 0;  // saturated at the 64-bit maximum
    std::size_t end = 0;               // offset just past the last digit
};
LeadingInteger ReadLeadingInteger(std::string_view text);

// atoi/atol rules, saturating at the type's range; 0 when there is no number.
int ToInt(std::string_view text);
long ToLong(std::string_view text);
long long ToLongLong(std::string_view text);
// strtoul rules in the given width: a negative number wraps, a magnitude out
// of range gives the maximum.
unsigned long ToUnsignedLong(std::string_view text);
unsigned int ToUnsignedInt(std::string_view text);
// atof rules in the C locale (decimal, hexadecimal, inf, nan); out of range
// gives +-HUGE_VAL or 0 as strtod does. 0 when there is no number.
double ToDouble(std::string_view text);
// A stream read of a floating number: decimal only, no inf or nan; false
// (result 0) when the text does not start with one.
bool StreamReadDouble(std::string_view text, double& value);

void AppendInteger(std::string& out, long long value);
void AppendUnsigned(std::string& out, unsigned long long value);
// Stream formatting with the given precision (%.<precision>g in the C locale).
void AppendDouble(std::string& out, double value, int precision);

} // namespace Brindle::NumberText
