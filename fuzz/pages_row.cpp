// Feeds arbitrary line data from the feed and arbitrary stored settings to
// the page drawing: the first bytes choose a page format (any stored
// values, ranged ones included), the view (full view or not, options, flash
// count) and the row's width; the rest are line fields (id, length, text)
// applied to a line as the feed would. The row's cells are computed and
// checked: every operation stays inside the row's height and never starts
// left of it, cadences are 0, 1 or 3, own levels 1..5, and the hit test
// answers a column kind for every x. The same bytes are also read as a
// stored font record and window placement.
#include "pages/CenterColor.h"
#include "pages/PageFormat.h"
#include "pages/RowCells.h"
#include "pages/RowLayout.h"
#include "pages/WindowPlacement.h"
#include "zph/LineObject.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace ZPH;

namespace {

class Font : public mavo::CFontMeasure {
public:
    explicit Font(int cw) : m_cw(cw) {}
    int AverageCharWidth() const override { return m_cw; }
    int TextWidth(std::string_view text) const override { return m_cw * static_cast<int>(text.size()); }
    int Height() const override { return 2 * m_cw; }
    int InternalLeading() const override { return 1; }

private:
    int m_cw;
};

class Customers : public mavo::CCustomerRules {
public:
    bool IsMyCustomer(int number, int centreCode) const override { return number % 7 == centreCode % 5; }
    bool DisableCustomer() const override { return false; }
    bool DisableCenter() const override { return false; }
};

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    {
        mavo::LogFont font;
        font.FromBytes(data, size);
        Check(font.FaceName().size() < mavo::LogFont::kFaceSize);
        mavo::WindowPlacement placement;
        placement.FromBytes(data, size);
    }
    constexpr std::size_t kHeader = 16;
    if (size < kHeader)
        return 0;
    const std::uint8_t* h = data;
    mavo::CPageFormat f;
    // Raw values, as a hand-edited store could hold them, then ranged.
    f.bidStackSize = static_cast<std::int8_t>(h[0]);
    f.offerStackSize = static_cast<std::int8_t>(h[1]);
    f.bidAggrSize = static_cast<std::int8_t>(h[2]) % 8;
    f.offerAggrSize = h[2] >> 5;
    f.tmStackSize = static_cast<std::int8_t>(h[3]);
    f.colorStyle = static_cast<std::int8_t>(h[4]);
    f.volumePrecision = h[4] >> 4;
    f.stackCustSize = h[5] % 8;
    f.stackQuanSize = h[5] >> 4;
    f.issueSize = h[6] % 50;
    f.rateSize = h[6] >> 4;
    const std::uint8_t switches = h[7];
    f.customerOnly = switches & 1;
    f.aggrCustomerOnly = (switches >> 1) & 1;
    f.showTradeHistory = (switches >> 2) & 1;
    f.showSpreads = (switches >> 3) & 1;
    f.showPrevious = (switches >> 4) & 1;
    f.showIndicative = (switches >> 5) & 1;
    f.showNumbers = (switches >> 6) & 1;
    f.tmCustomerOnly = (switches >> 7) & 1;
    f.tmHasTradeLines = h[8] & 1;
    f.tmShowStack = (h[8] >> 1) & 1;
    f.aggrCenterColor = (h[8] >> 2) & 1;
    f.Normalize();

    mavo::RowContext ctx;
    ctx.fullView = h[9] & 1;
    ctx.bestPriceIndicator = (h[9] >> 1) & 1;
    ctx.whenCenterColors = (h[9] >> 2) & 1;
    ctx.enableMyPrice = (h[9] >> 3) & 1;
    ctx.enableMeta2 = (h[9] >> 4) & 1;
    ctx.tradeTimer = (h[9] >> 5) & 1;
    ctx.unlisted = (h[9] >> 6) & 1;
    ctx.flashCount = h[10];
    Customers customers;
    ctx.customers = &customers;
    const int cw = 1 + h[11] % 12;
    const int rowWidth = h[12] * 4;
    const char kinds[] = {'F', 'T', 'M', 'X'};
    const char kind = kinds[h[13] % 4];

    // Line fields: id (two bytes), length, text.
    ZPHMessage msg('R', 1, 1);
    std::size_t at = kHeader;
    while (at + 3 <= size) {
        const int id = data[at] | (data[at + 1] << 8);
        const std::size_t length = std::min<std::size_t>(data[at + 2], size - at - 3);
        msg.AddField(id % 400, std::string_view(reinterpret_cast<const char*>(data + at + 3), length));
        mavo::ParseFeedInt(std::string_view(reinterpret_cast<const char*>(data + at + 3), length));
        Check(mavo::VolumeText(std::string(reinterpret_cast<const char*>(data + at + 3), length), h[14] % 4).size() <=
              length);
        at += 3 + length;
    }
    LineObject line(1, 1);
    line.Apply(msg, true);
    line.m_kind = kind;

    const mavo::CColumnWidths widths(f, Font(cw));
    const int nominal = mavo::PageNominalWidth(f, widths, ctx.fullView, h[15] & 1);
    const mavo::RowGeometry geometry{&f, &widths, nominal};
    const mavo::CColorSchemes schemes;
    const mavo::Rect row{3, 5, 3 + rowWidth, 5 + widths.RowHeight()};
    for (const mavo::PaintOp& op : mavo::BuildRow(line, geometry, mavo::SchemeForLine(line, schemes, f.colorStyle), ctx, row)) {
        Check(op.rect.top >= row.top && op.rect.bottom <= row.bottom);
        Check(op.rect.left >= row.left && op.rect.right >= op.rect.left);
        Check(op.cadence == 0 || op.cadence == 1 || op.cadence == 3);
        if (op.type == mavo::PaintOp::OwnLevel)
            Check(op.level >= 1 && op.level <= 5 && op.strip >= 0 && op.strip <= 2);
    }
    for (int x = -2; x < rowWidth + 2; x += 3) {
        const int hit = mavo::HitTest(kind, f, widths, ctx.fullView, rowWidth, nominal, x);
        Check(hit >= 0 && hit <= mavo::COL_NOTHING);
    }
    return 0;
}
