// The order dialog's and the maximum-quantity dialog's values: start
// values, Join, stepping, the keypad and the Confirm rule.
#include "FakeOrderFeed.h"

#include "orders/OrderTicket.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace mavo;
using orderstest::FirmLine;

namespace {

// Join, whether Join can change, whether the rate can be edited, and Confirm.
std::vector<bool> States(const COrderTicket& t)
{
    return {t.Join(), t.JoinEnabled(), t.RateEditable(), t.CanConfirm()};
}

} // namespace

TEST(OrderTicket, StartsAtTheSidesRateJoiningWithTwo)
{
    const COrderTicket bid(FirmLine(), true);
    EXPECT_EQ(std::tuple(bid.Title(), bid.RateText(), bid.QuantityText()), std::tuple("BID - ARG 2030", "99.5", "2.0"));
    EXPECT_EQ(States(bid), (std::vector<bool>{true, true, false, true}));
    const COrderTicket offer(FirmLine(), false);
    EXPECT_EQ(std::tuple(offer.Title(), offer.RateText()), std::tuple("OFFER - ARG 2030", "100.0"));
}

TEST(OrderTicket, AnOwnPriceStartsWithItsStackQuantityAndNoJoin)
{
    LineObject line = FirmLine();
    for (int i = 0; i < LineSide::LEVELS; ++i)
        line.m_bid.m_stack[i].m_quantity = std::to_string(10 + i) + ".5";
    line.m_bid.m_ownLevel = 3;
    COrderTicket ticket(line, true);
    EXPECT_EQ(ticket.QuantityText(), "12.5");
    ticket.SetJoin(true);  // disabled: no effect
    EXPECT_EQ(States(ticket), (std::vector<bool>{false, false, true, true}));
    line.m_bid.m_ownLevel = 5;
    EXPECT_EQ(COrderTicket(line, true).QuantityText(), "14.5");
}

TEST(OrderTicket, WithoutARateTheFirstNonZeroFallbackIsTaken)
{
    LineObject line = FirmLine();
    line.m_bid.m_rate.clear();
    line.m_offer.m_rate.clear();
    line.m_bid.m_prevRate = "0";
    line.m_offer.m_prevRate = "97.25";
    line.m_lastTrade = "96";
    line.m_bid.m_lastTrade = "98.125";
    COrderTicket bid(line, true);
    EXPECT_EQ(bid.RateText(), "98.125");  // previous bid 0, no offer rate, last bid trade
    EXPECT_EQ(bid.QuantityText(), "2.0");
    EXPECT_EQ(States(bid), (std::vector<bool>{false, false, true, true}));
    // An offer looks at: previous offer, bid rate, last offer trade, previous bid, last trade.
    EXPECT_EQ(COrderTicket(line, false).RateText(), "97.25");
    line.m_offer.m_prevRate.clear();
    line.m_bid.m_rate = "95.5";
    EXPECT_EQ(COrderTicket(line, false).RateText(), "95.5");
    line.m_bid.m_rate.clear();
    EXPECT_EQ(COrderTicket(line, false).RateText(), "96.0");

    // All five empty: rate 0, which cannot be confirmed until one is typed.
    LineObject empty = FirmLine();
    empty.m_bid.m_rate.clear();
    empty.m_offer.m_rate.clear();
    COrderTicket none(empty, true);
    EXPECT_EQ(none.RateText(), "0.0");
    EXPECT_FALSE(none.CanConfirm());
    none.SetRateFocused(true);
    for (char key : {kClearKey, '9', '9'})
        none.PressKey(key);
    EXPECT_EQ(none.RateText(), "99");
    EXPECT_TRUE(none.CanConfirm());
}

TEST(OrderTicket, JoinLocksTheRateAtItsStart)
{
    COrderTicket ticket(FirmLine(), true);
    COrderIncrement increment;
    ticket.RatePlus(increment);  // locked while joining
    EXPECT_EQ(ticket.RateText(), "99.5");
    ticket.SetJoin(false);
    ticket.RatePlus(increment);
    EXPECT_EQ(ticket.RateText(), "99.75");
    ticket.SetRateText("98");
    ticket.SetJoin(true);
    EXPECT_EQ(ticket.RateText(), "99.5");
    ticket.SetRateText("97");
    EXPECT_EQ(ticket.RateText(), "99.5");
}

