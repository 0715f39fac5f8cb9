#include "Brindle/comm/NumberText.h"

#include <charconv>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <limits>
#include <locale.h>

namespace Brindle::NumberText {

namespace {

bool IsCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::size_t SkipSpace(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsCSpace(text[i]))
        ++i;
    return i;
}

locale_t CLocale()
{
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

// strtod in the C locale over a text that need not end in a NUL; stops at
// an embedded NUL as the C readers do.
double StrtodC(std::string_view text)
{
    const std::string copy(text.substr(0, text.find('\0')));
    return ::strtod_l(copy.c_str(), nullptr, CLocale());
}

template <typename Signed>
Signed ToSigned(std::string_view text)
{
    const LeadingInteger n = ReadLeadingInteger(text);
    if (!n.found)
        return 0;
    using U = unsigned long long;
    const U max = static_cast<U>(std::numeric_limits<Signed>::max());
    if (n.negative)
        return n.magnitude > max ? std::numeric_limits<Signed>::min() : static_cast<Signed>(-static_cast<Signed>(n.magnitude));
    return n.magnitude > max ? std::numeric_limits<Signed>::max() : static_cast<Signed>(n.magnitude);
}

template <typename Unsigned>
Unsigned ToUnsignedOf(std::string_view text)
{
    const LeadingInteger n = ReadLeadingInteger(text);
    if (!n.found)
        return 0;
    const unsigned long long max = std::numeric_limits<Unsigned>::max();
    if (n.overflow || n.magnitude > max)
        return std::numeric_limits<Unsigned>::max();
    const auto value = static_cast<Unsigned>(n.magnitude);
    return n.negative ? static_cast<Unsigned>(Unsigned(0) - value) : value;
}

} // namespace

LeadingInteger ReadLeadingInteger(std::string_view text)
{
    LeadingInteger result;
    std::size_t i = SkipSpace(text);
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        result.negative = text[i] == '-';
        ++i;
    }
    constexpr unsigned long long max = std::numeric_limits<unsigned long long>::max();
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        result.found = true;
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (result.magnitude > (max - digit) / 10) {
            result.overflow = true;
            result.magnitude = max;
        } else if (!result.overflow) {
            result.magnitude = result.magnitude * 10 + digit;
        }
        result.end = i + 1;
    }
    if (!result.found)
        result.negative = false;
    return result;
}

int ToInt(std::string_view text)
{
    return ToSigned<int>(text);
}

long ToLong(std::string_view text)
{
    return ToSigned<long>(text);
}

long long ToLongLong(std::string_view text)
{
    return ToSigned<long long>(text);
}

unsigned long ToUnsignedLong(std::string_view text)
{
    return ToUnsignedOf<unsigned long>(text);
}

unsigned int ToUnsignedInt(std::string_view text)
{
    return ToUnsignedOf<unsigned int>(text);
}

double ToDouble(std::string_view text)
{
    return StrtodC(text);
}

bool StreamReadDouble(std::string_view text, double& value)
{
    value = 0;
    std::size_t i = SkipSpace(text);
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    bool digits = false;
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
        digits = true;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < text.size() && IsDigit(text[j])) {
            while (j < text.size() && IsDigit(text[j]))
                ++j;
            i = j;
        }
    }
    value = StrtodC(text.substr(start, i - start));
    return true;
}

void AppendInteger(std::string& out, long long value)
{
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, r.ptr);
}

void AppendUnsigned(std::string& out, unsigned long long value)
{
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, r.ptr);
}

void AppendDouble(std::string& out, double value, int precision)
{
    // %.20g needs at most sign, 20 digits, point and a 5-character exponent.
    char text[64];
    const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::general, precision);
    out.append(text, r.ptr);
}

} // namespace Brindle::NumberText
