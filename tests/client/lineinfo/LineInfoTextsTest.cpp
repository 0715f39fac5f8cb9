// The texts of the line information window and the info tips: caption,
// spread and stack texts, the 14-row table, the tip of each cell kind under
// each display option, and the "InfoTip" mask.
#include "lineinfo/DisplayOptions.h"
#include "lineinfo/LineInfoTexts.h"

#include "pages/RowLayout.h"

#include <gtest/gtest.h>

using namespace mavo;

namespace {

void SetStack(LineSide& side, int level, const char* customer, const char* centre, const char* quantity)
{
    side.m_stack[level] = StackLevel{customer, centre, quantity};
}

// A line with every field the window shows, each with a text of its own.
LineObject FullLine()
{
    LineObject line(12, 7);
    line.m_issueName = "UST 10Y";
    line.m_lastPersistTrade = "99.50";
    line.m_lastPersistTradeTime = "14:02";
    line.m_lastTrade = "99.25";
    line.m_lastTradeType = 1;
    line.m_lastTradeTime = "13:58";
    line.m_lastTradeNumber = "T-881";
    line.m_dailyHigh = "100.00";
    line.m_dailyLow = "98.75";
    line.m_dailyVolume = "1234.56";
    // Each side's field: the side's letter and the field's own name.
    using S = LineSide;
    const std::pair<std::string S::*, const char*> fields[] = {
        {&S::m_rate, "rate"},          {&S::m_prevRate, "prev"},         {&S::m_prevDate, "pdate"},
        {&S::m_prevCustomer, "pcust"}, {&S::m_prevPrevRate, "pprev"},    {&S::m_prevPrevDate, "ppdate"},
        {&S::m_prevPrevCustomer, "ppcust"}, {&S::m_lastTrade, "last"},  {&S::m_lastTradeTime, "time"},
        {&S::m_tradeNumber, "ticket"}, {&S::m_tradeHigh, "high"},        {&S::m_tradeLow, "low"},
        {&S::m_tradeVolume, "vol"}};
    for (const auto& [field, name] : fields) {
        line.m_bid.*field = std::string("b") + name;
        line.m_offer.*field = std::string("o") + name;
    }
    SetStack(line.m_bid, 0, "101", "250", "5");
    SetStack(line.m_offer, 0, "202", "310", "7");
    return line;
}

} // namespace

TEST(LineInfoTexts, CaptionCarriesPageLineAndTheWholeIssueName)
{
    // A name far longer than any fixed buffer stays whole.
    const std::string longName(600, 'Q');
    EXPECT_EQ(LineInfoCaption(300, 26, longName), "Page 300, Line 26 - " + longName);
    EXPECT_EQ(LineInfoCaption(1, 1, ""), "Page 1, Line 1 - ");
}

TEST(LineInfoTexts, SpreadTextsFollowTheRoleOfEachSide)
{
    LineSide side;
    side.m_spreadPartner = "UST 5Y";
    side.m_spreadRole = 'M';
    EXPECT_EQ(SpreadText(side), "spread MASTER for UST 5Y");
    side.m_spreadRole = 'S';
    EXPECT_EQ(SpreadText(side), "spread SLAVE to UST 5Y");
    for (char role : {' ', 'm', 's', 'X', '\0'}) {
        side.m_spreadRole = role;
        EXPECT_EQ(SpreadText(side), "(none)") << "role " << int(role);
    }
}

TEST(LineInfoTexts, StackTextListsBidLevelsDownwardsSkippingGapsAndOfferLevelsUpToTheFirstGap)
{
    LineObject line;
    SetStack(line.m_bid, 0, "101", "100", "5");
    SetStack(line.m_bid, 2, "103", "300", "15");
    SetStack(line.m_offer, 0, "201", "100", "7");
    SetStack(line.m_offer, 2, "203", "300", "9");
    EXPECT_EQ(StackText(line), "103 (15)  101 (5)  /  201 (7)  ");

    LineObject full;
    for (int level = 0; level < 5; ++level) {
        const std::string n = std::to_string(level);
        SetStack(full.m_bid, level, ("b" + n).c_str(), "100", n.c_str());
        SetStack(full.m_offer, level, ("o" + n).c_str(), "100", n.c_str());
    }
    EXPECT_EQ(StackText(full), "b4 (4)  b3 (3)  b2 (2)  b1 (1)  b0 (0)  /  o0 (0)  o1 (1)  o2 (2)  o3 (3)  o4 (4)  ");
    EXPECT_EQ(StackText(LineObject()), "/  ");
}

