#include "pages/RowLayout.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

namespace mavo {

namespace {

// Nine tenths of the character width, as the narrow margins take it.
int NinetyPercent(int cw) { return cw * 9 / 10; }

} // namespace

int RateTextWidth(int digits, const CFontMeasure& font)
{
    if (digits <= 0)
        return 0;
    digits = std::min(digits, 64);  // no format holds more; bounds the text
    // Measured as one text: the sum of rounded glyph widths can fall short.
    return font.TextWidth(std::string(static_cast<std::size_t>(digits), '0') + ".");
}

CColumnWidths::CColumnWidths(const CPageFormat& f, const CFontMeasure& font)
{
    const int cw = font.AverageCharWidth();
    const int x = font.TextWidth("X");
    m_charWidth = cw;
    auto& w = m_widths;
    w[COL_LINE_NUMBER] = 3 * cw + 2 * NinetyPercent(cw);
    w[COL_ISSUE] = f.issueSize * cw;
    const int rate = std::max(f.rateSize * cw, RateTextWidth(f.rateSize, font));
    w[COL_BID_RATE] = rate;
    w[COL_SLASH] = x;
    w[COL_OFFER_RATE] = rate;
    w[COL_STACK_LEVEL] = (f.customerOnly ? f.stackCustSize : f.stackCustSize + f.stackQuanSize) * cw;
    w[COL_AGGR_LEVEL] = (f.aggrCustomerOnly ? f.stackCustSize : f.stackCustSize + f.stackQuanSize) * cw;
    w[COL_STACK_SUMMARY] = cw;
    w[COL_BID_QUANTITY] = f.quantitySize * cw;
    w[COL_CROSS] = x;
    w[COL_OFFER_QUANTITY] = f.quantitySize * cw;
    w[COL_TH_NUMBER] = f.thNumberSize * cw;
    w[COL_TH_DASH] = x;
    w[COL_TH_RATE] = std::max(f.thRateSize * cw, RateTextWidth(f.thRateSize, font));
    w[COL_TH_AT] = font.TextWidth("@");
    w[COL_TH_TIME] = font.TextWidth("88:88");
    w[COL_TH_VOLUME] = f.thVolumeSize * cw;
    w[COL_SPREAD] = 4 * cw;
    w[COL_PREV_BID] = 4 * cw;
    w[COL_PREV_OFFER] = 4 * cw;
    w[COL_TEXT_LINE] = 40 * cw;
    w[COL_TM_NUMBER] = f.thNumberSize * cw;
    w[COL_TM_ISSUE] = f.issueSize * cw;
    w[COL_TM_VOLUME] = f.thVolumeSize * cw;
    w[COL_TM_RATE] = std::max(f.rateSize * cw, RateTextWidth(f.rateSize, font) + kTradeMonitorInset);
    w[COL_TM_STATUS] = font.TextWidth("-- LINE FULL --");
    const int tmLevel = f.tmCustomerOnly ? f.stackCustSize : f.stackCustSize + f.stackQuanSize + 3;
    w[COL_TM_BUYERS] = f.tmStackSize * tmLevel * cw;
    w[COL_TM_HEADER] = font.TextWidth(" Buyers / Sellers ");
    w[COL_TM_SELLERS] = w[COL_TM_BUYERS];
    w[COL_TM_CENTER] = 4 * cw + NinetyPercent(cw);
    w[COL_INDICATIVE] = f.indicativeSize * cw + NinetyPercent(cw);
    w[COL_NOTHING] = 0;
    m_rowHeight = font.Height() - font.InternalLeading() + 2;
}

int CColumnWidths::Nominal(int kind) const
{
    if (kind < 0 || kind >= kColumnKinds)
        return 0;
    return m_widths[static_cast<std::size_t>(kind)];
}

RowPlan PlanFieldRow(const CPageFormat& f, bool fullView)
{
    RowPlan plan;
    auto add = [&plan](int kind, int levels = 1, int side = 0) { plan.items.push_back({kind, levels, side}); };
    if (f.showNumbers)
        add(COL_LINE_NUMBER);
    add(COL_ISSUE);
    if (fullView && f.showPrevious)
        add(COL_PREV_BID);
    if (f.showIndicative)
        add(COL_INDICATIVE, 1, 0);
    if (fullView) {
        if (f.bidAggrSize > 0)
            add(COL_AGGR_LEVEL, f.bidAggrSize, 0);
        if (f.bidStackSize > 0)
            add(COL_STACK_LEVEL, f.bidStackSize, 0);
    } else if (f.bidStackSize > 0) {
        add(COL_STACK_SUMMARY, 1, 0);
    }
    add(COL_BID_RATE);
    add(COL_SLASH);
    add(COL_OFFER_RATE, 1, 1);
    if (fullView) {
        if (f.offerStackSize > 0)
            add(COL_STACK_LEVEL, f.offerStackSize, 1);
        if (f.offerAggrSize > 0)
            add(COL_AGGR_LEVEL, f.offerAggrSize, 1);
    } else if (f.offerStackSize > 0) {
        add(COL_STACK_SUMMARY, 1, 1);
    }
    if (f.showIndicative)
        add(COL_INDICATIVE, 1, 1);
    if (fullView && f.showPrevious)
        add(COL_PREV_OFFER, 1, 1);
    add(COL_BID_QUANTITY);
    add(COL_CROSS);
    add(COL_OFFER_QUANTITY, 1, 1);
    if (f.showTradeHistory) {
        if (fullView && f.showTHVolume)
            add(COL_TH_VOLUME);
        if (fullView && f.showTHNumber) {
            add(COL_TH_NUMBER);
            add(COL_TH_DASH);
        }
        if (f.showTHRates)
            add(COL_TH_RATE);
        if (f.showTHTime) {
            add(COL_TH_AT);
            add(COL_TH_TIME);
        }
    }
    if (fullView && f.showSpreads)
        add(COL_SPREAD);
    return plan;
}

RowPlan PlanTextRow(const CPageFormat& f)
{
    RowPlan plan;
    if (f.showNumbers)
        plan.items.push_back({COL_LINE_NUMBER, 1, 0});
    plan.items.push_back({COL_TEXT_LINE, 1, 0});
    plan.textToEnd = true;
    return plan;
}

RowPlan PlanTradeMonitorRow(const CPageFormat& f)
{
    RowPlan plan;
    auto add = [&plan](int kind) { plan.items.push_back({kind, 1, 0}); };
    if (f.showNumbers && f.tmShowNumbers)
        add(COL_LINE_NUMBER);
    add(COL_TM_NUMBER);
    add(COL_TM_ISSUE);
    if (f.tmShowVolume)
        add(COL_TM_VOLUME);
    add(COL_TM_RATE);
    add(COL_TM_STATUS);
    if (f.tmShowStack) {
        add(COL_TM_BUYERS);
        add(COL_TM_HEADER);
        add(COL_TM_SELLERS);
    }
    add(COL_TM_CENTER);
    return plan;
}

RowPlan PlanRow(char lineKind, const CPageFormat& format, bool fullView)
{
    switch (lineKind) {
    case 'F': return PlanFieldRow(format, fullView);
    case 'T': return PlanTextRow(format);
    case 'M': return PlanTradeMonitorRow(format);
    default: return {};
    }
}

int NominalWidth(const RowPlan& plan, const CColumnWidths& widths)
{
    int total = 0;
    for (const RowPlan::Item& item : plan.items)
        total += item.levels * widths.Nominal(item.kind);
    return total;
}

int PageNominalWidth(const CPageFormat& format, const CColumnWidths& widths, bool fullView, bool hasTextLines)
{
    int total = NominalWidth(PlanFieldRow(format, fullView), widths);
    if (hasTextLines) {
        const int text = widths.Nominal(COL_TEXT_LINE) + (format.showNumbers ? widths.Nominal(COL_LINE_NUMBER) : 0);
        total = std::max(total, text);
    }
    if (format.tmHasTradeLines)
        total = std::max(total, NominalWidth(PlanTradeMonitorRow(format), widths));
    return total;
}

int ScaleWidth(int nominal, int rowWidth, int pageNominal)
{
    if (pageNominal <= 0)
        return nominal;
    // 64-bit product, rounded to nearest, as the platform's multiply-divide.
    const std::int64_t product = static_cast<std::int64_t>(nominal) * rowWidth;
    const std::int64_t half = pageNominal / 2;
    const std::int64_t q = product >= 0 ? (product + half) / pageNominal : -((-product + half) / pageNominal);
    return static_cast<int>(std::clamp<std::int64_t>(q, INT_MIN, INT_MAX));
}

std::vector<LaidCell> LayRow(const RowPlan& plan, const CColumnWidths& widths, int left, int rowWidth,
                             int pageNominal)
{
    std::vector<LaidCell> cells;
    cells.reserve(plan.items.size());
    // Edges are scaled from the running nominal sum, so rounding never adds
    // up: a row as wide as the page ends exactly at its right edge.
    int nominalEdge = 0;
    int x = left;
    for (const RowPlan::Item& item : plan.items) {
        LaidCell cell;
        cell.kind = item.kind;
        cell.levels = item.levels;
        cell.side = item.side;
        cell.left = x;
        if (plan.textToEnd && item.kind == COL_TEXT_LINE) {
            cell.right = std::max(x, left + rowWidth);
        } else {
            nominalEdge += item.levels * widths.Nominal(item.kind);
            cell.right = std::max(x, left + ScaleWidth(nominalEdge, rowWidth, pageNominal));
        }
        x = cell.right;
        cells.push_back(cell);
    }
    return cells;
}

int HitTest(const std::vector<LaidCell>& cells, int x)
{
    for (const LaidCell& cell : cells)
        if (x >= cell.left && x < cell.right)
            return cell.kind;
    return COL_NOTHING;
}

int HitTest(char lineKind, const CPageFormat& format, const CColumnWidths& widths, bool fullView, int rowWidth,
            int pageNominal, int x)
{
    if (lineKind != 'F' && lineKind != 'T')
        return COL_NOTHING;
    return HitTest(LayRow(PlanRow(lineKind, format, fullView), widths, 0, rowWidth, pageNominal), x);
}

} // namespace mavo
