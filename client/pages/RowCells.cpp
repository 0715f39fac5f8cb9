#include "pages/RowCells.h"

#include "pages/DisplayState.h"
#include "core/FeedLibrary.h"
#include "zph/LineObject.h"

#include <algorithm>

namespace mavo {

namespace {

constexpr int kTradeMonitorGap = 2;    // between trade monitor stack levels

using LevelGetter = const char* (LineObject::*)(int) const;

// A price cell: the side of the quote and the value it shows.
enum class QuoteSide { Bid, Offer };
enum class PriceValue { Rate, Quantity };

struct StackSource {
    LevelGetter customer;
    LevelGetter quantity;
    LevelGetter centre;
};

constexpr StackSource kBidStack{&LineObject::GetBidCustomer, &LineObject::GetBidQuantity, &LineObject::GetBidCenter};
constexpr StackSource kOfferStack{&LineObject::GetOfferCustomer, &LineObject::GetOfferQuantity,
                                  &LineObject::GetOfferCenter};
constexpr StackSource kTradedBids{&LineObject::GetTradedBidCustomer, &LineObject::GetTradedBidQuantity,
                                  &LineObject::GetTradedBidCenter};
constexpr StackSource kTradedOffers{&LineObject::GetTradedOfferCustomer, &LineObject::GetTradedOfferQuantity,
                                    &LineObject::GetTradedOfferCenter};

// Builds the operations of one row; colours go through Bg/Fg so that an
// unlisted row's black backgrounds turn dark grey in one place.
class RowBuilder {
public:
    RowBuilder(const LineObject& line, const RowGeometry& geometry, const CColorScheme& scheme,
               const RowContext& context, const Rect& row)
        : m_line(line), m_format(*geometry.format), m_widths(*geometry.widths),
          m_pageNominal(geometry.pageNominal), m_scheme(scheme), m_ctx(context), m_row(row)
    {
        m_withheld = !m_ctx.fullView && ((m_line.m_lineFlags | m_line.m_issueFlags) & LineFlag::Withheld) != 0;
        m_metaPrices = (m_ctx.fullView && (m_line.m_lineFlags & LineFlag::Meta) != 0) ||
                       (m_line.m_issueFlags & LineFlag::Meta) != 0;
    }

    std::vector<PaintOp> Build()
    {
        const RowPlan plan = PlanRow(m_line.m_kind, m_format, m_ctx.fullView);
        const std::vector<LaidCell> cells = LayRow(plan, m_widths, m_row.left, m_row.Width(), m_pageNominal);
        // The underline runs along the bottom from the end of the line number
        // to the right edge; everything after the line number stands one
        // pixel shorter above it.
        const bool underline = (m_line.m_kind == 'F' || m_line.m_kind == 'T') && m_format.showUnderlines &&
                               (m_line.m_lineFlags & LineFlag::Underline) != 0;
        int bottom = m_row.bottom;
        int x = m_row.left;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const LaidCell& cell = cells[i];
            if (i == 0 && cell.kind == COL_LINE_NUMBER) {
                LineNumber(Rect{cell.left, m_row.top, cell.right, m_row.bottom});
                x = cell.right;
                continue;
            }
            if (underline && bottom == m_row.bottom) {
                Line(Rect{x, m_row.bottom - 1, m_row.right, m_row.bottom}, Fg(Entry::Underline));
                bottom = m_row.bottom - 1;
            }
            Cell(cell, Rect{cell.left, m_row.top, cell.right, bottom});
            x = cell.right;
        }
        if (underline && bottom == m_row.bottom && x < m_row.right) {
            Line(Rect{x, m_row.bottom - 1, m_row.right, m_row.bottom}, Fg(Entry::Underline));
            bottom = m_row.bottom - 1;
        }
        if (x < m_row.right)
            Fill(Rect{x, m_row.top, m_row.right, bottom}, Bg(Entry::RowBG));
        return std::move(m_ops);
    }

private:
    ColorRef Fg(int entry) const { return m_scheme.Get(entry); }
    ColorRef Bg(int entry) const { return Unlisted(m_scheme.Get(entry)); }
    ColorRef Unlisted(ColorRef color) const { return m_ctx.unlisted && color == 0 ? kUnlistedFill : color; }

    void Fill(const Rect& r, ColorRef color)
    {
        if (r.IsEmpty())
            return;
        PaintOp op;
        op.type = PaintOp::Fill;
        op.rect = r;
        op.bg = color;
        m_ops.push_back(std::move(op));
    }

