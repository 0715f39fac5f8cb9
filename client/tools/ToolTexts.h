// Texts of the main window's small tool windows: the clock's time, an entry
// of the client contributions list, and the "Send Page Count" entries.
// Month names and AM/PM are always English and digits always ASCII: no text
// here depends on the process locale.
//
// Free functions without state; any thread.
#pragma once

#include "core/FeedLibrary.h"

#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace ZPH {
class LineCache;
} // namespace ZPH

namespace mavo {

// "%d %b %Y - %I:%M:%S %p": "07 Dec 2026 - 01:05:09 AM".
std::string ClockText(const std::tm& local);

// The most entries the client contributions list holds.
inline constexpr int kMaxContribEntries = 200;
// "%H:%M:%S\t%s": the local time, a tab, the notification text.
std::string ContribEntryText(const std::tm& local, const std::string& text);

struct PageCount {
    int page = 0;
    int count = 0;
};
// The pages whose count is above 0, ordered by count, then by page, each
// as "%d %d" with the page, then its count.
std::vector<std::string> PageCountEntries(std::vector<PageCount> counts);
// The counts of every page 1..300 the cache holds.
std::vector<PageCount> CollectPageCounts(const LineCache& cache);

} // namespace mavo
