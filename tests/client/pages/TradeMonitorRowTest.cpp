#include "pages/RowCells.h"

#include "pages/DisplayState.h"

#include "zph/LineObject.h"
#include "PagesTestSupport.h"

#include <gtest/gtest.h>

using namespace mavo;
using pagestest::BackgroundAt;
using pagestest::TextOp;
using pagestest::Texts;

namespace {

class TradeMonitorRow : public pagestest::RowTest {
protected:
    TradeMonitorRow()
    {
        m_format.tmHasTradeLines = 1;
        m_ctx.customers = nullptr;
    }

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
    const PaintOp& number = TextOp(ops, "881");
    EXPECT_EQ(std::tuple(number.rect, number.align, number.bg),
              std::tuple(Rect{38, 0, 70, 16}, Align::Center, Scheme().Get(Entry::TMNumberBG)));
    EXPECT_EQ(TextOp(ops, "BUND 24").bg, Scheme().Get(Entry::TMIssueBG));
    const PaintOp& volume = TextOp(ops, "15");
    EXPECT_EQ(std::tuple(volume.rect, volume.textRect.right, volume.align),  // the text five pixels in
              std::tuple(Rect{190, 0, 246, 16}, 241, Align::Right));
    const PaintOp& rate = TextOp(ops, "99.12");
    EXPECT_EQ(std::pair(rate.fg, rate.textRect.right), std::pair(Scheme().Get(Entry::TMBidFG), rate.rect.right - 5));
    const PaintOp& status = TextOp(ops, "@ 11:05");
    EXPECT_EQ(std::pair(status.align, status.bg), std::pair(Align::Left, Scheme().Get(Entry::TMBidBG)));
    const PaintOp& header = TextOp(ops, " Buyers / Sellers ");
    EXPECT_EQ(header.bg, Scheme().Get(Entry::TMHeaderBG));
    // Buyers: the bid stack; sellers: the traded bids; the centre of the
    // traded bid at level 0.
    EXPECT_LT(TextOp(ops, "31").rect.right, header.rect.left + 1);
    EXPECT_GE(TextOp(ops, "41").rect.left, header.rect.right);
    EXPECT_TRUE(Texts(ops, false, {"32", "51"}));  // TMStackSize 1: level 0 only
    const PaintOp& centre = TextOp(ops, "450");
    EXPECT_EQ(std::pair(centre.bg, centre.rect.left),
              std::pair(Scheme().Get(61 + 2 * 4), 38 + 32 + 120 + 56 + 69 + 120 + 32 + 144 + 32));
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
    EXPECT_TRUE(Texts(ops, true, {"990", "@ 11:06", "550"}));  // 550: the traded offer centre
    EXPECT_TRUE(Texts(ops, false, {"881"}));
    EXPECT_EQ(TextOp(ops, "99.30").fg, Scheme().Get(Entry::TMOfferFG));
    const PaintOp& header = TextOp(ops, " Buyers / Sellers ");
    EXPECT_LT(TextOp(ops, "51").rect.left, header.rect.left);  // buyers: the traded offers
    EXPECT_GT(TextOp(ops, "61").rect.left, header.rect.left);  // sellers: the offer stack
}

TEST_F(TradeMonitorRow, StatusTextsByDisplayState)
{
    // No trade yet: no lone "@".
    for (const auto& [state, time, status] :
         {std::tuple{0, "", ""}, {3, "10:15", "@ 10:15"}, {DS_TRADING, "", "-- TRADING --"}})
        EXPECT_EQ(TradeMonitorStatus(state, time), status) << state;

    LineObject line = BidTrade();
    line.m_bid.m_attribute = 5;
    EXPECT_EQ(TextOp(Row(line), "-- TRADING --").cadence, 3);
    line.m_bid.m_attribute = 4;  // display state 3
    EXPECT_TRUE(Texts(Row(line), true, {"@ 11:05"}));
}

TEST_F(TradeMonitorRow, DeeperStacksSplitIntoLevelsWithGaps)
{
    m_format.tmStackSize = 3;
    m_format.tmCustomerOnly = 0;
    const auto ops = Row(BidTrade());
    // Buyer stack: 3 x (4 + 4 + 3) x 8 = 264 pixels; slots of 88, levels 86.
    const int left = 38 + 32 + 120 + 56 + 69 + 120;  // the rate: 7 digits, a point and the inset
    // Deepest level on the left: level 0 in the third slot, its customer in
    // the right half, quantity in the left half.
    EXPECT_EQ(TextOp(ops, "31").rect, (Rect{left + 176 + 43, 0, left + 176 + 86, 16}));
    EXPECT_EQ(TextOp(ops, "32").rect.left, left + 88 + 43);
    EXPECT_EQ(std::pair(TextOp(ops, "5").rect, TextOp(ops, "5").bg),
              std::pair(Rect{left + 176, 0, left + 176 + 43, 16}, Scheme().Get(Entry::TMVolumeBG)));
    // The empty third level and the gaps keep the stack's fill.
    for (int x : {left + 10, left + 87})
        EXPECT_EQ(BackgroundAt(ops, x, 5), Scheme().Get(Entry::TMEmptyStackLevel)) << x;
    // Sellers: level 0 first, customer on the left half.
    const int sellerLeft = left + 264 + 144;
    EXPECT_EQ(TextOp(ops, "41").rect, (Rect{sellerLeft, 0, sellerLeft + 43, 16}));
}

TEST_F(TradeMonitorRow, SwitchesDropCells)
{
    m_format.tmShowStack = 0;
    m_format.tmShowVolume = 0;
    m_format.tmShowNumbers = 0;
    const auto ops = Row(BidTrade());
    EXPECT_TRUE(Texts(ops, false, {" Buyers / Sellers ", "15", "1"}));
    EXPECT_EQ(TextOp(ops, "881").rect.left, 0);
}

TEST_F(TradeMonitorRow, WithheldPricesAreBlankOutsideFullView)
{
    LineObject line = BidTrade();
    line.m_lineFlags = LineFlag::Withheld;
    const auto ops = Row(line);
    EXPECT_TRUE(Texts(ops, false, {"99.12", "15"}));
    EXPECT_TRUE(Texts(ops, true, {"BUND 24"}));
    m_ctx.fullView = true;
    EXPECT_TRUE(Texts(Row(line), true, {"99.12"}));
}