    void Line(const Rect& r, ColorRef color)
    {
        if (r.right <= r.left)
            return;
        PaintOp op;
        op.type = PaintOp::HLine;
        op.rect = r;
        op.fg = color;
        m_ops.push_back(std::move(op));
    }

    // An opaque text in a pair of entries (foreground first).
    void Text(const Rect& r, int fgEntry, std::string text, Align align, int cadence = 0, bool meta = false,
              int insetRight = 0)
    {
        TextIn(r, Fg(fgEntry), Bg(fgEntry + 1), std::move(text), align, cadence, meta, insetRight);
    }

    void TextIn(const Rect& r, ColorRef fg, ColorRef bg, std::string text, Align align, int cadence = 0,
                bool meta = false, int insetRight = 0)
    {
        if (r.IsEmpty())
            return;
        PaintOp op;
        op.type = PaintOp::Text;
        op.rect = r;
        op.textRect = r;
        op.textRect.right = std::max(r.left, r.right - insetRight);
        op.fg = meta ? kMetaTextColor : fg;
        op.bg = bg;
        op.align = align;
        op.small = meta;
        if (!text.empty() && cadence > 0) {
            op.cadence = cadence;
            op.hidden = BlinkHidden(cadence, m_ctx.flashCount);
        }
        op.text = std::move(text);
        m_ops.push_back(std::move(op));
    }

    // A text whose operation shows a number (see FitNumberText).
    void Number(const Rect& r, int fgEntry, std::string text, Align align, int cadence = 0, bool meta = false,
                int insetRight = 0)
    {
        const std::size_t before = m_ops.size();
        Text(r, fgEntry, std::move(text), align, cadence, meta, insetRight);
        if (m_ops.size() > before)
            m_ops.back().number = true;
    }

    void LineNumber(const Rect& r)
    {
        const int fg = m_ctx.unlisted ? Entry::UnlistedNumberFG : Entry::LineNumberFG;
        std::string text = m_line.m_line == 0 ? std::string("  ") : std::to_string(m_line.m_line);
        Text(r, fg, std::move(text), Align::Center);
    }

    // The pair of an issue cell or a text line chosen by its flags.
    int FlaggedPair(unsigned flags, int plain) const
    {
        if (flags & LineFlag::Color2000)
            return Entry::Flag2000FG;
        if (flags & LineFlag::Color4000)
            return Entry::Flag4000FG;
        if (flags & LineFlag::Color1000)
            return Entry::Flag1000FG;
        return plain;
    }

    void FlaggedText(Rect r, unsigned flags, int plain, const std::string& text, bool meta)
    {
        const int pair = FlaggedPair(flags, plain);
        ColorRef fg = Fg(pair);
        ColorRef bg = m_scheme.Get(pair + 1);
        if (flags & LineFlag::Reverse)
            std::swap(fg, bg);
        TextIn(r, fg, Unlisted(bg), text, Align::Left, (flags & LineFlag::Blink) ? 3 : 0, meta);
    }

