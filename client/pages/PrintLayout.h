// Where a printed page puts its parts: the header band with the title and
// the time of printing, and one band per line of the page document.
//
// On a page rectangle of height H and width W: the header band is H/15 high
// and starts one band below the top; the title is centred in the band's
// upper two thirds with a font of four fifths of that height; the time is
// centred from 5 pixels below the title's area to the end of the band, with
// a font of four fifths of that space's height. Lines start 3H/15 below the
// top, a tenth of the width in from either side, each H/50 high plus one
// pixel of spacing. Font heights are at least one pixel.
//
// Pure functions; any thread.
#pragma once

#include "pages/RowLayout.h"

#include <string>

namespace Brindle {
class CTimestamp;
}

namespace mavo {

struct PrintHeaderLayout {
    Rect band;
    Rect titleArea;
    int titleFontHeight = 1;
    Rect timeArea;
    int timeFontHeight = 1;
};

PrintHeaderLayout LayPrintHeader(const Rect& page);

// The band of line `index` (0-based).
Rect PrintLineRect(const Rect& page, int index);

// "%A, %B %d, %Y at %H:%M:%S" in local time, English names whatever the
// locale.
std::string PrintTimeText(const Brindle::CTimestamp& when);

} // namespace mavo
