// The trade volume report without a display: the stored reports (one
// string value per report in the "VolumeReport" section, named by the
// report, holding its pages), report names, the rows of a run and their
// texts, and the total volume that counts each issue once.
//
// Names: at most 20 characters, compared without regard to case (as the
// store compares value names); a name that is empty or only blanks is
// refused.
//
// Rows: a run lists lines 1..26 of each page of the report, in the
// report's order, one row per line key. A row's texts: "Page" and "Line"
// as "%d"; a field line's issue name as "%12s" with its daily volume; a
// text line's text as "%12s" and no volume; "???????" for a key whose line
// the cache lacks.
//
// Total: over the rows' field lines, each issue name counted once, the
// decimal value of its daily volume text (the leading number of the text,
// read without regard to the locale; no number is 0); shown as "%8.2f"
// with a '.' whatever the locale.
//
// Thread-safety: pure functions and plain values, any thread; the store
// functions as the section.
#pragma once

#include "core/FeedLibrary.h"

#include <string>
#include <string_view>
#include <vector>

namespace Brindle {
class CRegSection;
}

namespace ZPH {
class LineCache;
class LineObject;
} // namespace ZPH

namespace mavo {

inline constexpr const char* kVolumeReportSection = "VolumeReport";
inline constexpr int kReportNameChars = 20;
inline constexpr const char* kMissingLineIssue = "???????";

// The name without surrounding blanks, as it is stored.
std::string TrimReportName(std::string_view name);
// A trimmed name that is neither empty nor longer than 20 characters.
bool IsValidReportName(std::string_view name);
bool SameReportName(std::string_view a, std::string_view b);
// The index of the name in names, compared without regard to case; -1.
int FindReportName(const std::vector<std::string>& names, std::string_view name);

// The report names of the section, in the store's order.
std::vector<std::string> LoadReportNames(const Brindle::CRegSection& section);
// The report's pages (read whole, pages outside 1..300 dropped).
std::vector<int> LoadReportPages(const Brindle::CRegSection& section, const std::string& name);
bool SaveReport(const Brindle::CRegSection& section, const std::string& name, const std::vector<int>& pages);
bool DeleteReport(const Brindle::CRegSection& section, const std::string& name);

// Line keys of a run: lines 1..26 of each page in order.
std::vector<unsigned> ReportKeys(const std::vector<int>& pages);

struct ReportRowText {
    std::string page;
    std::string line;
    std::string issue;
    std::string volume;
    friend bool operator==(const ReportRowText&, const ReportRowText&) = default;
};
// line: the key's line in the cache, or null.
ReportRowText MakeReportRow(unsigned key, const LineObject* line);

// The decimal value at the start of a volume text; 0 when there is none.
double VolumeValue(std::string_view text);
double TotalVolume(const LineCache& cache, const std::vector<unsigned>& keys);
// "%8.2f", locale-free.
std::string FormatTotal(double total);
// "%s Report Results:".
std::string ReportResultsLabel(std::string_view name);

} // namespace mavo
