#include "pages/PrintLayout.h"

#include "Brindle/base/Timestamp.h"

#include <algorithm>

namespace mavo {

PrintHeaderLayout LayPrintHeader(const Rect& page)
{
    PrintHeaderLayout out;
    const int band = page.Height() / 15;
    out.band = Rect{page.left, page.top + band, page.right, page.top + 2 * band};
    out.titleArea = Rect{page.left, out.band.top, page.right, out.band.top + band * 2 / 3};
    out.titleFontHeight = std::max(1, out.titleArea.Height() * 4 / 5);
    out.timeArea = Rect{page.left, out.titleArea.bottom + 5, page.right, std::max(out.titleArea.bottom + 5, out.band.bottom)};
    out.timeFontHeight = std::max(1, out.timeArea.Height() * 4 / 5);
    return out;
}

Rect PrintLineRect(const Rect& page, int index)
{
    const int height = page.Height() / 50;
    const int top = page.top + page.Height() * 3 / 15 + index * (height + 1);
    const int margin = page.Width() / 10;
    return Rect{page.left + margin, top, page.right - margin, top + height};
}

std::string PrintTimeText(const Brindle::CTimestamp& when)
{
    return when.Format("%A, %B %d, %Y at %H:%M:%S");
}

} // namespace mavo
