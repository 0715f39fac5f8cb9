#include "orders/OrderNumber.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace mavo {

namespace {

// Drops trailing zeros after the point, keeping one digit after it.
std::string TrimFraction(std::string text)
{
    const std::size_t point = text.find('.');
    if (point == std::string::npos)
        return text + ".0";
    std::size_t end = text.size();
    while (end > point + 2 && text[end - 1] == '0')
        --end;
    text.resize(end);
    return text;
}

std::string Fixed(double value, int precision)
{
    std::array<char, 64> buffer{};
    auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed,
                                   precision);
    if (ec != std::errc())
        return "0.0";
    return std::string(buffer.data(), end);
}

} // namespace

std::string OrderNumberText(double value)
{
    if (!std::isfinite(value))
        return "0.0";
    if (value == 0.0)
        return "0.0";  // also -0.0
    if (value == std::floor(value))
        return Fixed(value, 1);
    // A value that rounds to whole millionths with zeros only ("2.0000001")
    // is shown as the whole number.
    return TrimFraction(Fixed(value, 6));
}

std::optional<COrderNumber> COrderNumber::FromText(std::string_view text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && (text[first] == ' ' || text[first] == '\t'))
        ++first;
    while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t'))
        --last;
    text = text.substr(first, last - first);
    if (text.empty() || text == ".")
        return std::nullopt;
    std::int64_t whole = 0;
    std::int64_t fraction = 0;
    int fractionDigits = 0;
    bool roundUp = false;
    bool seenPoint = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            if (seenPoint)
                return std::nullopt;
            seenPoint = true;
            continue;
        }
        if (c < '0' || c > '9')
            return std::nullopt;
        const int digit = c - '0';
        if (!seenPoint) {
            whole = whole * 10 + digit;
            if (whole > kMaxMicros / kScale)
                return std::nullopt;
        } else if (fractionDigits < 6) {
            fraction = fraction * 10 + digit;
            ++fractionDigits;
        } else if (fractionDigits == 6) {
            // The seventh decimal rounds; later ones cannot change that.
            roundUp = digit >= 5;
            ++fractionDigits;
        }
    }
    for (int d = std::min(fractionDigits, 6); d < 6; ++d)
        fraction *= 10;
    std::int64_t micros = whole * kScale + fraction + (roundUp ? 1 : 0);
    if (micros > kMaxMicros)
        return std::nullopt;
    return COrderNumber(micros);
}

std::optional<COrderNumber> COrderNumber::FromDouble(double value)
{
    if (!std::isfinite(value) || value < 0)
        return std::nullopt;
    const double scaled = std::round(value * static_cast<double>(kScale));
    if (scaled > static_cast<double>(kMaxMicros))
        return std::nullopt;
    return COrderNumber(static_cast<std::int64_t>(scaled));
}

COrderNumber COrderNumber::FromMicros(std::int64_t micros)
{
    return COrderNumber(std::clamp<std::int64_t>(micros, 0, kMaxMicros));
}

double COrderNumber::ToDouble() const
{
    // Whole and fraction apart, so the result is the double nearest to the
    // decimal the text shows.
    double value = 0;
    const std::string text = Text();
    std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    return value;
}

std::string COrderNumber::Text() const
{
    const std::int64_t whole = m_micros / kScale;
    const std::int64_t fraction = m_micros % kScale;
    std::string text = std::to_string(whole);
    if (fraction == 0)
        return text + ".0";
    std::string digits = std::to_string(fraction);
    digits.insert(0, 6 - digits.size(), '0');
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    return text + "." + digits;
}

COrderNumber COrderNumber::Plus(COrderNumber step) const
{
    return FromMicros(m_micros + step.m_micros);
}

COrderNumber COrderNumber::Minus(COrderNumber step, COrderNumber floor) const
{
    const std::int64_t result = m_micros - step.m_micros;
    return COrderNumber(std::max(result, floor.m_micros));
}

bool AcceptsOrderNumberTyping(std::string_view text)
{
    if (text.size() > kMaxOrderNumberTyping)
        return false;
    bool point = false;
    for (char c : text) {
        if (c == '.' && !point)
            point = true;
        else if (c < '0' || c > '9')
            return false;
    }
    return true;
}

} // namespace mavo