TEST(LineInfoTexts, TableHasFourteenRowsInOrderWithEachFieldInItsCell)
{
    const LineInfoTable table = BuildLineInfoTable(FullLine());
    const std::vector<std::vector<std::string>> expected{
        {"Rate", "", "brate", "orate"},
        {"Center", "", "250", "310"},
        {"Prev. Rate", "", "bprev", "oprev"},
        {"Prev. Date", "", "bpdate", "opdate"},
        {"Prev. Cust", "", "bpcust", "opcust"},
        {"PrPrev. Rate", "", "bpprev", "opprev"},
        {"PrPrev. Date", "", "bppdate", "oppdate"},
        {"PrPrev. Cust", "", "bppcust", "oppcust"},
        {"Last Trade", "99.50", "blast", "olast"},
        {"Time", "14:02", "btime", "otime"},
        {"Transaction", "T-881", "bticket", "oticket"},
        {"High", "100.00", "bhigh", "ohigh"},
        {"Low", "98.75", "blow", "olow"},
        {"Volume", "1234.56", "bvol", "ovol"},
    };
    std::vector<std::vector<std::string>> rows;
    for (const LineInfoRow& row : table)
        rows.push_back({row.name, row.total, row.bid, row.offer});
    EXPECT_EQ(rows, expected);
}

TEST(LineInfoTexts, WithheldLineOutsideTheFullViewShowsOnlyItsCaption)
{
    LineObject line = FullLine();
    line.m_bid.m_spreadRole = 'M';
    line.m_bid.m_spreadPartner = "P";
    line.m_issueFlags = 0x40000;
    const LineInfoTexts hidden = BuildLineInfoTexts(line, false);
    EXPECT_EQ(hidden.caption, "Page 12, Line 7 - UST 10Y");
    EXPECT_EQ(hidden.bidSpread, "(none)");
    EXPECT_EQ(hidden.stack, "");
    for (const LineInfoRow& row : hidden.table) {
        EXPECT_NE(std::string(row.name), "");
        EXPECT_EQ(row.total + row.bid + row.offer, "");
    }
    // The full view sees everything.
    const LineInfoTexts shown = BuildLineInfoTexts(line, true);
    EXPECT_EQ(shown.bidSpread, "spread MASTER for P");
    EXPECT_EQ(shown.offerSpread, "(none)");
    EXPECT_EQ(shown.table[0].bid, "brate");
    EXPECT_EQ(shown.stack, "101 (5)  /  202 (7)  ");
}

TEST(InfoTips, RateCellsShowBackupAndWhenCenterAsTheirOptionsSay)
{
    LineObject line;
    line.m_bid.m_backup = "99.10";
    line.m_bid.m_whenCenter = 250;
    line.m_offer.m_backup = "99.40";
    line.m_offer.m_whenCenter = 310;
    const int both = InfoTipBit::BackupPrice | InfoTipBit::WhenCenter;
    EXPECT_EQ(InfoTipText(line, COL_BID_RATE, InfoTipBit::BackupPrice), "Backup Bid: 99.10");
    EXPECT_EQ(InfoTipText(line, COL_BID_RATE, InfoTipBit::WhenCenter), "Hit When Center: 250");
    EXPECT_EQ(InfoTipText(line, COL_BID_RATE, both), "Backup Bid: 99.10\nHit When Center: 250");
    EXPECT_EQ(InfoTipText(line, COL_OFFER_RATE, InfoTipBit::BackupPrice), "Backup Offer: 99.40");
    EXPECT_EQ(InfoTipText(line, COL_OFFER_RATE, both), "Backup Offer: 99.40\nLift When Center: 310");
    EXPECT_EQ(InfoTipText(line, COL_BID_RATE, InfoTipBit::PreviousRate | InfoTipBit::TradeStatistics), "");

    // No backup price, a when-centre value of 0 or below: nothing.
    line.m_bid.m_backup.clear();
    line.m_bid.m_whenCenter = 0;
    line.m_offer.m_whenCenter = -5;
    EXPECT_EQ(InfoTipText(line, COL_BID_RATE, both), "");
    EXPECT_EQ(InfoTipText(line, COL_OFFER_RATE, InfoTipBit::WhenCenter), "");
}

