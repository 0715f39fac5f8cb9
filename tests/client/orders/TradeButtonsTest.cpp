// Which trade-window buttons a line enables.
#include "FakeOrderFeed.h"

#include "orders/TradeButtons.h"

#include <gtest/gtest.h>

using namespace mavo;
using orderstest::FirmLine;

namespace {

constexpr int kUser = 101;

unsigned Mask(const LineObject& line, int level = kUser, bool orderEntry = true)
{
    return TradeButtonMask(&line, level, orderEntry);
}

// A side's buttons, named as on the bid side (Sell, Bid, Bid Out) for either.
unsigned SideButtons(unsigned mask, bool bid)
{
    if (bid)
        return mask & (TB_SELL | TB_BID | TB_BID_OUT);
    return (mask & TB_BUY ? TB_SELL : 0u) | (mask & TB_OFFER ? TB_BID : 0u) | (mask & TB_OFFER_OUT ? TB_BID_OUT : 0u);
}

} // namespace

TEST(TradeButtons, NothingForAMissingUntradableWithheldOrUnorderableLine)
{
    LineObject line = FirmLine();
    EXPECT_EQ(Mask(line), TB_SELL | TB_BID | TB_BUY | TB_OFFER);
    EXPECT_EQ(TradeButtonMask(nullptr, kUser, true), 0u);
    EXPECT_EQ(Mask(line, kUser, false), 0u);
    EXPECT_EQ(Mask(line, 999), 0u);
    // No trading on the line, withheld line or issue, a text line.
    for (const auto& [lineFlags, issueFlags, kind] :
         {std::tuple{0x200u, 0u, 'F'}, {0x40000u, 0u, 'F'}, {0u, 0x40000u, 'F'}, {0u, 0u, 'T'}}) {
        line.m_lineFlags = lineFlags;
        line.m_issueFlags = issueFlags;
        line.m_kind = kind;
        EXPECT_EQ(Mask(line), 0u) << lineFlags << " " << issueFlags << " " << kind;
    }
}

TEST(TradeButtons, EachSideFollowsItsStateAggressorRateAndOwnPriceAndLeavesTheOtherAlone)
{
    struct Case {
        int attribute, best;
        const char* firstAggressor;
        const char* rate;
        int ownLevel;
        unsigned buttons;
    };
    const Case cases[] = {
        {2, 0, "", "99.5", 0, TB_SELL | TB_BID},      // state 1
        {2, 1, "", "99.5", 0, TB_BID},                // attribute 2 and best: state 8
        {3, 0, "", "99.5", 0, TB_BID},                // state 2
        {4, 0, "", "99.5", 0, TB_BID},                // state 3
        {5, 0, "", "99.5", 0, 0},                     // state 4: trading
        // The user is the first aggressor: Sell only, in any state.
        {5, 0, "101", "99.5", 0, TB_SELL},
        {2, 0, " 101 ", "99.5", 0, TB_SELL},
        {2, 0, "102", "99.5", 0, TB_SELL | TB_BID},
        // No rate (blanks are none): Bid alone.
        {2, 0, "", "  ", 0, TB_BID},
        {2, 0, "", "", 0, TB_BID},
        // An own price, unless it trades; an own level outside 1..5 is none.
        {2, 0, "", "99.5", 2, TB_BID | TB_BID_OUT},
        {3, 0, "", "99.5", 5, TB_BID | TB_BID_OUT},
        {5, 0, "", "99.5", 1, 0},
        {5, 0, "101", "99.5", 2, 0},
        {2, 0, "", "99.5", 6, TB_SELL | TB_BID},
        {2, 0, "", "", 1, TB_BID},
    };
    for (bool bid : {true, false})
        for (const Case& c : cases) {
            LineObject line = FirmLine();
            LineSide& side = bid ? line.m_bid : line.m_offer;
            side.m_attribute = c.attribute;
            side.m_best = c.best;
            side.m_traded[0].m_customer = c.firstAggressor;
            side.m_rate = c.rate;
            side.m_ownLevel = c.ownLevel;
            const unsigned mask = Mask(line);
            EXPECT_EQ(SideButtons(mask, bid), c.buttons)
                << (bid ? "bid " : "offer ") << c.attribute << " " << c.best << " '" << c.firstAggressor << "' '"
                << c.rate << "' " << c.ownLevel;
            EXPECT_EQ(SideButtons(mask, !bid), TB_SELL | TB_BID);
        }
}

TEST(TradeButtons, OwnStackQuantityReadsLevelLAtIndexLMinusOne)
{
    LineObject line = FirmLine();
    for (int i = 0; i < LineSide::LEVELS; ++i) {
        line.m_bid.m_stack[i].m_quantity = std::to_string(10 + i);
        line.m_offer.m_stack[i].m_quantity = std::to_string(20 + i);
    }
    for (const auto& [bid, level, quantity] :
         {std::tuple{true, 0, ""}, {true, 1, "10"}, {true, 5, "14"}, {true, 6, ""}, {false, 3, "22"}}) {
        (bid ? line.m_bid : line.m_offer).m_ownLevel = level;
        EXPECT_EQ(OwnStackQuantity(line, bid), quantity) << bid << " " << level;
    }
}
