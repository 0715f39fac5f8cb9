#include "pages/RowCells.h"

#include "pages/DisplayState.h"
#include "PagesTestSupport.h"

#include <algorithm>

using namespace mavo;
using pagestest::BackgroundAt;
using pagestest::TextOp;
using pagestest::Texts;

namespace {

class RowCells : public pagestest::RowTest {
protected:
    static LineObject FieldLine()
    {
        LineObject line(7, 3);
        line.m_kind = 'F';
        line.m_issueName = "UST 10Y";
        line.m_bid.m_attribute = 2;
        line.m_bid.m_rate = "101.25";
        line.m_bid.m_quantity = "10";
        line.m_offer.m_attribute = 2;
        line.m_offer.m_rate = "101.50";
        line.m_offer.m_quantity = "25";
        return line;
    }

    // The row's own-level picture, or null.
    static const PaintOp* OwnLevelOp(const std::vector<PaintOp>& ops)
    {
        const auto op = std::find_if(ops.begin(), ops.end(), [](const PaintOp& o) { return o.type == PaintOp::OwnLevel; });
        return op == ops.end() ? nullptr : &*op;
    }
    bool NoOwnLevel(const LineObject& line) { return OwnLevelOp(Row(line)) == nullptr; }
};

// Cell x positions of the default format (8-pixel characters).
namespace Out {  // outside full view
constexpr int LineNumber = 10, Issue = 50, BidSummary = 160, BidRate = 200, Slash = 234, OfferRate = 250,
              OfferSummary = 305, BidQuantity = 320, Cross = 370, OfferQuantity = 380, Width = 430;
}
namespace Full {  // full view, one stack level each side
constexpr int BidStack = 180, BidRate = 250, OfferRate = 300, OfferStack = 380, Width = 542;
}

} // namespace

TEST_F(RowCells, DefaultRowShowsEachCellInItsSchemeColours)
{
    const auto ops = Row(FieldLine());
    for (const auto& [x, entry] : {std::pair{Out::LineNumber, int(Entry::LineNumberBG)}, {Out::Issue, Entry::IssueBG},
                                   {Out::BidSummary, 83}, {Out::Slash, Entry::SlashBG}})
        EXPECT_EQ(BackgroundAt(ops, x, 5), Scheme().Get(entry)) << x;
    const PaintOp& number = TextOp(ops, "3");
    EXPECT_EQ(std::tuple(number.align, number.fg, number.rect),
              std::tuple(Align::Center, 0xFFFFFFu, Rect{0, 0, 38, 16}));
    const PaintOp& bid = TextOp(ops, "101.25");
    EXPECT_EQ(std::tuple(bid.align, bid.fg, bid.rect),
              std::tuple(Align::Right, Scheme().Get(Entry::StateFG(Entry::BidRate, 1)), Rect{166, 0, 230, 16}));
    EXPECT_EQ(TextOp(ops, "101.50").align, Align::Left);
    EXPECT_EQ(TextOp(ops, "25").rect, (Rect{374, 0, 430, 16}));
    EXPECT_TRUE(Texts(ops, true, {"X", "/"}));
    EXPECT_EQ(TextOp(ops, "UST 10Y").align, Align::Left);
}

TEST_F(RowCells, DisplayStatesChooseTextsAndColours)
{
    LineObject line = FieldLine();
    line.m_bid.m_attribute = 3;   // state 2
    line.m_offer.m_attribute = 4; // state 3
    auto ops = Row(line);
    EXPECT_EQ(std::tuple(BackgroundAt(ops, Out::BidRate, 5), BackgroundAt(ops, Out::BidQuantity, 5),
                         BackgroundAt(ops, Out::OfferRate, 5)),
              std::tuple(0xFFFFFFu, 0xFFFFFFu, 0x808080u));
    EXPECT_EQ(TextOp(ops, "101.25").fg, 0x000000u);

    line.m_bid.m_attribute = 6;
    line.m_offer.m_attribute = 8;
    ops = Row(line);
    EXPECT_TRUE(Texts(ops, false, {"101.25"}));
    EXPECT_EQ(TextOp(ops, "Error").cadence, 3);
    EXPECT_TRUE(Texts(ops, true, {"<<LF>>"}));

    line.m_offer.m_attribute = 7;
    line.m_bid.m_attribute = 0;
    ops = Row(line);
    EXPECT_TRUE(Texts(ops, true, {"<<NL>>"}));
    EXPECT_TRUE(Texts(ops, false, {"101.25", "10"}));  // state 0 shows nothing
}

