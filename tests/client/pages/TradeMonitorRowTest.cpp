#include "pages/RowCells.h"

#include "pages/DisplayState.h"

#include "zph/LineObject.h"
#include "PagesTestSupport.h"

#include <gtest/gtest.h>

using namespace mavo;
using pagestest::BackgroundAt;
using pagestest::FindText;

namespace {

class TradeMonitorRow : public ::testing::Test {
protected:
    CPageFormat m_format;
    pagestest::FixedFont m_font{8};
    CColorSchemes m_schemes;
    RowContext m_ctx;
    CColumnWidths m_widths;

    TradeMonitorRow() { m_format.tmHasTradeLines = 1; }

    static LineObject BidTrade()
    {
        LineObject line(9, 1);
        line.m_kind = 'M';
        line.m_issueName = "BUND 24";
        line.m_bid.m_tradeNumber = "881";
        line.m_bid.m_quantity = "15";
        line.m_bid.m_rate = "99.12";
        line.m_bid.m_attribute = 2;
        line.m_bid.m_lastTradeTime = "11:05";
        line.m_bid.m_stack[0] = {"31", "250", "5"};
        line.m_bid.m_stack[1] = {"32", "350", "10"};
        line.m_bid.m_traded[0] = {"41", "450", "15"};
        line.m_offer.m_traded[0] = {"51", "550", "1"};
        return line;
    }

    std::vector<PaintOp> Row(const LineObject& line)
    {
        m_widths = CColumnWidths(m_format, m_font);
        const int nominal = PageNominalWidth(m_format, m_widths, m_ctx.fullView, false);
        RowGeometry g{&m_format, &m_widths, nominal};
        return BuildRow(line, g, m_schemes.ForStyle(0), m_ctx, Rect{0, 0, nominal, m_widths.RowHeight()});
    }
    const CColorScheme& Scheme() const { return m_schemes.ForStyle(0); }
};

} // namespace

TEST_F(TradeMonitorRow, SideComesFromTheOfferTradeNumberThenTheOfferRate)
{
    LineObject line = BidTrade();
    EXPECT_FALSE(IsOfferSideTradeLine(line));
    line.m_offer.m_rate = "99.20";  // no offer trade number, but an offer rate
    EXPECT_TRUE(IsOfferSideTradeLine(line));
    line.m_offer.m_rate.clear();
    line.m_offer.m_tradeNumber = "882";
    EXPECT_TRUE(IsOfferSideTradeLine(line));
}

TEST_F(TradeMonitorRow, BidSideRowShowsItsCellsInOrder)
{
    const auto ops = Row(BidTrade());
    // 38 number, 32 transaction, 120 issue, 56 volume, 56 rate, 120 status,
    // 32 buyers, 144 header, 32 sellers, 39 centre.
    const PaintOp* number = FindText(ops, "881");
    ASSERT_NE(number, nullptr);
    EXPECT_EQ(number->rect, (Rect{38, 0, 70, 16}));
    EXPECT_EQ(number->align, Align::Center);
    EXPECT_EQ(number->bg, Scheme().Get(Entry::TMNumberBG));
    EXPECT_EQ(FindText(ops, "BUND 24")->bg, Scheme().Get(Entry::TMIssueBG));
    const PaintOp* volume = FindText(ops, "15");
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(volume->rect, (Rect{190, 0, 246, 16}));
    EXPECT_EQ(volume->textRect.right, 241);  // five pixels in
    EXPECT_EQ(volume->align, Align::Right);
    const PaintOp* rate = FindText(ops, "99.12");
    EXPECT_EQ(rate->fg, Scheme().Get(Entry::TMBidFG));
    EXPECT_EQ(rate->textRect.right, rate->rect.right - 5);
    const PaintOp* status = FindText(ops, "@ 11:05");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->align, Align::Left);
    EXPECT_EQ(status->bg, Scheme().Get(Entry::TMBidBG));
    const PaintOp* header = FindText(ops, " Buyers / Sellers ");
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->bg, Scheme().Get(Entry::TMHeaderBG));
    // Buyers: the bid stack; sellers: the traded bids; the centre of the
    // traded bid at level 0.
    const PaintOp* buyer = FindText(ops, "31");
    const PaintOp* seller = FindText(ops, "41");
    ASSERT_TRUE(buyer && seller);
    EXPECT_LT(buyer->rect.right, header->rect.left + 1);
    EXPECT_GE(seller->rect.left, header->rect.right);
    EXPECT_EQ(FindText(ops, "32"), nullptr);  // TMStackSize 1: level 0 only
    EXPECT_EQ(FindText(ops, "51"), nullptr);
    const PaintOp* centre = FindText(ops, "450");
    ASSERT_NE(centre, nullptr);
    EXPECT_EQ(centre->bg, Scheme().Get(61 + 2 * 4));
    EXPECT_EQ(centre->rect.left, 38 + 32 + 120 + 56 + 69 + 120 + 32 + 144 + 32);
}

