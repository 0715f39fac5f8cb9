#include "tools/ToolTexts.h"

#include "protocol/Protocol.h"
#include "core/FeedLibrary.h"
#include "zph/LineCache.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace mavo {

namespace {

constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string TwoDigits(int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

} // namespace

std::string ClockText(const std::tm& t)
{
    const int month = t.tm_mon >= 0 && t.tm_mon < 12 ? t.tm_mon : 0;
    int hour12 = t.tm_hour % 12;
    if (hour12 == 0)
        hour12 = 12;
    return TwoDigits(t.tm_mday) + " " + kMonths[static_cast<std::size_t>(month)] + " " +
           std::to_string(t.tm_year + 1900) + " - " + TwoDigits(hour12) + ":" + TwoDigits(t.tm_min) + ":" +
           TwoDigits(t.tm_sec) + (t.tm_hour < 12 ? " AM" : " PM");
}

std::string ContribEntryText(const std::tm& t, const std::string& text)
{
    return TwoDigits(t.tm_hour) + ":" + TwoDigits(t.tm_min) + ":" + TwoDigits(t.tm_sec) + "\t" + text;
}

std::vector<std::string> PageCountEntries(std::vector<PageCount> counts)
{
    counts.erase(std::remove_if(counts.begin(), counts.end(), [](const PageCount& c) { return c.count <= 0; }),
                 counts.end());
    std::sort(counts.begin(), counts.end(), [](const PageCount& a, const PageCount& b) {
        return a.count != b.count ? a.count < b.count : a.page < b.page;
    });
    std::vector<std::string> entries;
    entries.reserve(counts.size());
    for (const PageCount& c : counts)
        entries.push_back(std::to_string(c.page) + " " + std::to_string(c.count));
    return entries;
}

std::vector<PageCount> CollectPageCounts(const LineCache& cache)
{
    std::vector<PageCount> counts;
    for (int page = 1; page <= ZPHWire::MAX_PAGE; ++page)
        if (PageRef object = cache.GetPage(page))
            counts.push_back(PageCount{page, object->GetCount()});
    return counts;
}

} // namespace mavo