TEST_F(RowCells, BestPriceNeedsTheOptionAndFullView)
{
    LineObject line = FieldLine();
    line.m_bid.m_best = 1;
    m_ctx.bestPriceIndicator = true;
    EXPECT_EQ(BackgroundAt(Row(line), Out::BidRate, 5), 0x000000u);  // not in full view
    m_ctx.fullView = true;
    const auto ops = Row(line);
    EXPECT_EQ(std::pair(BackgroundAt(ops, Full::BidRate, 5), BackgroundAt(ops, Full::OfferRate, 5)),
              std::pair(Scheme().Get(Entry::StateBG(Entry::BidRate, DS_BEST)), 0x000000u));
    m_ctx.bestPriceIndicator = false;
    EXPECT_EQ(BackgroundAt(Row(line), Full::BidRate, 5), 0x000000u);
}

TEST_F(RowCells, OwnPriceColoursOnlyOutsideFullViewAtLevelOne)
{
    LineObject line = FieldLine();
    line.m_bid.m_ownLevel = 1;
    m_ctx.enableMyPrice = true;
    const auto ops = Row(line);
    EXPECT_EQ(BackgroundAt(ops, Out::BidRate, 5), Scheme().Get(Entry::MyPriceBG));
    EXPECT_EQ(TextOp(ops, "101.25").fg, Scheme().Get(Entry::MyPriceFG));
    EXPECT_EQ(BackgroundAt(ops, Out::BidQuantity, 5), 0x000000u);  // the rate cell only
    EXPECT_EQ(BackgroundAt(ops, Out::OfferRate, 5), 0x000000u);

    // Trading (attribute 5) is an own price, state 2 (attribute 3) is not;
    // neither is level 2, the switch off or the full view.
    const ColorRef mine = Scheme().Get(Entry::MyPriceBG);
    const std::tuple<int, int, bool, bool, ColorRef> cases[] = {
        {3, 1, true, false, 0xFFFFFFu}, {5, 1, true, false, mine},     {5, 2, true, false, 0x000000u},
        {5, 1, false, false, 0x000000u}, {5, 1, true, true, 0x000000u}};
    for (const auto& [attribute, level, enabled, fullView, colour] : cases) {
        line.m_bid.m_attribute = attribute;
        line.m_bid.m_ownLevel = level;
        m_ctx.enableMyPrice = enabled;
        m_ctx.fullView = fullView;
        EXPECT_EQ(BackgroundAt(Row(line), fullView ? Full::BidRate : Out::BidRate, 5), colour)
            << attribute << " " << level << " " << enabled << " " << fullView;
    }
}

