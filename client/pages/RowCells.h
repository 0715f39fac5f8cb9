// The cells of one page row, computed without a display: for a line of the
// feed, the list of paint operations (filled rectangles, opaque clipped
// texts with their colours, alignment, font and blink cadence, one-pixel
// lines, own-level pictures) that draw it. A widget or a printer executes
// the list in order and does nothing else.
//
// Field lines, text lines and trade monitor lines are laid out by
// RowLayout.h; a line of any other kind shows only the row background.
//
// Blinking: a text operation with cadence k (1 or 3) blinks; its text is
// hidden while (flash count / k) is odd. The painter registers every
// blinking cell with a CBlinkTracker so that a tick repaints only the cells
// whose phase changes.
//
// Thread-safety: pure functions over the values given; any thread.
#pragma once

#include "core/FeedLibrary.h"
#include "pages/CenterColor.h"
#include "pages/ColorScheme.h"
#include "pages/PageFormat.h"
#include "pages/RowLayout.h"

#include <string>
#include <vector>

namespace ZPH {
class LineObject;
} // namespace ZPH

namespace mavo {

enum class Align { Left, Center, Right };

// Sizes of the own-level indicator strips, by row height: below 20 pixels,
// 20 to 29, and 30 or more. A strip is five pictures side by side, one per
// level 1..5.
struct OwnLevelStrip {
    int size;            // 0, 1, 2
    int pictureWidth;
    int pictureHeight;
};
OwnLevelStrip OwnLevelStripFor(int rowHeight);

struct PaintOp {
    enum Type {
        Fill,      // rect in bg
        Text,      // rect filled with bg, text in fg clipped to rect (inset from textRect)
        HLine,     // a one-pixel line from rect.left to rect.right at rect.top, in fg
        OwnLevel,  // picture `level` of the strip `strip` (high contrast or not) at target, clipped to rect
    };
    Type type = Fill;
    Rect rect;
    ColorRef fg = 0;
    ColorRef bg = 0;
    std::string text;
    Align align = Align::Left;
    Rect textRect;       // where the text is aligned (the cell, or the cell less an inset)
    bool small = false;  // meta rendering: the small font
    int cadence = 0;     // 0 steady, else blinks every `cadence` ticks
    bool hidden = false; // blinking text in its off phase: only the background shows
    bool number = false; // a number: shown whole or, when it does not fit, as '#' (FitNumberText)
    int level = 0;       // OwnLevel: 1..5
    int strip = 0;       // OwnLevel: strip size
    bool highContrast = false;
    Rect target;         // OwnLevel: where the picture goes
    // Two equal operations draw the same pixels with the same fonts.
    friend bool operator==(const PaintOp&, const PaintOp&) = default;
};

// What the drawing needs to know besides the line and the format.
struct RowContext {
    bool fullView = false;           // user level 999
    bool bestPriceIndicator = false; // display option "Best Price Indicator"
    bool whenCenterColors = false;   // display option "Hit/Lift When Center Colors"
    bool enableMyPrice = false;      // main frame "Enable MyPrice"
    bool enableMeta2 = false;        // main frame "Enable Meta2"
    bool tradeTimer = false;         // main frame "TradeTimer"
    bool unlisted = false;           // the row's page is not in the user's page list
    int flashCount = 0;              // the main frame's tick count
    const CCustomerRules* customers = nullptr;
};

// Line flags and issue flags the drawing reads.
namespace LineFlag {
constexpr unsigned Underline = 0x10;
constexpr unsigned Reverse = 0x20;
constexpr unsigned Blink = 0x40;
constexpr unsigned NoTrading = 0x200;
constexpr unsigned Color1000 = 0x1000;
constexpr unsigned Color2000 = 0x2000;
constexpr unsigned Color4000 = 0x4000;
constexpr unsigned Meta = 0x70000;
constexpr unsigned Withheld = 0x40000;
constexpr unsigned Selected = 0x80000;
} // namespace LineFlag

// Everything about the page that is the same for each of its rows.
struct RowGeometry {
    const CPageFormat* format = nullptr;
    const CColumnWidths* widths = nullptr;
    int pageNominal = 0;  // PageNominalWidth of the page
};

// The operations that draw `line` into `row`. scheme: the scheme of the
// page's colour style; the caller passes the fourth scheme for a line with
// line flag 0x200 (SchemeForLine does that).
std::vector<PaintOp> BuildRow(const LineObject& line, const RowGeometry& geometry, const CColorScheme& scheme,
                              const RowContext& context, const Rect& row);

// A key the line cache does not hold: one fill of kMissingLineColor.
std::vector<PaintOp> BuildMissingRow(const Rect& row);

const CColorScheme& SchemeForLine(const LineObject& line, const CColorSchemes& schemes, int colorStyle);

// The daily volume as "VolumePrecision" shows it: 0 the whole text, 1
// without its last decimal, 2 without its decimals. A text that does not
// end in two decimals is shown whole.
std::string VolumeText(const std::string& dailyVolume, int precision);

// The side a trade monitor line shows: the offer side when its last offer
// trade transaction number is set, or failing that its offer rate.
bool IsOfferSideTradeLine(const LineObject& line);

// The status text of a trade monitor line in a display state; empty for
// a line with no trade time outside the trading and error states.
std::string TradeMonitorStatus(int state, const std::string& lastTradeTime);

// What a number cell shows in `width` pixels: the number itself when it
// fits, else as many '#' as fit, so that no number is ever shown cut (a
// clipped "100.6875" would read "00.6875").
std::string FitNumberText(const std::string& text, int width, const CFontMeasure& font);

// The text a blinking cell shows now: hidden while (count / cadence) is odd.
bool BlinkHidden(int cadence, int flashCount);

} // namespace mavo
