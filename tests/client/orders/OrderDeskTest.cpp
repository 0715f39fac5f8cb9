// The order commands, field by field, and what each button press sends from
// the line as it stands at the press.
#include "FakeOrderFeed.h"

#include "orders/OrderDesk.h"
#include "orders/OrderMessages.h"
#include "zph/ZPHKey.h"

#include <gtest/gtest.h>

using namespace mavo;
using orderstest::FakeOrderFeed;
using orderstest::FirmLine;
using Fields = std::vector<ZPHMessage::Field>;

namespace {

const unsigned kKey = CreateZPHKey(2, 3);

Fields Common(const char* command)
{
    return {{1, "22"}, {3, "199"}, {8, "2"}, {9, "3"}, {10, "0"}, {20, "101"}, {7, command}};
}

Fields Plus(Fields fields, const Fields& more)
{
    fields.insert(fields.end(), more.begin(), more.end());
    return fields;
}

class OrderDeskTest : public testing::Test {
protected:
    void Put(const LineObject& line) { feed.cache.Put(kKey, line); }

    FakeOrderFeed feed;
    COrderDesk desk{feed};
};

} // namespace

// The commands the desk tests below do not send; theirs are compared there.
TEST(OrderMessages, EveryCommandHasItsFieldsInOrder)
{
    const ZPHMessage trade = TradeOrder(kKey, 101, false, 100.25, 10);
    EXPECT_EQ(std::tuple(trade.m_type, trade.m_page, trade.m_line), std::tuple('A', 0, 0));
    EXPECT_EQ(trade.GetFields(), Plus(Common("CCTradeOffer"), {{15, "100.25"}, {16, "10"}, {17, "10"}}));
    EXPECT_EQ(MaxTradeOrder(kKey, 101, false, "100", 2.5).GetFields(),
              Plus(Common("CCEnterMaxOfferTradeQuantity"), {{15, "100"}, {17, "2.5"}}));
    const Fields enter = {{21, "33554432"}, {15, "99.75"}, {16, "2"}};
    EXPECT_EQ(EnterOrder(kKey, 101, true, false, 99.75, 2).GetFields(), Plus(Common("CCEnterBid"), enter));
    EXPECT_EQ(EnterOrder(kKey, 101, false, true, 99.75, 2).GetFields(), Plus(Common("CCJoinOffer"), enter));
}

TEST_F(OrderDeskTest, SellAndBuyOnFirmPricesTradeAtOnceWithTheShownQuantity)
{
    Put(FirmLine());
    EXPECT_EQ(desk.Press(kKey, TB_SELL), OrderOutcome::Sent);
    EXPECT_EQ(desk.Press(kKey, TB_BUY), OrderOutcome::Sent);
    ASSERT_EQ(feed.sent.size(), 2u);
    EXPECT_EQ(feed.sent[0].GetFields(), Plus(Common("CCTradeBid"), {{15, "99.5"}, {16, "5"}, {17, "5"}, {21, "0"}}));
    EXPECT_EQ(feed.sent[1].GetFields(), Plus(Common("CCTradeOffer"), {{15, "100"}, {16, "10"}, {17, "10"}}));
    EXPECT_EQ(desk.LastSent(), feed.sent[1]);
}

TEST_F(OrderDeskTest, APriceThatVanishedOrALineThatWentSendsNothing)
{
    LineObject line = FirmLine();
    Put(line);
    ASSERT_TRUE(desk.Buttons(kKey) & TB_SELL);
    // The bid goes between the paint of the button and the press.
    line.m_bid.m_rate.clear();
    line.m_bid.m_quantity.clear();
    line.m_bid.m_attribute = 0;
    Put(line);
    EXPECT_EQ(desk.Press(kKey, TB_SELL), OrderOutcome::Refused);
    // The offer moved into a trade: Buy now means the maximum quantity.
    line.m_offer.m_attribute = 5;
    Put(line);
    EXPECT_EQ(desk.Press(kKey, TB_BUY), OrderOutcome::Refused);
    // The line is gone.
    feed.cache.Clear();
    for (TradeButton b : {TB_SELL, TB_BUY, TB_BID, TB_OFFER, TB_BID_OUT, TB_OFFER_OUT})
        EXPECT_EQ(desk.Press(kKey, b), OrderOutcome::Refused);
    EXPECT_EQ(desk.Buttons(kKey), 0u);
    EXPECT_TRUE(feed.sent.empty());
}