TEST_F(RowCells, BackupAndWhenCentreFramesInFullView)
{
    LineObject line = FieldLine();
    line.m_bid.m_backup = "101.00";
    line.m_bid.m_attribute = 3;
    line.m_bid.m_whenCenter = 350;
    m_ctx.fullView = true;
    const auto ops = Row(line);
    // Bid rate cell 222..285: backup frame on its edge, the hit-when-centre
    // frame one pixel in, the price inside both.
    EXPECT_EQ(BackgroundAt(ops, 222, 0), Scheme().Get(Entry::BackupFrame));
    EXPECT_EQ(BackgroundAt(ops, 223, 1), Scheme().Get(Entry::WhenCenterFramePlain));
    EXPECT_EQ(BackgroundAt(ops, 224, 2), 0xFFFFFFu);
    EXPECT_EQ(TextOp(ops, "101.25").rect, (Rect{224, 2, 284, 14}));

    m_ctx.whenCenterColors = true;
    EXPECT_EQ(BackgroundAt(Row(line), 223, 1), Scheme().Get(2 * (18 + 3)));

    // A value whose centre has no frame colour takes the plain frame.
    for (int value : {1050, -200, 2000000000}) {
        line.m_bid.m_whenCenter = value;
        EXPECT_EQ(BackgroundAt(Row(line), 223, 1), Scheme().Get(Entry::WhenCenterFramePlain)) << value;
    }

    // Neither frame outside full view.
    m_ctx.fullView = false;
    EXPECT_EQ(TextOp(Row(line), "101.25").rect, (Rect{166, 0, 230, 16}));
}

TEST_F(RowCells, WithheldPricesAreBlankOutsideFullView)
{
    LineObject line = FieldLine();
    line.m_lineFlags = LineFlag::Withheld;
    line.m_bid.m_indicative = "101.1";
    line.m_lastTrade = "101.3";
    line.m_bid.m_ownLevel = 2;
    m_format.showIndicative = 1;
    m_format.showTradeHistory = 1;
    auto ops = Row(line);
    EXPECT_TRUE(Texts(ops, false, {"101.25", "10", "25", "101.1", "101.3"}));
    EXPECT_TRUE(Texts(ops, true, {"UST 10Y"}));  // the issue flags do not withhold it
    EXPECT_TRUE(NoOwnLevel(line));

    line.m_lineFlags = 0;
    line.m_issueFlags = LineFlag::Withheld;
    EXPECT_TRUE(Texts(Row(line), false, {"UST 10Y", "101.25"}));

    m_ctx.fullView = true;
    ops = Row(line);
    // In full view the flag asks for meta rendering instead.
    EXPECT_TRUE(TextOp(ops, "101.25").small);
    EXPECT_EQ(TextOp(ops, "101.25").fg, kMetaTextColor);
    EXPECT_TRUE(TextOp(ops, "UST 10Y").small);
}

TEST_F(RowCells, MetaRenderingOfPricesIssueAndText)
{
    LineObject line = FieldLine();
    line.m_lineFlags = 0x10000;
    EXPECT_FALSE(TextOp(Row(line), "101.25").small);  // line flags count in full view only
    m_ctx.fullView = true;
    auto ops = Row(line);
    EXPECT_TRUE(TextOp(ops, "101.25").small);
    EXPECT_TRUE(TextOp(ops, "25").small);
    EXPECT_FALSE(TextOp(ops, "UST 10Y").small);
    m_ctx.fullView = false;
    line.m_lineFlags = 0;
    line.m_issueFlags = 0x20000;
    ops = Row(line);
    EXPECT_TRUE(TextOp(ops, "101.25").small);  // issue flags count everywhere for prices
    EXPECT_FALSE(TextOp(ops, "UST 10Y").small);
}

TEST_F(RowCells, StackSizeZeroDrawsNoStackCells)
{
    m_format.bidStackSize = 0;
    m_format.offerStackSize = 0;
    LineObject line = FieldLine();
    line.m_bid.m_stack[0] = {"123", "250", "5"};
    line.m_bid.m_ownLevel = 1;
    EXPECT_EQ(TextOp(Row(line), "101.25").rect.left, 158);  // right after the issue
    EXPECT_TRUE(NoOwnLevel(line));
    m_ctx.fullView = true;
    const auto ops = Row(line);
    EXPECT_TRUE(Texts(ops, false, {"123"}));
    EXPECT_EQ(TextOp(ops, "101.25").rect.left, 158);
}