    void Cell(const LaidCell& cell, Rect r)
    {
        switch (cell.kind) {
        case COL_ISSUE: IssueCell(r); break;
        case COL_TEXT_LINE: TextLineCell(r); break;
        case COL_PREV_BID:
            Text(r, Entry::PreviousFG, m_line.m_bid.m_prevCustomer, Align::Right);
            break;
        case COL_PREV_OFFER:
            Text(r, Entry::PreviousFG, m_line.m_offer.m_prevCustomer, Align::Left);
            break;
        case COL_INDICATIVE: IndicativeCell(r, cell.side); break;
        case COL_AGGR_LEVEL: StackArea(r, cell.side, cell.levels, true); break;
        case COL_STACK_LEVEL: StackArea(r, cell.side, cell.levels, false); break;
        case COL_STACK_SUMMARY: SummaryCell(r, cell.side); break;
        case COL_BID_RATE: PriceCell(r, QuoteSide::Bid, PriceValue::Rate); break;
        case COL_OFFER_RATE: PriceCell(r, QuoteSide::Offer, PriceValue::Rate); break;
        case COL_BID_QUANTITY: PriceCell(r, QuoteSide::Bid, PriceValue::Quantity); break;
        case COL_OFFER_QUANTITY: PriceCell(r, QuoteSide::Offer, PriceValue::Quantity); break;
        case COL_SLASH: Text(r, Entry::SlashFG, "/", Align::Center); break;
        case COL_CROSS: Text(r, Entry::CrossFG, "X", Align::Center); break;
        case COL_TH_VOLUME:
        case COL_TH_NUMBER:
        case COL_TH_DASH:
        case COL_TH_RATE:
        case COL_TH_AT:
        case COL_TH_TIME: TradeHistoryCell(r, cell.kind); break;
        case COL_SPREAD: SpreadCell(r); break;
        case COL_TM_NUMBER:
            Number(r, Entry::TMNumberFG, TradeSide().m_tradeNumber, Align::Center);
            break;
        case COL_TM_ISSUE: Text(r, Entry::TMIssueFG, m_line.m_issueName, Align::Center); break;
        case COL_TM_VOLUME:
            Number(r, Entry::TMVolumeFG, m_withheld ? std::string() : TradeSide().m_quantity, Align::Right, 0, false,
                 kTradeMonitorInset);
            break;
        case COL_TM_RATE:
            Number(r, TradeSidePair(), m_withheld ? std::string() : TradeSide().m_rate, Align::Right, 0, false,
                 kTradeMonitorInset);
            break;
        case COL_TM_STATUS: {
            const int state = DisplayStateOf(TradeSide().m_attribute, false);
            Text(r, TradeSidePair(), TradeMonitorStatus(state, TradeSide().m_lastTradeTime), Align::Left,
                 state == DS_TRADING ? 3 : 0);
            break;
        }
        case COL_TM_BUYERS: TradeMonitorStack(r, true); break;
        case COL_TM_HEADER: Text(r, Entry::TMHeaderFG, " Buyers / Sellers ", Align::Center); break;
        case COL_TM_SELLERS: TradeMonitorStack(r, false); break;
        case COL_TM_CENTER: TradeMonitorCentre(r); break;
        default: Fill(r, Bg(Entry::RowBG)); break;
        }
    }

    void IssueCell(Rect r)
    {
        const unsigned flags = m_line.m_issueFlags;
        if (!m_ctx.fullView && (flags & LineFlag::Withheld) != 0) {
            Fill(r, Bg(Entry::IssueBG));
            return;
        }
        if (flags & LineFlag::Underline) {
            Line(Rect{r.left, r.bottom - 1, r.right, r.bottom}, Fg(Entry::Underline));
            r.bottom -= 1;
        }
        const bool meta = m_ctx.fullView && (flags & LineFlag::Meta) != 0;
        FlaggedText(r, flags, Entry::IssueFG, m_line.m_issueName, meta);
    }

    void TextLineCell(const Rect& r)
    {
        const unsigned flags = m_line.m_lineFlags;
        const bool hidden = !m_ctx.fullView && (flags & LineFlag::Withheld) != 0;
        const bool meta = m_ctx.fullView && (flags & LineFlag::Meta) != 0;
        FlaggedText(r, flags, Entry::TextLineFG, hidden ? std::string() : m_line.m_text, meta);
    }

    const LineSide& Side(bool offer) const { return offer ? m_line.m_offer : m_line.m_bid; }

    void IndicativeCell(const Rect& r, int side)
    {
        const bool offer = side == 1;
        const int pair = offer ? Entry::IndicativeOfferFG : Entry::IndicativeBidFG;
        Number(r, pair, m_withheld ? std::string() : Side(offer).m_indicative, offer ? Align::Left : Align::Right, 0,
             m_metaPrices);
    }

    void PriceCell(Rect r, QuoteSide quote, PriceValue value)
    {
        const bool offer = quote == QuoteSide::Offer;
        const bool rate = value == PriceValue::Rate;
        const LineSide& side = Side(offer);
        const bool best = m_ctx.bestPriceIndicator && m_ctx.fullView && side.m_best == 1;
        const int state = DisplayStateOf(side.m_attribute, best);
        const int base = offer ? (rate ? Entry::OfferRate : Entry::OfferQuantity)
                               : (rate ? Entry::BidRate : Entry::BidQuantity);
        if (m_withheld) {
            Fill(r, Bg(Entry::StateBG(base, 0)));
            return;
        }
        int pair = Entry::StateFG(base, state);
        if (rate) {
            if (m_ctx.fullView && !side.m_backup.empty()) {
                Fill(r, Bg(Entry::BackupFrame));
                r = Shrink(r);
            }
            if (state == DS_STATE2 && m_ctx.fullView && side.m_whenCenter != 0) {
                Fill(r, Bg(WhenCenterFrameEntry(side.m_whenCenter)));
                r = Shrink(r);
            }
            const bool own = m_ctx.enableMyPrice && !m_ctx.fullView && side.m_ownLevel == 1 &&
                             (state == DS_NORMAL || state == DS_TRADING);
            if (own)
                pair = Entry::MyPriceFG;
        }
        const std::string& shown = rate ? side.m_rate : side.m_quantity;
        const int cadence = DisplayStateCadence(state, m_ctx.tradeTimer && side.m_fastFlash == 1);
        const std::string text = DisplayStateText(state, shown);
        if (text == shown)
            Number(r, pair, text, offer ? Align::Left : Align::Right, cadence, m_metaPrices);
        else
            Text(r, pair, text, offer ? Align::Left : Align::Right, cadence, m_metaPrices);
    }

