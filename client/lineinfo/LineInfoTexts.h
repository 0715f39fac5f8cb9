// The texts of the line information window and of the info tips, computed
// from one line of the feed:
//
// - the caption "Page %d, Line %d - %s" (page, line, issue name, whole,
//   however long);
// - a side's spread text: "spread MASTER for <partner>" for role 'M',
//   "spread SLAVE to <partner>" for 'S', "(none)" otherwise;
// - the stack text: the bid stack from level 4 down to 0 (levels without a
//   customer skipped), "/  ", then the offer stack from level 0 up to the
//   first level without a customer; each level "<customer> (<quantity>)  ";
// - the 14-row table under the columns "", "Last / Total", "Bid", "Offer";
// - the info tip of a cell (a column kind of the row layout) under the
//   display options mask "InfoTip".
//
// A line whose prices are withheld from the user (outside the full view,
// 0x40000 in either flag word) shows its caption only: spreads "(none)",
// an empty stack text, a table of row names with empty values, no tip.
//
// Pure functions over a LineObject; any thread.
#pragma once

#include "core/FeedLibrary.h"
#include "zph/LineObject.h"

#include <array>
#include <string>
#include <string_view>

namespace mavo {

inline constexpr const char* kNoSpreadText = "(none)";
inline constexpr int kLineInfoRows = 14;
inline constexpr int kLineInfoColumns = 4;
// The table's column titles; the first (row names) is untitled.
inline constexpr std::array<const char*, kLineInfoColumns> kLineInfoColumnTitles{"", "Last / Total", "Bid", "Offer"};
inline constexpr std::array<const char*, kLineInfoRows> kLineInfoRowNames{
    "Rate",        "Center", "Prev. Rate", "Prev. Date", "Prev. Cust", "PrPrev. Rate", "PrPrev. Date",
    "PrPrev. Cust", "Last Trade", "Time",   "Transaction", "High",     "Low",          "Volume"};

// True when the line's prices are withheld from a user (outside the full
// view, flag 0x40000 in the line or issue flags).
bool PricesWithheld(const LineObject& line, bool fullView);

std::string LineInfoCaption(int page, int line, std::string_view issueName);
std::string SpreadText(const LineSide& side);
std::string StackText(const LineObject& line);

struct LineInfoRow {
    const char* name = "";
    std::string total;  // "Last / Total"
    std::string bid;
    std::string offer;
};
using LineInfoTable = std::array<LineInfoRow, kLineInfoRows>;
LineInfoTable BuildLineInfoTable(const LineObject& line);

// Everything the window shows of a line.
struct LineInfoTexts {
    std::string caption;
    std::string bidSpread;
    std::string offerSpread;
    std::string stack;
    LineInfoTable table;
};
LineInfoTexts BuildLineInfoTexts(const LineObject& line, bool fullView);

// The tip over a cell of kind `column` (ColumnKind of RowLayout.h) under
// the "InfoTip" mask; empty when that cell shows no tip. Only the options
// decide here; whether tips are on at all is InfoTipsOn's question.
std::string InfoTipText(const LineObject& line, int column, int mask);

} // namespace mavo