TEST_F(RowCells, StackLevelsRunOutwardsFromTheRates)
{
    m_format.bidStackSize = 3;
    m_format.offerStackSize = 2;
    m_format.customerOnly = 1;  // 32-pixel levels
    m_ctx.fullView = true;
    LineObject line = FieldLine();
    line.m_bid.m_stack[0] = {"11", "250", "5"};
    line.m_bid.m_stack[1] = {"12", "750", "6"};
    line.m_offer.m_stack[0] = {"21", "1050", "7"};
    line.m_offer.m_stack[1] = {"22", "", "8"};
    const auto ops = Row(line);
    // Bid stack 158..253: level 2 (empty), level 1, level 0 next to the rate.
    EXPECT_EQ(std::tuple(TextOp(ops, "11").rect, TextOp(ops, "11").align, TextOp(ops, "11").bg),
              std::tuple(Rect{222, 0, 254, 16}, Align::Right, Scheme().Get(61 + 2 * 2)));
    EXPECT_EQ(std::pair(TextOp(ops, "12").rect, TextOp(ops, "12").bg),
              std::pair(Rect{190, 0, 222, 16}, Scheme().Get(61 + 2 * 7)));
    EXPECT_EQ(BackgroundAt(ops, 170, 5), Scheme().Get(Entry::EmptyStackLevel));
    // Offer stack after the offer rate.
    const PaintOp& o0 = TextOp(ops, "21");
    EXPECT_EQ(std::pair(o0.align, o0.rect.left), std::pair(Align::Left, TextOp(ops, "101.50").rect.right));
    EXPECT_EQ(TextOp(ops, "22").rect.left, o0.rect.right);
    EXPECT_EQ(o0.fg, Scheme().Get(60 + 2 * 1));  // centre 10 is none: index 1
    EXPECT_TRUE(Texts(ops, false, {"5"}));       // customers only
}

TEST_F(RowCells, StackLevelSplitsIntoQuantityAndCustomer)
{
    m_ctx.fullView = true;
    LineObject line = FieldLine();
    line.m_bid.m_stack[0] = {"123", "250", "50"};
    line.m_offer.m_stack[0] = {"456", "350", "70"};
    m_customers.list = {{456, 0}};
    const auto ops = Row(line);
    // Bid level 158..221: quantity on the left half (4 of 8 characters).
    EXPECT_EQ(std::pair(TextOp(ops, "50").rect, TextOp(ops, "50").bg),
              std::pair(Rect{158, 0, 190, 16}, Scheme().Get(Entry::StackQuantityBG)));
    EXPECT_EQ(std::pair(TextOp(ops, "123").rect, TextOp(ops, "123").bg),
              std::pair(Rect{190, 0, 222, 16}, Scheme().Get(61 + 4)));
    // Offer level: customer first, then quantity.
    const PaintOp& c = TextOp(ops, "456");
    const PaintOp& q = TextOp(ops, "70");
    EXPECT_EQ(c.rect.right, q.rect.left);
    EXPECT_LT(c.rect.left, q.rect.left);
    EXPECT_EQ(c.bg, Scheme().Get(Entry::CenterBG0));  // my customer
    m_customers.disableCustomer = true;
    EXPECT_EQ(TextOp(Row(line), "456").bg, Scheme().Get(61 + 6));
}

TEST_F(RowCells, AggressorsUseTheirOwnColoursAndBlink)
{
    m_ctx.fullView = true;
    m_format.bidStackSize = 0;
    m_format.bidAggrSize = 1;
    m_format.aggrCustomerOnly = 0;
    LineObject line = FieldLine();
    line.m_bid.m_traded[0] = {"77", "250", "9"};
    const auto ops = Row(line);
    EXPECT_EQ(std::tuple(TextOp(ops, "77").fg, TextOp(ops, "9").fg, TextOp(ops, "77").cadence),
              std::tuple(Scheme().Get(Entry::AggrCustomerFG), Scheme().Get(Entry::AggrQuantityFG), 3));
    line.m_offer.m_fastFlash = 1;  // the opposite side's flag
    m_ctx.tradeTimer = true;
    EXPECT_EQ(TextOp(Row(line), "77").cadence, 1);
    line.m_offer.m_fastFlash = 0;
    line.m_bid.m_fastFlash = 1;
    EXPECT_EQ(TextOp(Row(line), "77").cadence, 3);

    m_format.aggrCenterColor = 1;
    m_format.flashAggr = 0;
    const PaintOp centred = TextOp(Row(line), "77");
    EXPECT_EQ(std::pair(centred.fg, centred.cadence), std::pair(Scheme().Get(60 + 4), 0));
}