    int WhenCenterFrameEntry(int value) const
    {
        if (!m_ctx.whenCenterColors)
            return Entry::WhenCenterFramePlain;
        // Only centres 0..9 have a frame colour; any other value takes the
        // plain frame rather than an entry outside the frames.
        const int centre = value / 100;
        if (value < 0 || centre > 9)
            return Entry::WhenCenterFramePlain;
        return Entry::WhenCenterFrame(centre);
    }

    static Rect Shrink(Rect r)
    {
        r.left += 1;
        r.top += 1;
        r.right = std::max(r.left, r.right - 1);
        r.bottom = std::max(r.top, r.bottom - 1);
        return r;
    }

    void StackArea(const Rect& area, int side, int levels, bool aggressors)
    {
        const bool offer = side == 1;
        const StackSource& source = aggressors ? (offer ? kTradedOffers : kTradedBids) : (offer ? kOfferStack : kBidStack);
        const bool customerOnly = aggressors ? m_format.aggrCustomerOnly != 0 : m_format.customerOnly != 0;
        const int width = area.Width();
        for (int slot = 0; slot < levels; ++slot) {
            const Rect r{area.left + slot * width / levels, area.top, area.left + (slot + 1) * width / levels,
                         area.bottom};
            // Level 0 stands next to the rate: rightmost on the bid side.
            const int level = offer ? slot : levels - 1 - slot;
            StackLevel(r, source, level, offer, customerOnly, aggressors);
        }
    }

    void StackLevel(const Rect& r, const StackSource& source, int level, bool offer, bool customerOnly,
                    bool aggressors)
    {
        const std::string customer = (m_line.*source.customer)(level);
        if (customer.empty()) {
            Fill(r, Bg(Entry::EmptyStackLevel));
            return;
        }
        int customerPair = Entry::CenterFG(CentreColourIndex(customer, (m_line.*source.centre)(level), m_ctx.customers));
        int quantityPair = Entry::StackQuantityFG;
        int cadence = 0;
        if (aggressors) {
            if (!m_format.aggrCenterColor)
                customerPair = Entry::AggrCustomerFG;
            quantityPair = Entry::AggrQuantityFG;
            if (m_format.flashAggr) {
                const LineSide& opposite = offer ? m_line.m_bid : m_line.m_offer;
                cadence = m_ctx.tradeTimer && opposite.m_fastFlash == 1 ? 1 : 3;
            }
        }
        const Align align = offer ? Align::Left : Align::Right;
        const int parts = m_format.stackCustSize + m_format.stackQuanSize;
        if (customerOnly || parts <= 0) {
            Text(r, customerPair, customer, align, cadence);
            return;
        }
        const int width = r.Width();
        const std::string quantity = (m_line.*source.quantity)(level);
        if (offer) {
            const int split = r.left + width * m_format.stackCustSize / parts;
            Text(Rect{r.left, r.top, split, r.bottom}, customerPair, customer, align, cadence);
            Number(Rect{split, r.top, r.right, r.bottom}, quantityPair, quantity, align, cadence);
        } else {
            const int split = r.left + width * m_format.stackQuanSize / parts;
            Number(Rect{r.left, r.top, split, r.bottom}, quantityPair, quantity, align, cadence);
            Text(Rect{split, r.top, r.right, r.bottom}, customerPair, customer, align, cadence);
        }
    }

