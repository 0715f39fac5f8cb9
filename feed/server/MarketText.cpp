#include "MarketText.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace zphd {

std::string FormatFixed(double value, int decimals)
{
    char buffer[64];
    if (!std::isfinite(value))
        value = 0;
    // Avoid "-0.000" for values that round to zero.
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0;
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc())
        return "0";
    return std::string(buffer, result.ptr);
}

std::string FormatQuantity(double value)
{
    std::string text = FormatFixed(value, 6);
    const auto point = text.find('.');
    if (point == std::string::npos)
        return text;
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text;
}

std::string FormatReal(double value)
{
    char buffer[64];
    if (!std::isfinite(value))
        value = 0;
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("0");
}

std::string FormatClock(std::time_t when)
{
    std::tm parts {};
    localtime_r(&when, &parts);
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%H:%M", &parts);
    return buffer;
}

std::string FormatDate(std::time_t when)
{
    std::tm parts {};
    localtime_r(&when, &parts);
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%m/%d/%y", &parts);
    return buffer;
}

std::string FormatFeedTime(std::time_t when)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm parts {};
    localtime_r(&when, &parts);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%02d %s %04d %02d:%02d:%02d", parts.tm_mday,
                  months[parts.tm_mon % 12], parts.tm_year + 1900, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return buffer;
}

bool ParseDecimal(std::string_view text, double& value)
{
    if (text.empty() || text.size() > 64)
        return false;
    std::size_t i = 0;
    if (text[0] == '-' || text[0] == '+')
        ++i;
    bool digits = false, point = false;
    for (std::size_t j = i; j < text.size(); ++j) {
        if (text[j] >= '0' && text[j] <= '9')
            digits = true;
        else if (text[j] == '.' && !point)
            point = true;
        else
            return false;
    }
    if (!digits)
        return false;
    // from_chars takes no leading '+'.
    const char* first = text.data() + (text[0] == '+' ? 1 : 0);
    double parsed = 0;
    auto result = std::from_chars(first, text.data() + text.size(), parsed, std::chars_format::fixed);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

bool ParseInt(std::string_view text, int& value)
{
    if (text.empty())
        return false;
    const char* first = text.data() + (text[0] == '+' ? 1 : 0);
    int parsed = 0;
    auto result = std::from_chars(first, text.data() + text.size(), parsed, 10);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || first == text.data() + text.size())
        return false;
    value = parsed;
    return true;
}

bool ParseUnsigned(std::string_view text, std::uint64_t& value)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty())
        return false;
    std::uint64_t parsed = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), parsed, base);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        return false;
    value = parsed;
    return true;
}

double RoundToTick(double a, double step) { return std::round(a / step) * step; }

bool SamePrice(double a, double b) { return std::fabs(a - b) < 1e-7; }

} // namespace zphd