TEST_F(RowCells, SummaryCellShowsTheOwnLevelPicture)
{
    LineObject line = FieldLine();
    line.m_offer.m_ownLevel = 4;
    const auto ops = Row(line);
    const PaintOp* picture = OwnLevelOp(ops);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(std::tuple(picture->level, picture->rect, picture->strip, picture->highContrast),
              std::tuple(4, Rect{302, 0, 310, 16}, 0, false));
    // Centred in the cell (wider than it: clipped by the painter).
    EXPECT_EQ(picture->target.left + picture->target.right, 302 + 310);
    EXPECT_EQ(BackgroundAt(ops, Out::OfferSummary, 5), Scheme().Get(83));
    m_ctx.enableMeta2 = true;
    line.m_offer.m_ownLevel = 6;  // no such level
    EXPECT_TRUE(NoOwnLevel(line));

    for (const auto& [height, size] : {std::pair{19, 0}, {20, 1}, {29, 1}, {30, 2}})
        EXPECT_EQ(OwnLevelStripFor(height).size, size) << height;
}

TEST_F(RowCells, TradeHistoryColoursFollowTheLastTrade)
{
    m_format.showTradeHistory = 1;
    m_ctx.fullView = true;
    LineObject line = FieldLine();
    line.m_lastTrade = "101.375";
    line.m_lastTradeTime = "10:42";
    line.m_lastTradeNumber = "4711";
    line.m_lastTradeType = 1;
    line.m_dailyVolume = "1234.56";
    auto ops = Row(line);
    for (const auto& [text, entry] : {std::pair{"101.375", 16}, {"10:42", 18}, {"4711", 14}})
        EXPECT_EQ(TextOp(ops, text).fg, Scheme().Get(entry)) << text;
    EXPECT_EQ(TextOp(ops, "4711").align, Align::Right);
    EXPECT_TRUE(Texts(ops, true, {"@", "-"}));
    EXPECT_EQ(TextOp(ops, "1234.56").fg, Scheme().Get(Entry::THVolumeFG));
    line.m_lastTradeType = 2;
    EXPECT_EQ(TextOp(Row(line), "101.375").fg, Scheme().Get(22));

    m_format.volumePrecision = 2;
    EXPECT_TRUE(Texts(Row(line), true, {"1234"}));
    m_format.volumePrecision = 1;
    EXPECT_TRUE(Texts(Row(line), true, {"1234.5"}));

    // Nothing to show: filled with entry 27.
    line.m_lastTradeNumber.clear();
    line.m_lastTradeTime.clear();
    ops = Row(line);
    EXPECT_TRUE(Texts(ops, false, {"-", "@"}));
    EXPECT_EQ(BackgroundAt(ops, TextOp(ops, "101.375").rect.right + 2, 5), Scheme().Get(Entry::THVolumeBG));
}

