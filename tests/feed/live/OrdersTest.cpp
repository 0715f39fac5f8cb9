// Every order command, sent as the client's trade window sends it, and its
// effect on the page as the feed shows it.
#include "RecordingController.h"
#include "ZphdServer.h"
#include "protocol/FieldIds.h"
#include "zph/NumberText.h"
#include "zph/ZPHKey.h"

#include <gtest/gtest.h>

using namespace ZPH;

using namespace ZPHWire;
using namespace feedtest;
using namespace std::chrono_literals;

namespace {

const std::string kEnter = std::to_string(O_ENTER_FLAGS);

class Orders : public ::testing::Test {
protected:
    void SetUp() override
    {
        controller.Dial(SocketTo(server.SocketPort()));
        ASSERT_TRUE(controller.WaitState(FEED_LIVE));
        ASSERT_TRUE(controller.GetOrderEntry());
        controller.GetSource()->RequestPage(1);
        ASSERT_TRUE(controller.WaitFor([&] { return Line(1, 2) && Line(1, 5); }));
    }

    LineRef Line(int page, int line) { return controller.GetLineCache().GetForRead(CreateZPHKey(page, line)); }

    // Sends an order for page 1 built in the trade window's order of
    // fields, the command's own fields last in the order given.
    void Send(const char* command, int line, const std::vector<std::pair<int, std::string>>& own)
    {
        ZPHMessage msg(0, 0);
        msg.m_type = 65;
        msg.AddField(O_SYSTEM, 22);
        msg.AddField(O_CLASS, 199);
        msg.AddField(O_PAGE, 1);
        msg.AddField(O_LINE, line);
        msg.AddField(O_RESERVED, 0);
        msg.AddField(O_USER_LEVEL, controller.GetUserLevel());
        msg.AddField(O_COMMAND, command, 0);
        for (const auto& [id, text] : own)
            msg.AddField(id, text);
        ASSERT_TRUE(controller.GetSource()->Send(msg));
    }
    static std::string Number(double value) { return ZPHText::FormatDouble(value); }

    bool Shows(int page, int line, const std::function<bool(const LineObject&)>& pred)
    {
        return controller.WaitLine(page, line, pred);
    }

    static std::string Rate(double rate)
    {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", rate);
        return text;
    }

    ZphdServer server;
    RecordingController controller;
};

} // namespace

TEST_F(Orders, ARefusedBidIsAnsweredWithANoticeThenEnterJoinAndWithdrawABid)
{
    const double worse = Line(1, 2)->m_bid.m_realRate - 1.0;
    Send("CCEnterBid", 2, {{O_FLAGS, kEnter}, {O_RATE, Number(worse)}, {O_QUANTITY, "2"}});
    EXPECT_TRUE(controller.WaitFor([&] { return !controller.notices.empty(); }));
    EXPECT_EQ(controller.notices.front(), 1);
    EXPECT_EQ(Line(1, 2)->m_bid.m_ownLevel, 0);

    const double better = Line(1, 2)->m_bid.m_realRate + 0.125;
    Send("CCEnterBid", 2, {{O_FLAGS, kEnter}, {O_RATE, Number(better)}, {O_QUANTITY, "2"}});
    ASSERT_TRUE(Shows(1, 2, [&](const LineObject& l) {
        return l.m_bid.m_realRate == better && l.m_bid.m_ownLevel == 1 && std::string(l.GetBidCustomer(0)) == "101" &&
               std::string(l.GetBidQuantity(0)) == "2";
    }));

    // Another customer joins behind: the own level stays 1.
    server.Ok("order trader2 CCJoinBid 1 2 " + Rate(better) + " 3");
    ASSERT_TRUE(Shows(1, 2, [](const LineObject& l) {
        return std::string(l.GetBidCustomer(1)) == "102" && l.m_bid.m_ownLevel == 1;
    }));

    // Bid Out: the rate and the quantity at the own level.
    Send("CCDeleteBid", 2, {{O_RATE, Number(better)}, {O_QUANTITY, "2"}});
    ASSERT_TRUE(Shows(1, 2, [](const LineObject& l) {
        return l.m_bid.m_ownLevel == 0 && std::string(l.GetBidCustomer(0)) == "102";
    }));

    // Joining the offer puts the user at the end of its stack: an issue line
    // with an offer and room in its stack.
    int target = 0, depth = 0;
    for (int line = 3; line <= MAX_LINE && target == 0; ++line) {
        LineRef candidate = Line(1, line);
        if (!candidate || candidate->m_kind != LINE_FIELD || candidate->m_offer.m_rate.empty())
            continue;
        depth = 0;
        while (depth < 5 && *candidate->GetOfferCustomer(depth) != '\0')
            ++depth;
        if (depth > 0 && depth < 5)
            target = line;
    }
    ASSERT_NE(target, 0) << "no offer to join on page 1";
    const std::string offer = Number(Line(1, target)->m_offer.m_realRate);
    Send("CCJoinOffer", target, {{O_FLAGS, kEnter}, {O_RATE, offer}, {O_QUANTITY, "1"}});
    ASSERT_TRUE(Shows(1, target, [&](const LineObject& l) { return l.m_offer.m_ownLevel == depth + 1; }));
    EXPECT_STREQ(Line(1, target)->GetOfferCustomer(depth), "101");
}

