#include "lists/StoredLists.h"

#include "Brindle/base/RegSection.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace mavo {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Calls take(token) for every run of non-blank characters.
template <typename Take>
void ForEachToken(std::string_view text, Take take)
{
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        const std::size_t start = i;
        while (i < text.size() && !IsBlank(text[i]))
            ++i;
        if (i > start)
            take(text.substr(start, i - start));
    }
}

// A whole decimal number (optional sign), or nothing.
std::optional<int> ReadNumber(std::string_view token)
{
    if (!token.empty() && token.front() == '+')
        token.remove_prefix(1);
    if (token.empty())
        return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (ec != std::errc() || end != token.data() + token.size())
        return std::nullopt;
    return value;
}

} // namespace

std::vector<CustomerEntry> ParseCustomerList(std::string_view text)
{
    std::vector<CustomerEntry> entries;
    std::optional<int> number;
    bool haveNumber = false;
    ForEachToken(text, [&](std::string_view token) {
        if (!haveNumber) {
            number = ReadNumber(token);
            haveNumber = true;
            return;
        }
        haveNumber = false;
        if (!number || *number < 1)
            return;
        std::optional<int> centre = ReadNumber(token);
        if (!centre || *centre < kFirstCentre || *centre > kLastCentre)
            centre = 0;
        entries.push_back({*number, *centre});
    });
    return entries;
}

std::string FormatCustomerList(const std::vector<CustomerEntry>& entries)
{
    std::string text;
    for (const CustomerEntry& e : entries) {
        text += std::to_string(e.number);
        text += ' ';
        text += std::to_string(e.centre);
        text += ' ';
    }
    return text;
}

std::vector<int> ParsePageNumbers(std::string_view text)
{
    std::vector<int> pages;
    ForEachToken(text, [&](std::string_view token) {
        const std::optional<int> page = ReadNumber(token);
        if (page && *page >= kFirstPage && *page <= kLastPage)
            pages.push_back(*page);
    });
    return pages;
}

std::string FormatPageNumbers(const std::vector<int>& pages)
{
    std::string text;
    for (int page : pages) {
        text += std::to_string(page);
        text += ' ';
    }
    return text;
}

bool ReadWholeString(const Brindle::CRegSection& section, const char* name, std::string& out)
{
    out.clear();
    if (!section.IsOpen())
        return false;
    // The size first, then the data; a value that grows in between is
    // asked for again rather than read cut.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(section, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return false;
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            return false;
        std::string data(size, '\0');
        DWORD got = size;
        const LONG rc = RegQueryValueExA(section, name, nullptr, &type,
                                         reinterpret_cast<LPBYTE>(data.data()), &got);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
            return false;
        data.resize(std::min<DWORD>(got, size));
        const std::size_t nul = data.find('\0');
        if (nul != std::string::npos)
            data.resize(nul);
        out = std::move(data);
        return true;
    }
    return false;
}

} // namespace mavo