TEST(VolumeText, PrecisionCutsDecimalsSafely)
{
    struct Case {
        const char* volume;
        int precision;
        const char* shown;
    };
    const Case cases[] = {
        {"1234.56", 0, "1234.56"}, {"1234.56", 1, "1234.5"}, {"1234.56", 2, "1234"},
        {".56", 2, ""},            {"56", 2, "56"},  // no decimals to cut
        {"", 2, ""},               {"1234.5", 1, "1234.5"}, {"1234.56", 7, "1234.56"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VolumeText(c.volume, c.precision), c.shown) << c.volume << " " << c.precision;
}

TEST_F(RowCells, SpreadCellShowsRolesAndABottomLine)
{
    m_format.showSpreads = 1;
    m_ctx.fullView = true;
    LineObject line = FieldLine();
    line.m_bid.m_spreadRole = 'M';
    line.m_offer.m_spreadRole = 'S';
    const auto ops = Row(line);
    const PaintOp& m = TextOp(ops, "M");
    const PaintOp& s = TextOp(ops, "S");
    EXPECT_EQ(std::pair(m.bg, s.bg), std::pair(Scheme().Get(Entry::SpreadBidBG), Scheme().Get(Entry::SpreadOfferBG)));
    EXPECT_EQ(std::pair(m.rect.right, m.rect.Width()), std::pair(s.rect.left, 16));
    EXPECT_EQ(BackgroundAt(ops, m.rect.left, 15), Scheme().Get(Entry::RowBG));
    line.m_bid.m_spreadRole = 'X';
    const auto unknown = Row(line);
    EXPECT_TRUE(Texts(unknown, false, {"M"}));
    EXPECT_TRUE(Texts(unknown, true, {"S"}));
}

TEST_F(RowCells, UnderlinesAndIssueFlags)
{
    LineObject line = FieldLine();
    line.m_lineFlags = LineFlag::Underline;
    auto ops = Row(line);
    EXPECT_EQ(BackgroundAt(ops, Out::Issue, 15), Scheme().Get(Entry::Underline));
    EXPECT_EQ(BackgroundAt(ops, Out::LineNumber, 15), Scheme().Get(Entry::LineNumberBG));
    EXPECT_EQ(TextOp(ops, "101.25").rect.bottom, 15);
    m_format.showUnderlines = 0;
    EXPECT_EQ(BackgroundAt(Row(line), Out::Issue, 15), Scheme().Get(Entry::IssueBG));

    line.m_lineFlags = 0;
    line.m_issueFlags = 0x10 | 0x20 | 0x40 | 0x4000 | 0x1000;
    ops = Row(line);
    const PaintOp& issue = TextOp(ops, "UST 10Y");
    EXPECT_EQ(issue.rect.bottom, 15);
    EXPECT_EQ(BackgroundAt(ops, Out::Issue, 15), Scheme().Get(Entry::Underline));
    EXPECT_EQ(std::tuple(issue.fg, issue.bg, issue.cadence),  // the colours swapped
              std::tuple(Scheme().Get(Entry::Flag4000FG + 1), Scheme().Get(Entry::Flag4000FG), 3));
    line.m_issueFlags = 0x2000 | 0x4000;
    EXPECT_EQ(TextOp(Row(line), "UST 10Y").fg, Scheme().Get(Entry::Flag2000FG));
    line.m_issueFlags = 0x1000;
    EXPECT_EQ(TextOp(Row(line), "UST 10Y").bg, Scheme().Get(Entry::Flag1000FG + 1));
}

TEST_F(RowCells, UnlistedRowsTurnBlackBackgroundsGrey)
{
    m_ctx.unlisted = true;
    LineObject line = FieldLine();
    line.m_bid.m_attribute = 3;
    const auto ops = Row(line, Out::Width + 20);
    EXPECT_EQ(std::pair(BackgroundAt(ops, Out::LineNumber, 5), TextOp(ops, "3").fg),
              std::pair(Scheme().Get(Entry::UnlistedNumberBG), Scheme().Get(Entry::UnlistedNumberFG)));
    for (int x : {Out::Issue, Out::OfferRate, Out::Width + 19})
        EXPECT_EQ(BackgroundAt(ops, x, 5), kUnlistedFill) << x;
    EXPECT_EQ(BackgroundAt(ops, Out::BidRate, 5), 0xFFFFFFu);  // not black: kept
}

TEST_F(RowCells, NarrowRowShrinksTheCellsAndFillsTheRest)
{
    const LineObject line = FieldLine();
    EXPECT_EQ(TextOp(Row(line, Out::Width / 2), "101.25").rect, (Rect{83, 0, 115, 16}));
    auto ops = Row(line, Out::Width + 50);
    EXPECT_EQ(TextOp(ops, "25").rect.right, Out::Width + 50);  // wider: the cells grow to the edge
    EXPECT_EQ(BackgroundAt(ops, Out::Width + 60, 5), 0xFFFFFFFFu);  // nothing beyond the row

    // On a page made wider by its trade monitor lines a field row ends
    // early; the rest is filled with the row background.
    m_format.tmHasTradeLines = 1;
    ops = Row(line);
    EXPECT_EQ(TextOp(ops, "25").rect.right, Out::Width);
    EXPECT_EQ(std::tuple(ops.back().type, ops.back().bg, ops.back().rect.left),
              std::tuple(PaintOp::Fill, Scheme().Get(Entry::RowBG), Out::Width));
    EXPECT_GT(ops.back().rect.right, Out::Width + 200);
}

TEST_F(RowCells, TextLinesTakeColoursFromTheLineFlags)
{
    LineObject line(7, 12);
    line.m_kind = 'T';
    line.m_text = "MARKETS CLOSE EARLY";
    const PaintOp plain = TextOp(Row(line), line.m_text);
    EXPECT_EQ(std::tuple(plain.fg, plain.rect.left, plain.rect.right),  // to the end of the row
              std::tuple(Scheme().Get(Entry::TextLineFG), 38, Out::Width));
    line.m_lineFlags = 0x1000 | 0x20 | 0x40;
    const PaintOp flagged = TextOp(Row(line), line.m_text);
    EXPECT_EQ(std::pair(flagged.fg, flagged.cadence), std::pair(Scheme().Get(Entry::Flag1000FG + 1), 3));
    line.m_lineFlags = LineFlag::Withheld;
    EXPECT_TRUE(Texts(Row(line), false, {line.m_text}));
    m_ctx.fullView = true;
    EXPECT_TRUE(TextOp(Row(line), line.m_text).small);
}

TEST_F(RowCells, UnknownKindShowsOnlyTheRowBackground)
{
    LineObject line = FieldLine();
    line.m_kind = 'Z';
    line.m_lineFlags = LineFlag::Underline;
    const auto ops = Row(line, 300);
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_EQ(std::tuple(ops[0].type, ops[0].rect, ops[0].bg),
              std::tuple(PaintOp::Fill, Rect{0, 0, 300, 16}, Scheme().Get(Entry::RowBG)));

    const auto missing = BuildMissingRow(Rect{0, 16, 300, 32});
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0].bg, kMissingLineColor);
}