TEST_F(OrderDeskTest, SellWhileTheBidTradesAsksForAMaximumOfAtLeastOne)
{
    LineObject line = FirmLine();
    line.m_bid.m_attribute = 5;
    line.m_bid.m_rate = "99 1/2";
    line.m_bid.m_traded[0].m_customer = "101";
    line.m_bid.m_traded[0].m_quantity = "3";
    Put(line);
    EXPECT_EQ(desk.Press(kKey, TB_SELL), OrderOutcome::NeedsMaximum);
    EXPECT_TRUE(feed.sent.empty());
    for (const COrderNumber& below : {*COrderNumber::FromText("0.5"), COrderNumber()})
        EXPECT_EQ(desk.SendMaximum(kKey, true, below), OrderOutcome::Refused) << below.Text();
    EXPECT_TRUE(feed.sent.empty());
    EXPECT_EQ(desk.SendMaximum(kKey, true, *COrderNumber::FromText("4")), OrderOutcome::Sent);
    ASSERT_EQ(feed.sent.size(), 1u);
    EXPECT_EQ(feed.sent[0].GetFields(), Plus(Common("CCEnterMaxBidTradeQuantity"), {{15, "99 1/2"}, {17, "4"}}));
    // The trade ended while the dialog was open: its OK sends nothing.
    line.m_bid.m_attribute = 2;
    Put(line);
    EXPECT_EQ(desk.SendMaximum(kKey, true, *COrderNumber::FromText("4")), OrderOutcome::Refused);
    EXPECT_EQ(feed.sent.size(), 1u);
}

TEST_F(OrderDeskTest, OutSendsTheStackQuantityAtTheOwnLevel)
{
    LineObject line = FirmLine();
    for (int i = 0; i < LineSide::LEVELS; ++i) {
        line.m_bid.m_stack[i].m_quantity = std::to_string(10 + i);
        line.m_offer.m_stack[i].m_quantity = std::to_string(20 + i);
    }
    Put(line);
    // No own price: nothing is sent.
    EXPECT_EQ(desk.Press(kKey, TB_BID_OUT), OrderOutcome::Refused);
    EXPECT_EQ(desk.Press(kKey, TB_OFFER_OUT), OrderOutcome::Refused);
    EXPECT_TRUE(feed.sent.empty());
    line.m_bid.m_ownLevel = 5;  // the fifth and last level
    line.m_offer.m_ownLevel = 1;
    Put(line);
    EXPECT_EQ(desk.Press(kKey, TB_BID_OUT), OrderOutcome::Sent);
    EXPECT_EQ(desk.Press(kKey, TB_OFFER_OUT), OrderOutcome::Sent);
    ASSERT_EQ(feed.sent.size(), 2u);
    EXPECT_EQ(feed.sent[0].GetFields(), Plus(Common("CCDeleteBid"), {{15, "99.5"}, {16, "14"}}));
    EXPECT_EQ(feed.sent[1].GetFields(), Plus(Common("CCDeleteOffer"), {{15, "100"}, {16, "20"}}));
}

TEST_F(OrderDeskTest, ConfirmedTicketsEnterOrJoinFromTheLineAsItStandsThen)
{
    const LineObject line = FirmLine();
    Put(line);
    EXPECT_EQ(desk.Press(kKey, TB_BID), OrderOutcome::NeedsTicket);
    COrderTicket join(line, true);  // Join starts checked
    EXPECT_EQ(desk.SendTicket(kKey, join), OrderOutcome::Sent);
    COrderTicket enter(line, false);
    enter.SetJoin(false);
    enter.SetRateText("100.125");
    enter.SetQuantityText("3");
    EXPECT_EQ(desk.SendTicket(kKey, enter), OrderOutcome::Sent);
    ASSERT_EQ(feed.sent.size(), 2u);
    EXPECT_EQ(feed.sent[0].GetFields(), Plus(Common("CCJoinBid"), {{21, "33554432"}, {15, "99.5"}, {16, "2"}}));
    EXPECT_EQ(feed.sent[1].GetFields(),
              Plus(Common("CCEnterOffer"), {{21, "33554432"}, {15, "100.125"}, {16, "3"}}));

    // A ticket that cannot be confirmed, or a line that cannot be traded any
    // more when it is confirmed, sends nothing.
    COrderTicket zero(line, true);
    zero.SetQuantityText("0");
    EXPECT_EQ(desk.SendTicket(kKey, zero), OrderOutcome::Refused);
    LineObject blocked = line;
    blocked.m_lineFlags = 0x200;
    Put(blocked);
    EXPECT_EQ(desk.SendTicket(kKey, join), OrderOutcome::Refused);
    EXPECT_EQ(feed.sent.size(), 2u);
}

TEST_F(OrderDeskTest, AnOrderTheSourceDidNotTakeIsNotReportedAsSent)
{
    Put(FirmLine());
    feed.sendWorks = false;
    EXPECT_EQ(desk.Press(kKey, TB_SELL), OrderOutcome::NotDelivered);
    EXPECT_EQ(desk.LastSent().GetFieldCount(), 0u);
}