TEST_F(Orders, LiftingAnOfferTradesAndUpdatesTheTradeHistory)
{
    const double better = Line(1, 2)->m_offer.m_realRate - 0.125;
    Send("CCEnterOffer", 2, {{O_FLAGS, kEnter}, {O_RATE, Number(better)}, {O_QUANTITY, "4"}});
    ASSERT_TRUE(Shows(1, 2, [&](const LineObject& l) { return l.m_offer.m_ownLevel == 1 && l.m_offer.m_realRate == better; }));
    const std::string volumeBefore = Line(1, 2)->m_dailyVolume;

    server.Ok("order trader2 CCTradeOffer 1 2 " + Rate(better) + " 4 4");
    // Trading for a moment, then done.
    ASSERT_TRUE(Shows(1, 2, [](const LineObject& l) { return l.m_offer.m_attribute == 5; }));
    ASSERT_TRUE(Shows(1, 2, [&](const LineObject& l) {
        return l.m_offer.m_attribute != 5 && l.m_lastTradeType == 2 && l.m_lastTrade == Rate(better) &&
               std::string(l.GetTradedOfferCustomer(0)) == "102" && l.m_dailyVolume != volumeBefore;
    }));
    LineRef after = Line(1, 2);
    EXPECT_EQ(after->m_offer.m_ownLevel, 0) << "the whole offer traded";
    EXPECT_FALSE(after->m_lastTradeTime.empty());
    EXPECT_FALSE(after->m_offer.m_tradeNumber.empty());
    EXPECT_EQ(after->m_offer.m_lastTrade, Rate(better));
    double high = 0;
    ASSERT_TRUE(ZPHText::ParseDouble(after->m_dailyHigh, high));
    EXPECT_GE(high, better);
}

TEST_F(Orders, HittingABidAndJoiningATradeWithAMaximumQuantity)
{
    // Sell: the bid trades with the user as aggressor.
    const std::string bid = Number(Line(1, 2)->m_bid.m_realRate);
    Send("CCTradeBid", 2, {{O_RATE, bid}, {O_QUANTITY, "1"}, {O_TRADE_QUANTITY, "1"}, {O_FLAGS, "0"}});
    ASSERT_TRUE(Shows(1, 2, [](const LineObject& l) {
        return l.m_bid.m_attribute == 5 && std::string(l.GetTradedBidCustomer(0)) == "101";
    }));
    ASSERT_TRUE(Shows(1, 2, [](const LineObject& l) { return l.m_bid.m_attribute != 5 && l.m_lastTradeType == 1; }));

    // A customer hits the bid of line 3; the user joins that trade.
    LineRef line3 = Line(1, 3);
    server.Ok("trade 1 3 bid 2");
    ASSERT_TRUE(Shows(1, 3, [](const LineObject& l) { return l.m_bid.m_attribute == 5; }));
    Send("CCEnterMaxBidTradeQuantity", 3, {{O_RATE, line3->m_bid.m_rate}, {O_TRADE_QUANTITY, "3"}});
    ASSERT_TRUE(Shows(1, 3, [](const LineObject& l) {
        for (int level = 0; level < 5; ++level)
            if (std::string(l.GetTradedBidCustomer(level)) == "101")
                return true;
        return false;
    }));
}