TEST_F(RowCells, NoTradingLinesUseTheFourthScheme)
{
    LineObject line = FieldLine();
    line.m_lineFlags = LineFlag::NoTrading;
    EXPECT_EQ(&SchemeForLine(line, m_schemes, 1), &m_schemes.NoTradingScheme());
    EXPECT_EQ(TextOp(Row(line), "101.25").fg, 0x808080u);
    line.m_lineFlags = 0;
    EXPECT_EQ(&SchemeForLine(line, m_schemes, 1), &m_schemes.ForStyle(1));
}

TEST_F(RowCells, BlinkingTextHidesInItsOffPhase)
{
    LineObject line = FieldLine();
    line.m_bid.m_attribute = 5;  // trading
    for (int count = 0; count < 10; ++count) {
        m_ctx.flashCount = count;
        EXPECT_EQ(TextOp(Row(line), "101.25").hidden, count / 3 % 2 == 1) << count;  // off every other third
    }
    line.m_bid.m_fastFlash = 1;
    m_ctx.tradeTimer = true;
    for (int count : {1, 2}) {  // the fast cadence turns every tick
        m_ctx.flashCount = count;
        const PaintOp price = TextOp(Row(line), "101.25");
        EXPECT_EQ(std::pair(price.cadence, price.hidden), std::pair(1, count == 1));
    }
    // A steady text never hides.
    EXPECT_EQ(TextOp(Row(line), "UST 10Y").cadence, 0);
}
