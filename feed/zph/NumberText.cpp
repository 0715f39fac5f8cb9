#include "zph/NumberText.h"

#include <charconv>
#include <system_error>

namespace ZPHText {

namespace {

template <typename T>
bool ParseWhole(std::string_view text, T& value)
{
    if (text.empty())
        return false;
    T parsed{};
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, parsed);
    if (ec != std::errc() || ptr != end)
        return false;
    value = parsed;
    return true;
}

} // namespace

std::string FormatInt(long long value)
{
    char buffer[32];
    auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, ptr);
}

std::string FormatUnsigned(unsigned long long value)
{
    char buffer[32];
    auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, ptr);
}

std::string FormatDouble(double value)
{
    char buffer[64];
    auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc())
        return "0";
    return std::string(buffer, ptr);
}

bool ParseInt(std::string_view text, int& value) { return ParseWhole(text, value); }
bool ParseInt64(std::string_view text, std::int64_t& value) { return ParseWhole(text, value); }

bool ParseUnsigned(std::string_view text, unsigned& value)
{
    if (!text.empty() && text.front() == '-')
        return false;
    return ParseWhole(text, value);
}

bool ParseDouble(std::string_view text, double& value)
{
    if (text.empty())
        return false;
    double parsed = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, parsed, std::chars_format::general);
    if (ec != std::errc() || ptr != end)
        return false;
    value = parsed;
    return true;
}

double LeadingDouble(std::string_view text)
{
    std::size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t'))
        ++start;
    if (start == text.size())
        return 0.0;
    double parsed = 0;
    const char* first = text.data() + start;
    const char* end = text.data() + text.size();
    if (*first == '+')
        ++first;
    // Only plain decimals: "inf" or "nan" in a rate text is no number.
    const char* digits = (first != end && *first == '-') ? first + 1 : first;
    if (digits == end || !((*digits >= '0' && *digits <= '9') || *digits == '.'))
        return 0.0;
    auto [ptr, ec] = std::from_chars(first, end, parsed, std::chars_format::fixed);
    if (ec != std::errc())
        return 0.0;
    return parsed;
}

} // namespace ZPHText
