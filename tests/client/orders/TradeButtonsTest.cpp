// Which trade-window buttons a line enables.
#include "FakeOrderFeed.h"

#include "orders/TradeButtons.h"

#include <gtest/gtest.h>

using namespace ZPH;

using namespace mavo;
using orderstest::FirmLine;

namespace {

constexpr int kUser = 101;

unsigned Mask(const LineObject& line, int level = kUser, bool orderEntry = true)
{
    return TradeButtonMask(&line, level, orderEntry);
}

unsigned BidSide(unsigned mask) { return mask & (TB_SELL | TB_BID | TB_BID_OUT); }
unsigned OfferSide(unsigned mask) { return mask & (TB_BUY | TB_OFFER | TB_OFFER_OUT); }

} // namespace

TEST(TradeButtons, NothingForAMissingUntradableWithheldOrUnorderableLine)
{
    LineObject line = FirmLine();
    EXPECT_EQ(Mask(line), TB_SELL | TB_BID | TB_BUY | TB_OFFER);
    EXPECT_EQ(TradeButtonMask(nullptr, kUser, true), 0u);
    EXPECT_EQ(Mask(line, kUser, false), 0u);
    EXPECT_EQ(Mask(line, 999), 0u);
    line.m_lineFlags = 0x200;
    EXPECT_EQ(Mask(line), 0u);
    line.m_lineFlags = 0x40000;
    EXPECT_EQ(Mask(line), 0u);
    line.m_lineFlags = 0;
    line.m_issueFlags = 0x40000;
    EXPECT_EQ(Mask(line), 0u);
    line.m_issueFlags = 0;
    line.m_kind = 'T';
    EXPECT_EQ(Mask(line), 0u);
}

TEST(TradeButtons, BidSideWithoutAnOwnBid)
{
    LineObject line = FirmLine();
    EXPECT_EQ(BidSide(Mask(line)), TB_SELL | TB_BID);  // state 1
    line.m_bid.m_best = 1;                             // attribute 2 and best: state 8
    EXPECT_EQ(BidSide(Mask(line)), TB_BID);
    line.m_bid.m_best = 0;
    line.m_bid.m_attribute = 3;  // state 2
    EXPECT_EQ(BidSide(Mask(line)), TB_BID);
    line.m_bid.m_attribute = 5;  // state 4: trading
    EXPECT_EQ(BidSide(Mask(line)), 0u);
    // The user is the first aggressor: Sell only, in any state.
    line.m_bid.m_traded[0].m_customer = "101";
    EXPECT_EQ(BidSide(Mask(line)), TB_SELL);
    line.m_bid.m_attribute = 2;
    EXPECT_EQ(BidSide(Mask(line)), TB_SELL);
    line.m_bid.m_traded[0].m_customer = "102";
    EXPECT_EQ(BidSide(Mask(line)), TB_SELL | TB_BID);
    // No bid rate (blanks are none): Bid alone.
    line.m_bid.m_rate = "  ";
    EXPECT_EQ(BidSide(Mask(line)), TB_BID);
}

TEST(TradeButtons, BidSideWithAnOwnBid)
{
    LineObject line = FirmLine();
    line.m_bid.m_ownLevel = 2;
    EXPECT_EQ(BidSide(Mask(line)), TB_BID | TB_BID_OUT);
    line.m_bid.m_attribute = 3;
    EXPECT_EQ(BidSide(Mask(line)), TB_BID | TB_BID_OUT);
    line.m_bid.m_attribute = 5;
    EXPECT_EQ(BidSide(Mask(line)), 0u);
    // An own level outside 1..5 is no own price.
    line.m_bid.m_attribute = 2;
    line.m_bid.m_ownLevel = 6;
    EXPECT_EQ(BidSide(Mask(line)), TB_SELL | TB_BID);
}

TEST(TradeButtons, OfferSideMirrorsTheBidSide)
{
    LineObject line = FirmLine();
    EXPECT_EQ(OfferSide(Mask(line)), TB_BUY | TB_OFFER);
    line.m_offer.m_attribute = 4;  // state 3
    EXPECT_EQ(OfferSide(Mask(line)), TB_OFFER);
    line.m_offer.m_attribute = 5;
    EXPECT_EQ(OfferSide(Mask(line)), 0u);
    line.m_offer.m_traded[0].m_customer = " 101 ";
    EXPECT_EQ(OfferSide(Mask(line)), TB_BUY);
    line.m_offer.m_traded[0].m_customer.clear();
    line.m_offer.m_ownLevel = 1;
    EXPECT_EQ(OfferSide(Mask(line)), 0u);
    line.m_offer.m_attribute = 2;
    EXPECT_EQ(OfferSide(Mask(line)), TB_OFFER | TB_OFFER_OUT);
    line.m_offer.m_rate.clear();
    line.m_offer.m_ownLevel = 0;
    EXPECT_EQ(OfferSide(Mask(line)), TB_OFFER);
    // The two sides are independent.
    EXPECT_EQ(BidSide(Mask(line)), TB_SELL | TB_BID);
}

TEST(TradeButtons, OwnStackQuantityReadsLevelLAtIndexLMinusOne)
{
    LineObject line = FirmLine();
    for (int i = 0; i < LineSide::LEVELS; ++i) {
        line.m_bid.m_stack[i].m_quantity = std::to_string(10 + i);
        line.m_offer.m_stack[i].m_quantity = std::to_string(20 + i);
    }
    EXPECT_EQ(OwnStackQuantity(line, true), "");
    line.m_bid.m_ownLevel = 1;
    EXPECT_EQ(OwnStackQuantity(line, true), "10");
    line.m_bid.m_ownLevel = 5;
    EXPECT_EQ(OwnStackQuantity(line, true), "14");
    line.m_offer.m_ownLevel = 3;
    EXPECT_EQ(OwnStackQuantity(line, false), "22");
}
