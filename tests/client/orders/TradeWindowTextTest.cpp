// What the trade window shows of a line, and where it opens at the pointer.
#include "FakeOrderFeed.h"

#include "orders/TradeWindowText.h"
#include "zph/ZPHKey.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace mavo;
using orderstest::FirmLine;

TEST(TradeWindowText, TitleAndContentOfALine)
{
    EXPECT_EQ(TradeWindowTitle(CreateZPHKey(12, 3)), "Page 12, Line 3");
    LineObject line = FirmLine();
    line.m_lastTrade = "99.75";
    line.m_lastTradeTime = "10:15";
    line.m_dailyHigh = "100";
    line.m_dailyLow = "99";
    line.m_bid.m_lastTrade = "99.5";
    line.m_bid.m_lastTradeTime = "10:10";
    line.m_bid.m_tradeHigh = "99.6";
    line.m_bid.m_tradeLow = "99.4";
    line.m_offer.m_lastTrade = "100.5";
    line.m_offer.m_tradeLow = "100.25";
    const TradeWindowContent content = TradeWindowContentOf(&line);
    EXPECT_EQ(std::tie(content.issue, content.rates, content.quantities),
              std::make_tuple("ARG 2030", "99.5 / 100", "5 X 10"));
    using Row = std::array<std::string, kStatColumns>;
    EXPECT_EQ(content.stats[0], (Row{"Last Trade", "99.75", "99.5", "100.5"}));
    EXPECT_EQ(content.stats[1], (Row{"Time", "10:15", "10:10", ""}));
    EXPECT_EQ(content.stats[2], (Row{"High", "100", "99.6", ""}));
    EXPECT_EQ(content.stats[3], (Row{"Low", "99", "99.4", "100.25"}));
}

TEST(TradeWindowText, AWithheldLineShowsNoPriceOrStatistic)
{
    LineObject line = FirmLine();
    line.m_lastTrade = "99.75";
    line.m_lineFlags = 0x40000;
    TradeWindowContent content = TradeWindowContentOf(&line);
    EXPECT_EQ(std::tie(content.issue, content.rates, content.quantities), std::make_tuple("ARG 2030", "", ""));
    EXPECT_EQ(content.stats[0], (std::array<std::string, kStatColumns>{"Last Trade", "", "", ""}));
    line.m_lineFlags = 0;
    line.m_issueFlags = 0x40000;
    content = TradeWindowContentOf(&line);
    EXPECT_EQ(std::tie(content.issue, content.rates), std::make_tuple("", ""));
    EXPECT_EQ(TradeWindowContentOf(nullptr).rates, "");
}

TEST(TradeWindowPlacement, BelowThePointerAboveNearTheBottomLeftNearTheRightEdge)
{
    const PlaceRect screen{0, 0, 1280, 1024}, shortScreen{0, 0, 1280, 300}, second{1280, 0, 400, 1024};
    // Above the pointer where it would leave the bottom, moved left by its
    // width where it would leave the right edge; kept on the screen whatever
    // happens: near the top left of a short screen, on a screen that does
    // not start at 0.
    const std::tuple<int, int, PlaceRect, PlaceRect> places[] = {
        {100, 200, screen, {100, 210, 300, 250}},       {100, 900, screen, {100, 640, 300, 250}},
        {1100, 200, screen, {800, 210, 300, 250}},      {1100, 900, screen, {800, 640, 300, 250}},
        {5, 100, shortScreen, {5, 0, 300, 250}},        {1290, 10, second, {1290, 20, 300, 250}},
        {1600, 10, second, {1300, 20, 300, 250}}};
    for (const auto& [x, y, on, placed] : places)
        EXPECT_EQ(PlaceNearPointer(x, y, 300, 250, on), placed) << x << "," << y;
}
