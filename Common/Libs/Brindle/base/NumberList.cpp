#include "Brindle/base/NumberList.h"

#include <algorithm>
#include <charconv>
#include <climits>

namespace Brindle {

namespace {

class ListReader {
public:
    // False when the list cannot be held; the result is then cleared.
    bool Read(const std::string& text)
    {
        for (char c : text) {
            if (c >= '0' && c <= '9') {
                m_current = m_current * 10 + (c - '0');
                if (m_current > INT_MAX)
                    return Refuse();
            } else if (c == '-') {
                m_rangeStart = m_current;
                m_rangePending = true;
                m_current = 0;
            } else if (c == ',') {
                if (!EndNumber())
                    return Refuse();
            }
        }
        return EndNumber() || Refuse();
    }

    std::vector<int>& Numbers() { return m_numbers; }

private:
    bool EndNumber()
    {
        long long low = m_current;
        long long high = m_current;
        if (m_rangePending) {
            low = std::min(m_rangeStart, m_current);
            high = std::max(m_rangeStart, m_current);
            m_rangePending = false;
        }
        m_current = 0;
        const auto count = static_cast<unsigned long long>(high - low + 1);
        if (count > kMaxNumberListSize - m_numbers.size())
            return false;
        const std::size_t from = m_numbers.size();
        m_numbers.resize(from + count);
        // Counted wide: a range may end at INT_MAX, and iota steps past the end.
        long long next = low;
        for (auto it = m_numbers.begin() + static_cast<std::ptrdiff_t>(from); it != m_numbers.end(); ++it)
            *it = static_cast<int>(next++);
        return true;
    }

    bool Refuse()
    {
        m_numbers.clear();
        m_numbers.shrink_to_fit();
        return false;
    }

    std::vector<int> m_numbers;
    long long m_current = 0;
    long long m_rangeStart = 0;
    bool m_rangePending = false;
};

bool IsStreamSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void AppendNumber(std::string& out, int n)
{
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, n);
    out.append(buffer, result.ptr);
}

} // namespace

std::vector<int> to_vector(const std::string& text)
{
    ListReader reader;
    reader.Read(text);
    return std::move(reader.Numbers());
}

std::string to_delimited_string(const std::string& text)
{
    std::string out;
    for (int n : to_vector(text)) {
        if (!out.empty())
            out += ' ';
        AppendNumber(out, n);
    }
    return out;
}

std::string to_range_string(const std::vector<int>& numbers)
{
    std::string out;
    if (numbers.empty())
        return out;
    AppendNumber(out, numbers[0]);
    bool runOpen = false;
    for (std::size_t i = 1; i < numbers.size(); ++i) {
        const int previous = numbers[i - 1];
        // Compared wide, so INT_MAX has no "next" number instead of wrapping.
        if (static_cast<long long>(numbers[i]) == static_cast<long long>(previous) + 1) {
            if (!runOpen)
                out += '-';
            runOpen = true;
        } else {
            if (runOpen)
                AppendNumber(out, previous);
            runOpen = false;
            out += ", ";
            AppendNumber(out, numbers[i]);
        }
    }
    if (runOpen)
        AppendNumber(out, numbers.back());
    return out;
}

std::string to_range_string(const std::string& text)
{
    // Reads as a stream would: white space, an optional sign, digits; stops
    // at the first thing that is not such an integer or does not fit an int.
    std::vector<int> numbers;
    const char* p = text.data();
    const char* const end = p + text.size();
    for (;;) {
        while (p != end && IsStreamSpace(*p))
            ++p;
        const char* start = p;
        if (p != end && *p == '+')
            ++start; // from_chars takes '-' but not '+'
        int n = 0;
        const auto result = std::from_chars(start, end, n);
        if (result.ec != std::errc() || (start != p && start != end && *start == '-'))
            break;
        numbers.push_back(n);
        p = result.ptr;
    }
    return to_range_string(numbers);
}

} // namespace Brindle