    void SummaryCell(const Rect& r, int side)
    {
        Fill(r, Bg(Entry::StateBG(Entry::BidRate, DS_NORMAL)));
        const int level = Side(side == 1).m_ownLevel;
        if (level < 1 || level > 5 || m_withheld)
            return;
        const OwnLevelStrip strip = OwnLevelStripFor(m_row.Height());
        PaintOp op;
        op.type = PaintOp::OwnLevel;
        op.rect = r;
        op.level = level;
        op.strip = strip.size;
        op.highContrast = m_ctx.enableMeta2;
        const int left = r.left + (r.Width() - strip.pictureWidth) / 2;
        const int top = r.top + (r.Height() - strip.pictureHeight) / 2;
        op.target = Rect{left, top, left + strip.pictureWidth, top + strip.pictureHeight};
        m_ops.push_back(std::move(op));
    }

    void TradeHistoryCell(const Rect& r, int kind)
    {
        const int offset = m_line.m_lastTradeType == 1 ? 0 : Entry::THOfferTrade;
        std::string text;
        int pair = Entry::THVolumeFG;
        Align align = Align::Center;
        switch (kind) {
        case COL_TH_VOLUME:
            text = VolumeText(m_line.m_dailyVolume, m_format.volumePrecision);
            align = Align::Right;
            break;
        case COL_TH_NUMBER:
            text = m_line.m_lastTradeNumber;
            pair = Entry::THNumberFG + offset;
            align = Align::Right;
            break;
        case COL_TH_DASH:
            if (!m_line.m_lastTradeNumber.empty())
                text = "-";
            pair = Entry::THNumberFG + offset;
            break;
        case COL_TH_RATE:
            text = m_line.m_lastTrade;
            pair = Entry::THRateFG + offset;
            break;
        case COL_TH_AT:
            if (!m_line.m_lastTradeTime.empty())
                text = "@";
            pair = Entry::THTimeFG + offset;
            break;
        case COL_TH_TIME:
            text = m_line.m_lastTradeTime;
            pair = Entry::THTimeFG + offset;
            break;
        default: break;
        }
        if (m_withheld || text.empty()) {
            Fill(r, Bg(Entry::THVolumeBG));
            return;
        }
        const bool number = kind == COL_TH_VOLUME || kind == COL_TH_NUMBER || kind == COL_TH_RATE;
        if (number)
            Number(r, pair, std::move(text), align);
        else
            Text(r, pair, std::move(text), align);
    }

    static std::string RoleText(char role)
    {
        if (role == 'M')
            return "M";
        if (role == 'S')
            return "S";
        return {};
    }

    void SpreadCell(const Rect& r)
    {
        const int middle = r.left + r.Width() / 2;
        const Rect body{r.left, r.top, r.right, std::max(r.top, r.bottom - 1)};
        Text(Rect{body.left, body.top, middle, body.bottom}, Entry::SpreadBidFG, RoleText(m_line.m_bid.m_spreadRole),
             Align::Center);
        Text(Rect{middle, body.top, body.right, body.bottom}, Entry::SpreadOfferFG,
             RoleText(m_line.m_offer.m_spreadRole), Align::Center);
        Line(Rect{r.left, r.bottom - 1, r.right, r.bottom}, Bg(Entry::RowBG));
    }

    // ---- trade monitor lines
    bool OfferSide() const { return IsOfferSideTradeLine(m_line); }
    const LineSide& TradeSide() const { return Side(OfferSide()); }
    int TradeSidePair() const { return OfferSide() ? Entry::TMOfferFG : Entry::TMBidFG; }

    void TradeMonitorStack(const Rect& cell, bool buyers)
    {
        const bool offerSide = OfferSide();
        const StackSource& source = buyers ? (offerSide ? kTradedOffers : kBidStack)
                                           : (offerSide ? kOfferStack : kTradedBids);
        Fill(cell, Bg(Entry::TMEmptyStackLevel));
        const int levels = std::clamp(m_format.tmStackSize, 1, 5);
        const int slot = cell.Width() / levels;
        const int levelWidth = slot - kTradeMonitorGap;
        if (levelWidth <= 0)
            return;
        for (int i = 0; i < levels; ++i) {
            // Buyers run from the deepest level on the left to level 0 next
            // to the header; sellers from level 0 next to the header.
            const int level = buyers ? levels - 1 - i : i;
            const Rect r{cell.left + i * slot, cell.top, cell.left + i * slot + levelWidth, cell.bottom};
            const std::string customer = (m_line.*source.customer)(level);
            if (customer.empty())
                continue;
            const int centrePair =
                Entry::CenterFG(CentreColourIndex(customer, (m_line.*source.centre)(level), m_ctx.customers));
            if (m_format.tmCustomerOnly) {
                Text(r, centrePair, customer, Align::Center);
                continue;
            }
            const int middle = r.left + r.Width() / 2;
            const Rect leftHalf{r.left, r.top, middle, r.bottom};
            const Rect rightHalf{middle, r.top, r.right, r.bottom};
            const std::string quantity = (m_line.*source.quantity)(level);
            if (buyers) {
                Number(leftHalf, Entry::TMVolumeFG, quantity, Align::Center);
                Text(rightHalf, centrePair, customer, Align::Center);
            } else {
                Text(leftHalf, centrePair, customer, Align::Center);
                Number(rightHalf, Entry::TMVolumeFG, quantity, Align::Center);
            }
        }
    }

