// The page as text for the clipboard, in the six cut-and-paste formats the
// View menu offers ("Copy Style" 0..5):
//
//   0 Single Column Text                 one line a row
//   1 Two Column Text                    the lines in two columns of 26
//   2 Single Column Delimited            fields separated by tabs
//   3 Single Column Text w/Indicative    with the indicative rates
//   4 MS Excel DDE Data Links            DDE formulas of eight items a line
//   5 MS Excel DDE Text Links            a DDE formula of the TEXT item
//
// Text of a line in formats 0-3, with the issue cut to 12 characters:
//   field line  0 "%-12s %6s/%-6s %6sX%-6s"  issue, bid/offer rate, bid X offer quantity
//               1 "%-12s %6s/%-6s"           issue, rates ("%-12s" alone without rates)
//               2 issue TAB bid TAB / TAB offer TAB bid qty TAB X TAB offer qty
//               3 "%-12s %8s %6s/%-6s %-8s"  issue, indicative bid, rates, indicative offer
//                                            ("%-12s" alone without rates)
//   text line   "%-40s" of the text, cut to 40 (format 0) or 26 (format 1)
//   trade monitor line  "%-12s %6s  BID  @ %8s" or "%-12s %6s OFFER @ %8s"
//               with the side's rate and status ("-- TRADING --", "-- ERROR --",
//               "-- LINEFULL --", "-- NOLINE --", else the side's last trade time)
// Page text: formats 0, 2, 3 a row per line ending "\r\n"; format 1 the
// first (n + 1) / 2 lines left, the rest right, rows "%-26s %-26s\r\n" (or
// "%-26s\r\n" without a right one); format 4 a row per line of
// "=MAVO|<topic>!'<item>'" for LINE, ISSUENAME, BIDATTR, BIDREALRATE,
// OFFERREALRATE, OFFERATTR, BIDREALQUAN, OFFERREALQUAN joined by tabs;
// format 5 "=MAVO|<topic>!'TEXT'" a row. A page without lines is "".
//
// What the user may not see never reaches the text: outside the full view a
// line with 0x40000 in either flag word gives no rates, quantities,
// indicatives or trade times, an issue with 0x40000 in its issue flags no
// issue, and a text line with 0x40000 in its line flags no text. A line
// missing from the line cache gives an empty text (formats 0-3) so that the
// rows keep the page's order; the formula formats need only its key.
//
// Free functions and constant tables; any thread.
#pragma once

#include "core/FeedLibrary.h"
#include "zph/LineCache.h"
#include "zph/LineObject.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace mavo {

enum CopyStyle : int {
    COPY_SINGLE_COLUMN = 0,
    COPY_TWO_COLUMN = 1,
    COPY_DELIMITED = 2,
    COPY_INDICATIVE = 3,
    COPY_EXCEL_DATA_LINKS = 4,
    COPY_EXCEL_TEXT_LINKS = 5,
};

struct CopyStyleInfo {
    int style;
    const char* menuText;    // the item of the "Cut-and-Paste Format" submenu
    const char* statusText;  // its status-bar text
};

const std::array<CopyStyleInfo, 6>& CopyStyles();
// A stored "Copy Style" that names no format reads as 0.
int ValidCopyStyle(int style);

// The text of one line in formats 0..3 (without a line end).
std::string ClipboardLineText(const LineObject& line, int style, bool fullView);

// The whole page; `lines` gives the line of a key, null when the cache
// lacks it.
std::string ClipboardPageText(const std::vector<unsigned>& keys, const std::function<LineRef(unsigned)>& lines,
                              int style, bool fullView);

// Copy: builds the whole text first and hands it to `replace` once. When
// building fails (it throws), `replace` is never called, so the clipboard
// keeps what the user had on it. False when nothing was copied.
bool CopyText(const std::function<std::string()>& build, const std::function<bool(const std::string&)>& replace);

} // namespace mavo