TEST(OrderTicket, StepsStayOnTheDecimalGridAndAboveTheirFloors)
{
    COrderTicket ticket(FirmLine(), true);
    ticket.SetJoin(false);
    COrderIncrement increment;
    ASSERT_TRUE(increment.SetIndex(2));  // 0.10
    ticket.SetRateText("0");
    for (int i = 0; i < 10; ++i)
        ticket.RatePlus(increment);
    EXPECT_EQ(ticket.RateText(), "1.0");
    ticket.SetRateText("0.10");
    ASSERT_TRUE(increment.SetIndex(4));  // 0.25
    ticket.RateMinus(increment);
    EXPECT_EQ(ticket.RateText(), "0.0");
    ticket.RateMinus(increment);
    EXPECT_EQ(ticket.RateText(), "0.0");
    ticket.SetQuantityText("1");
    ticket.QuantityMinus();
    EXPECT_EQ(ticket.QuantityText(), "1.0");
    ticket.QuantityPlus();
    EXPECT_EQ(ticket.QuantityText(), "2.0");
}

TEST(OrderTicket, ConfirmNeedsTwoNonZeroNonNegativeNumbers)
{
    COrderTicket ticket(FirmLine(), true);
    ticket.SetJoin(false);
    EXPECT_TRUE(ticket.CanConfirm());
    for (const char* bad : {"0", "0.0", "0.0000001", "-1", "", "abc", "1e2"}) {
        ticket.SetRateText(bad);
        EXPECT_FALSE(ticket.CanConfirm()) << "rate " << bad;
        ticket.SetRateText("99");
        ticket.SetQuantityText(bad);
        EXPECT_FALSE(ticket.CanConfirm()) << "quantity " << bad;
        ticket.SetQuantityText("2");
    }
    EXPECT_TRUE(ticket.CanConfirm());
}

TEST(OrderTicket, KeypadKeysGoToTheRateOnlyWhileItHadTheFocusAndIsFree)
{
    const std::tuple<const char*, char, const char*> presses[] = {
        {"1", '2', "12"}, {"12", '.', "12."}, {"12.5", '.', "12.5"}, {"12.5", kClearKey, ""}, {"12", 'x', "12"}};
    for (const auto& [text, key, after] : presses)
        EXPECT_EQ(KeypadPress(text, key), after) << text << " " << key;

    COrderTicket ticket(FirmLine(), true);  // joining
    ticket.SetRateFocused(true);
    ticket.PressKey('5');
    EXPECT_EQ(ticket.RateText(), "99.5");
    EXPECT_EQ(ticket.QuantityText(), "2.05");
    ticket.SetJoin(false);
    ticket.PressKey(kClearKey);
    ticket.PressKey('9');
    EXPECT_EQ(ticket.RateText(), "9");
    ticket.SetRateFocused(false);
    ticket.PressKey(kClearKey);
    ticket.PressKey('3');
    EXPECT_EQ(ticket.QuantityText(), "3");
    EXPECT_EQ(ticket.RateText(), "9");
}

TEST(MaxQuantityTicket, StartsAtTheFirstTradedQuantityAndNeedsAtLeastOne)
{
    LineObject line = FirmLine();
    line.m_bid.m_traded[0].m_quantity = "3";
    line.m_bid.m_traded[1].m_quantity = "8";
    line.m_offer.m_traded[0].m_quantity = "6.5";
    CMaxQuantityTicket sell(line, true);
    EXPECT_EQ(sell.Title(), "SELL - ARG 2030");
    EXPECT_EQ(sell.QuantityText(), "3.0");
    EXPECT_TRUE(sell.CanSend());
    for (int i = 0; i < 3; ++i)
        sell.QuantityMinus();
    EXPECT_EQ(sell.QuantityText(), "1.0");
    sell.PressKey(kClearKey);
    EXPECT_FALSE(sell.CanSend());
    sell.PressKey('.');
    sell.PressKey('5');
    EXPECT_EQ(sell.QuantityText(), ".5");
    EXPECT_FALSE(sell.CanSend());
    sell.QuantityPlus();
    EXPECT_EQ(sell.QuantityText(), "1.5");
    EXPECT_TRUE(sell.CanSend());
    const CMaxQuantityTicket buy(line, false);
    EXPECT_EQ(buy.Title(), "BUY - ARG 2030");
    EXPECT_EQ(buy.QuantityText(), "6.5");
    line.m_offer.m_traded[0].m_quantity.clear();
    EXPECT_FALSE(CMaxQuantityTicket(line, false).CanSend());
}