    void TradeMonitorCentre(const Rect& r)
    {
        const bool offerSide = OfferSide();
        const std::string customer = offerSide ? m_line.GetTradedOfferCustomer(0) : m_line.GetTradedBidCustomer(0);
        const std::string centre = offerSide ? m_line.GetTradedOfferCenter(0) : m_line.GetTradedBidCenter(0);
        Text(r, Entry::CenterFG(CentreColourIndex(customer, centre, m_ctx.customers)), centre, Align::Center);
    }

    const LineObject& m_line;
    const CPageFormat& m_format;
    const CColumnWidths& m_widths;
    int m_pageNominal;
    const CColorScheme& m_scheme;
    const RowContext& m_ctx;
    Rect m_row;
    bool m_withheld = false;
    bool m_metaPrices = false;
    std::vector<PaintOp> m_ops;
};

} // namespace

OwnLevelStrip OwnLevelStripFor(int rowHeight)
{
    if (rowHeight < 20)
        return {0, 12, 12};
    if (rowHeight < 30)
        return {1, 16, 18};
    return {2, 24, 26};
}

std::string FitNumberText(const std::string& text, int width, const CFontMeasure& font)
{
    if (text.empty() || font.TextWidth(text) <= width)
        return text;
    const int hash = std::max(1, font.TextWidth("#"));
    const int count = std::max(0, width / hash);
    std::string hashes(static_cast<std::size_t>(count), '#');
    // A proportional font may measure a run differently from its parts.
    while (!hashes.empty() && font.TextWidth(hashes) > width)
        hashes.pop_back();
    return hashes;
}

bool BlinkHidden(int cadence, int flashCount)
{
    if (cadence <= 0)
        return false;
    return (flashCount / cadence) % 2 != 0;
}

std::vector<PaintOp> BuildRow(const LineObject& line, const RowGeometry& geometry, const CColorScheme& scheme,
                              const RowContext& context, const Rect& row)
{
    if (geometry.format == nullptr || geometry.widths == nullptr)
        return BuildMissingRow(row);
    return RowBuilder(line, geometry, scheme, context, row).Build();
}

std::vector<PaintOp> BuildMissingRow(const Rect& row)
{
    PaintOp op;
    op.type = PaintOp::Fill;
    op.rect = row;
    op.bg = kMissingLineColor;
    return {op};
}

const CColorScheme& SchemeForLine(const LineObject& line, const CColorSchemes& schemes, int colorStyle)
{
    if (line.m_lineFlags & LineFlag::NoTrading)
        return schemes.NoTradingScheme();
    return schemes.ForStyle(colorStyle);
}

std::string VolumeText(const std::string& dailyVolume, int precision)
{
    const std::size_t n = dailyVolume.size();
    const bool twoDecimals = n >= 3 && dailyVolume[n - 3] == '.';
    if (!twoDecimals)
        return dailyVolume;
    switch (precision) {
    case 1: return dailyVolume.substr(0, n - 1);
    case 2: return dailyVolume.substr(0, n - 3);
    default: return dailyVolume;
    }
}

bool IsOfferSideTradeLine(const LineObject& line)
{
    if (!line.m_offer.m_tradeNumber.empty())
        return true;
    return !line.m_offer.m_rate.empty();
}

std::string TradeMonitorStatus(int state, const std::string& lastTradeTime)
{
    switch (state) {
    case DS_TRADING: return "-- TRADING --";
    case DS_ERROR: return "-- ERROR --";
    case DS_LINE_FULL: return "-- LINEFULL --";
    case DS_NO_LINE: return "-- NOLINE --";
    // A line without a trade (a monitor line the server has not filled
    // since it started) says nothing rather than a lone "@".
    default: return lastTradeTime.empty() ? std::string() : "@ " + lastTradeTime;
    }
}

} // namespace mavo
