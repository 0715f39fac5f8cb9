// The layout of a page row: the column kinds of its cells, their nominal
// widths from the page font, the row height, the page's nominal width, the
// scaling of nominal widths to the row's real width, and the hit test.
//
// Drawing (RowCells.h) and the hit test both lay a row out with LayRow, so
// a point always hits the cell that is drawn under it.
//
// Scaling: a cell's width is nominal x row width / page nominal width,
// rounded to the nearest pixel as a multiply-divide does (saturating, never
// wrapping); cells are laid left to right, each starting where the previous
// ended. Cell edges are scaled from the running nominal sum, so roundings
// never add up to a row wider than the window. A page whose nominal width
// is 0 (or less) is not scaled: its cells keep their nominal widths.
//
// Thread-safety: plain values and pure functions; any thread.
#pragma once

#include "pages/PageFormat.h"

#include <array>
#include <string_view>
#include <vector>

namespace mavo {

enum ColumnKind : int {
    COL_LINE_NUMBER = 0,
    COL_ISSUE = 1,
    COL_BID_RATE = 2,
    COL_SLASH = 3,
    COL_OFFER_RATE = 4,
    COL_STACK_LEVEL = 5,
    COL_AGGR_LEVEL = 6,
    COL_STACK_SUMMARY = 7,
    COL_BID_QUANTITY = 8,
    COL_CROSS = 9,
    COL_OFFER_QUANTITY = 10,
    COL_TH_NUMBER = 11,
    COL_TH_DASH = 12,
    COL_TH_RATE = 13,
    COL_TH_AT = 14,
    COL_TH_TIME = 15,
    COL_TH_VOLUME = 16,
    COL_SPREAD = 17,
    COL_PREV_BID = 18,
    COL_PREV_OFFER = 19,
    COL_TEXT_LINE = 20,
    COL_TM_NUMBER = 21,
    COL_TM_ISSUE = 22,
    COL_TM_VOLUME = 23,
    COL_TM_RATE = 24,
    COL_TM_STATUS = 25,
    COL_TM_BUYERS = 26,
    COL_TM_HEADER = 27,
    COL_TM_SELLERS = 28,
    COL_TM_CENTER = 29,
    COL_INDICATIVE = 30,
    COL_NOTHING = 31,
};
constexpr int kColumnKinds = 32;

// A pixel rectangle, right and bottom exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    friend bool operator==(const Rect&, const Rect&) = default;
    friend auto operator<=>(const Rect&, const Rect&) = default;
};

// What the layout needs to know of a font; the widgets implement it over
// their font metrics, tests over fixed numbers.
class CFontMeasure {
public:
    virtual ~CFontMeasure() = default;
    virtual int AverageCharWidth() const = 0;
    virtual int TextWidth(std::string_view text) const = 0;
    // Ascent plus descent, and the internal leading inside it.
    virtual int Height() const = 0;
    virtual int InternalLeading() const = 0;
};

// Pixels a trade monitor rate or volume keeps free at the right of its cell.
constexpr int kTradeMonitorInset = 5;

// The width a rate of `digits` digits and its decimal point takes in the
// font: a rate column of size n holds any rate of n digits, whatever the
// font's digits measure against its average character.
int RateTextWidth(int digits, const CFontMeasure& font);

// Nominal widths of the 32 column kinds, computed once per format or font.
// The rate kinds (2, 4, 13, 24) are at least RateTextWidth of their size
// (24 with its inset on top), so that the widest rate the feed sends fits.
class CColumnWidths {
public:
    CColumnWidths() = default;
    CColumnWidths(const CPageFormat& format, const CFontMeasure& font);

    int Nominal(int kind) const;
    int RowHeight() const { return m_rowHeight; }
    int CharWidth() const { return m_charWidth; }

private:
    std::array<int, kColumnKinds> m_widths{};
    int m_rowHeight = 0;
    int m_charWidth = 0;
};

// One cell of a laid-out row. A stack or aggressor area is one cell of
// `levels` levels (its width is levels x the level width).
struct LaidCell {
    int kind = COL_NOTHING;
    int left = 0;
    int right = 0;
    int levels = 1;
    // Which side a cell belongs to where kinds are shared: 0 bid, 1 offer.
    int side = 0;
};

// Which cells a row shows and in what order: a field line, a text line or
// a trade monitor line. Unknown kinds lay out no cells.
struct RowPlan {
    struct Item {
        int kind;
        int levels;
        int side;
    };
    std::vector<Item> items;
    // A text line's text runs from the end of the line number to the row's
    // right edge.
    bool textToEnd = false;
};

RowPlan PlanFieldRow(const CPageFormat& format, bool fullView);
RowPlan PlanTextRow(const CPageFormat& format);
RowPlan PlanTradeMonitorRow(const CPageFormat& format);
// By line kind: 'F', 'T', 'M'; anything else plans an empty row.
RowPlan PlanRow(char lineKind, const CPageFormat& format, bool fullView);

// The sum of a plan's nominal widths.
int NominalWidth(const RowPlan& plan, const CColumnWidths& widths);

// The page's nominal width: its field row, at least the text row when the
// page has text lines, at least the trade monitor row when the format says
// the page has trade monitor lines.
int PageNominalWidth(const CPageFormat& format, const CColumnWidths& widths, bool fullView, bool hasTextLines);

// Scales one nominal width to the row (see the header comment).
int ScaleWidth(int nominal, int rowWidth, int pageNominal);

// Lays a plan out over a row from x = left, rowWidth pixels wide, scaled
// against the page's nominal width.
std::vector<LaidCell> LayRow(const RowPlan& plan, const CColumnWidths& widths, int left, int rowWidth,
                             int pageNominal);

// The column kind under x, COL_NOTHING beyond every cell.
int HitTest(const std::vector<LaidCell>& cells, int x);
int HitTest(char lineKind, const CPageFormat& format, const CColumnWidths& widths, bool fullView, int rowWidth,
            int pageNominal, int x);

} // namespace mavo
