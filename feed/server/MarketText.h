// Numbers and times as the market writes them into line fields, and the
// strict readers for text that comes from outside (orders, configuration,
// control commands). Nothing here depends on the process locale.
//
// Thread-safety: all functions are pure and may run on any thread.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace zphd {

// value with exactly `decimals` digits after the point ("98.250").
std::string FormatFixed(double value, int decimals);

// A quantity: whole numbers without a point ("5"), others with up to six
// decimals and no trailing zeros ("2.5").
std::string FormatQuantity(double value);

// A number as the real-number fields carry it: the shortest text that reads
// back exactly ("98.25", "5").
std::string FormatReal(double value);

// Wall-clock time of day "HH:MM" and date "MM/DD/YY", in the local zone.
std::string FormatClock(std::time_t when);
std::string FormatDate(std::time_t when);
// The feed time: local "DD Mon YYYY HH:MM:SS" with English month names.
std::string FormatFeedTime(std::time_t when);

// Whole text must be a decimal number (optional sign, digits, optional point
// and digits); no blanks, no exponent, no "inf"/"nan".
bool ParseDecimal(std::string_view text, double& value);

// Whole text must be a decimal integer within int range.
bool ParseInt(std::string_view text, int& value);

// Whole text must be an unsigned integer, decimal or 0x-prefixed hex.
bool ParseUnsigned(std::string_view text, std::uint64_t& value);

// a rounded to the nearest multiple of step (step > 0).
double RoundToTick(double a, double step);

// true when two prices are the same to well within any tick.
bool SamePrice(double a, double b);

} // namespace zphd