TEST(InfoTips, PreviousCustomerCellsShowThePreviousRateOnlyWithPreviousRateOn)
{
    LineObject line;
    line.m_bid.m_prevCustomer = "104";
    line.m_bid.m_prevRate = "99.00";
    line.m_offer.m_prevRate = "99.75";  // no previous offer customer
    EXPECT_EQ(InfoTipText(line, COL_PREV_BID, InfoTipBit::PreviousRate), "Previous: 99.00");
    EXPECT_EQ(InfoTipText(line, COL_PREV_OFFER, InfoTipBit::PreviousRate), "");
    // "Previous Rate" off: nothing over a previous-customer cell.
    EXPECT_EQ(InfoTipText(line, COL_PREV_BID, InfoTipBit::KnownBits & ~InfoTipBit::PreviousRate), "");
}

TEST(InfoTips, IssueCellShowsTradeStatisticsWhenEitherSideHasATransaction)
{
    LineObject line = FullLine();
    EXPECT_EQ(InfoTipText(line, COL_ISSUE, InfoTipBit::TradeStatistics),
              "UST 10Y\nLast: Bid 99.25 @ 13:58\nHigh: 100.00\nLow: 98.75\nVolume: 1234.56");
    line.m_lastTradeType = 2;
    line.m_bid.m_tradeNumber.clear();
    EXPECT_EQ(InfoTipText(line, COL_ISSUE, InfoTipBit::TradeStatistics),
              "UST 10Y\nLast: Offer 99.25 @ 13:58\nHigh: 100.00\nLow: 98.75\nVolume: 1234.56");
    line.m_offer.m_tradeNumber.clear();
    EXPECT_EQ(InfoTipText(line, COL_ISSUE, InfoTipBit::TradeStatistics), "");
    EXPECT_EQ(InfoTipText(FullLine(), COL_ISSUE, InfoTipBit::AnyTip & ~InfoTipBit::TradeStatistics), "");
}

TEST(InfoTips, OtherCellsAndOtherLineKindsShowNothing)
{
    LineObject line = FullLine();
    line.m_bid.m_backup = "1";
    line.m_bid.m_whenCenter = 100;
    for (int column = 0; column < kColumnKinds; ++column) {
        if (column == COL_BID_RATE || column == COL_OFFER_RATE || column == COL_PREV_BID ||
            column == COL_PREV_OFFER || column == COL_ISSUE)
            continue;
        EXPECT_EQ(InfoTipText(line, column, InfoTipBit::KnownBits), "") << "column " << column;
    }
    line.m_kind = 'T';
    EXPECT_EQ(InfoTipText(line, COL_BID_RATE, InfoTipBit::KnownBits), "");
    line.m_kind = 'M';
    EXPECT_EQ(InfoTipText(line, COL_ISSUE, InfoTipBit::KnownBits), "");
}

TEST(DisplayOptions, TipsAreOnOnlyInTheFullViewWithATipBitSet)
{
    for (int mask = 0; mask < 64; ++mask) {
        EXPECT_FALSE(InfoTipsOn(mask, false)) << mask;
        EXPECT_EQ(InfoTipsOn(mask, true), (mask & 0x0F) != 0) << mask;
    }
}

TEST(DisplayOptions, MaskRoundTripKeepsEverySwitchAndUnknownBits)
{
    for (int mask = 0; mask < 64; ++mask)
        EXPECT_EQ(CDisplayOptions::FromMask(mask).ToMask(), mask);
    EXPECT_EQ(CDisplayOptions::FromMask(0x15), (CDisplayOptions{true, false, true, false, true, false, 0}));
    // A value written by another build keeps its other bits.
    CDisplayOptions other = CDisplayOptions::FromMask(0x1C0 | 0x03);
    other.backupPriceTips = false;
    EXPECT_EQ(other.ToMask(), 0x1C0 | 0x02);
    EXPECT_EQ(CDisplayOptions::FromMask(-1).ToMask(), -1);
}
