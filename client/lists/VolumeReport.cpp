#include "lists/VolumeReport.h"

#include "Brindle/base/RegSection.h"
#include "lists/StoredLists.h"
#include "core/FeedLibrary.h"
#include "zph/LineCache.h"
#include "zph/ZPHKey.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <unordered_set>

namespace mavo {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// "%12s": right-aligned in 12 characters, never cut.
std::string RightAligned12(const std::string& text)
{
    constexpr std::size_t width = 12;
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

} // namespace

std::string TrimReportName(std::string_view name)
{
    while (!name.empty() && IsBlank(name.front()))
        name.remove_prefix(1);
    while (!name.empty() && IsBlank(name.back()))
        name.remove_suffix(1);
    return std::string(name);
}

bool IsValidReportName(std::string_view name)
{
    const std::string trimmed = TrimReportName(name);
    return !trimmed.empty() && trimmed.size() <= static_cast<std::size_t>(kReportNameChars) &&
           trimmed.size() == name.size();
}

bool SameReportName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    return true;
}

int FindReportName(const std::vector<std::string>& names, std::string_view name)
{
    for (std::size_t i = 0; i < names.size(); ++i)
        if (SameReportName(names[i], name))
            return static_cast<int>(i);
    return -1;
}

std::vector<std::string> LoadReportNames(const Brindle::CRegSection& section)
{
    std::vector<std::string> names;
    char name[257];
    int index = 0;
    while (section.EnumValue(index, name, sizeof name, nullptr, 0, nullptr))
        if (name[0] != '\0')  // the key's default value names no report
            names.emplace_back(name);
    return names;
}

std::vector<int> LoadReportPages(const Brindle::CRegSection& section, const std::string& name)
{
    std::string text;
    if (name.empty() || !ReadWholeString(section, name.c_str(), text))
        return {};
    return ParsePageNumbers(text);
}

bool SaveReport(const Brindle::CRegSection& section, const std::string& name, const std::vector<int>& pages)
{
    if (!IsValidReportName(name))
        return false;
    return section.SetStr(name.c_str(), FormatPageNumbers(pages)) != 0;
}

bool DeleteReport(const Brindle::CRegSection& section, const std::string& name)
{
    if (!section.IsOpen() || name.empty())
        return false;
    return RegDeleteValueA(section, name.c_str()) == ERROR_SUCCESS;
}

std::vector<unsigned> ReportKeys(const std::vector<int>& pages)
{
    std::vector<unsigned> keys;
    for (int page : pages)
        for (int line = 1; line <= ZPHWire::MAX_LINE; ++line)
            if (const unsigned key = CreateZPHKey(page, line); key != 0)
                keys.push_back(key);
    return keys;
}

ReportRowText MakeReportRow(unsigned key, const LineObject* line)
{
    ReportRowText row;
    int page = 0;
    int number = 0;
    ParseZPHKey(key, page, number);
    row.page = std::to_string(page);
    row.line = std::to_string(number);
    if (line == nullptr) {
        row.issue = kMissingLineIssue;
    } else if (line->m_kind == 'T') {
        row.issue = RightAligned12(line->m_text);
    } else {
        row.issue = RightAligned12(line->m_issueName);
        row.volume = line->m_dailyVolume;
    }
    return row;
}

double VolumeValue(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || !std::isfinite(value))
        return 0.0;
    return value;
}

double TotalVolume(const LineCache& cache, const std::vector<unsigned>& keys)
{
    std::unordered_set<std::string> counted;
    double total = 0.0;
    for (unsigned key : keys) {
        const LineRef line = cache.GetForRead(key);
        if (!line || line->m_kind != 'F')
            continue;
        if (counted.insert(line->m_issueName).second)
            total += VolumeValue(line->m_dailyVolume);
    }
    return total;
}

std::string FormatTotal(double total)
{
    char digits[512];  // the largest double in fixed notation fits
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, total, std::chars_format::fixed, 2);
    std::string text = ec == std::errc() ? std::string(digits, end) : std::string("0.00");
    if (text.size() < 8)
        text.insert(0, 8 - text.size(), ' ');
    return text;
}

std::string ReportResultsLabel(std::string_view name)
{
    return std::string(name) + " Report Results:";
}

} // namespace mavo