TEST_F(TradeMonitorRow, OfferSideRowSwapsTheStacks)
{
    LineObject line = BidTrade();
    line.m_offer.m_tradeNumber = "990";
    line.m_offer.m_rate = "99.30";
    line.m_offer.m_quantity = "7";
    line.m_offer.m_lastTradeTime = "11:06";
    line.m_offer.m_stack[0] = {"61", "650", "2"};
    const auto ops = Row(line);
    ASSERT_NE(FindText(ops, "990"), nullptr);
    EXPECT_EQ(FindText(ops, "881"), nullptr);
    EXPECT_EQ(FindText(ops, "99.30")->fg, Scheme().Get(Entry::TMOfferFG));
    ASSERT_NE(FindText(ops, "@ 11:06"), nullptr);
    const PaintOp* header = FindText(ops, " Buyers / Sellers ");
    const PaintOp* buyer = FindText(ops, "51");   // traded offers
    const PaintOp* seller = FindText(ops, "61");  // the offer stack
    ASSERT_TRUE(header && buyer && seller);
    EXPECT_LT(buyer->rect.left, header->rect.left);
    EXPECT_GT(seller->rect.left, header->rect.left);
    ASSERT_NE(FindText(ops, "550"), nullptr);  // traded offer centre
}

TEST_F(TradeMonitorRow, StatusTextsByDisplayState)
{
    EXPECT_EQ(TradeMonitorStatus(0, ""), "");  // no trade yet: no lone "@"
    EXPECT_EQ(TradeMonitorStatus(3, "10:15"), "@ 10:15");
    EXPECT_EQ(TradeMonitorStatus(DS_TRADING, ""), "-- TRADING --");

    LineObject line = BidTrade();
    line.m_bid.m_attribute = 5;
    const auto ops = Row(line);
    const PaintOp* trading = FindText(ops, "-- TRADING --");
    ASSERT_NE(trading, nullptr);
    EXPECT_EQ(trading->cadence, 3);
    line.m_bid.m_attribute = 4;  // display state 3
    ASSERT_NE(FindText(Row(line), "@ 11:05"), nullptr);
}

TEST_F(TradeMonitorRow, DeeperStacksSplitIntoLevelsWithGaps)
{
    m_format.tmStackSize = 3;
    m_format.tmCustomerOnly = 0;
    LineObject line = BidTrade();
    const auto ops = Row(line);
    // Buyer stack: 3 x (4 + 4 + 3) x 8 = 264 pixels; slots of 88, levels 86.
    const int left = 38 + 32 + 120 + 56 + 69 + 120;  // the rate: 7 digits, a point and the inset
    const PaintOp* level0 = FindText(ops, "31");
    const PaintOp* level1 = FindText(ops, "32");
    ASSERT_TRUE(level0 && level1);
    // Deepest level on the left: level 0 in the third slot, its customer in
    // the right half, quantity in the left half.
    EXPECT_EQ(level0->rect, (Rect{left + 176 + 43, 0, left + 176 + 86, 16}));
    EXPECT_EQ(level1->rect.left, left + 88 + 43);
    const PaintOp* quantity = FindText(ops, "5");
    ASSERT_NE(quantity, nullptr);
    EXPECT_EQ(quantity->rect, (Rect{left + 176, 0, left + 176 + 43, 16}));
    EXPECT_EQ(quantity->bg, Scheme().Get(Entry::TMVolumeBG));
    // The empty third level and the gaps keep the stack's fill.
    EXPECT_EQ(BackgroundAt(ops, left + 10, 5), Scheme().Get(Entry::TMEmptyStackLevel));
    EXPECT_EQ(BackgroundAt(ops, left + 87, 5), Scheme().Get(Entry::TMEmptyStackLevel));
    // Sellers: level 0 first, customer on the left half.
    const PaintOp* seller = FindText(ops, "41");
    const int sellerLeft = left + 264 + 144;
    EXPECT_EQ(seller->rect, (Rect{sellerLeft, 0, sellerLeft + 43, 16}));
}

TEST_F(TradeMonitorRow, SwitchesDropCells)
{
    m_format.tmShowStack = 0;
    m_format.tmShowVolume = 0;
    m_format.tmShowNumbers = 0;
    const auto ops = Row(BidTrade());
    EXPECT_EQ(FindText(ops, " Buyers / Sellers "), nullptr);
    EXPECT_EQ(FindText(ops, "15"), nullptr);
    EXPECT_EQ(FindText(ops, "1"), nullptr);
    EXPECT_EQ(FindText(ops, "881")->rect.left, 0);
}

TEST_F(TradeMonitorRow, WithheldPricesAreBlankOutsideFullView)
{
    LineObject line = BidTrade();
    line.m_lineFlags = LineFlag::Withheld;
    auto ops = Row(line);
    EXPECT_EQ(FindText(ops, "99.12"), nullptr);
    EXPECT_EQ(FindText(ops, "15"), nullptr);
    ASSERT_NE(FindText(ops, "BUND 24"), nullptr);
    m_ctx.fullView = true;
    ops = Row(line);
    ASSERT_NE(FindText(ops, "99.12"), nullptr);
}
