#include "pages/RowLayout.h"
#include "PagesTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>
#include <utility>

using namespace mavo;

namespace {

std::vector<int> Kinds(const RowPlan& plan)
{
    std::vector<int> kinds;
    for (const auto& item : plan.items)
        kinds.push_back(item.kind);
    return kinds;
}

} // namespace

TEST(ColumnWidths, KindsOutsideTheTableHaveNoWidth)
{
    const CColumnWidths w(CPageFormat{}, pagestest::FixedFont(8));
    for (int kind : {static_cast<int>(COL_NOTHING), -1, 32})
        EXPECT_EQ(w.Nominal(kind), 0) << kind;
}

TEST(RowPlan, FieldRowOrderInAndOutOfFullView)
{
    CPageFormat f;
    f.bidAggrSize = 2;
    f.showPrevious = 1;
    f.showIndicative = 1;
    f.showTradeHistory = 1;
    f.showSpreads = 1;
    EXPECT_EQ(Kinds(PlanFieldRow(f, true)),
              (std::vector<int>{0, 1, 18, 30, 6, 5, 2, 3, 4, 5, 30, 19, 8, 9, 10, 16, 11, 12, 13, 14, 15, 17}));
    // Outside full view: summaries for stacks, nothing of previous, aggressors,
    // volume, transaction numbers or spreads.
    EXPECT_EQ(Kinds(PlanFieldRow(f, false)), (std::vector<int>{0, 1, 30, 7, 2, 3, 4, 7, 30, 8, 9, 10, 13, 14, 15}));
    f.showNumbers = 0;
    f.showTradeHistory = 0;
    f.showIndicative = 0;
    EXPECT_EQ(Kinds(PlanFieldRow(f, false)), (std::vector<int>{1, 7, 2, 3, 4, 7, 8, 9, 10}));
}

TEST(RowPlan, StackSizeZeroShowsNoStackCellsAndNoSummary)
{
    CPageFormat f;
    f.bidStackSize = 0;
    f.offerStackSize = 0;
    EXPECT_EQ(Kinds(PlanFieldRow(f, true)), (std::vector<int>{0, 1, 2, 3, 4, 8, 9, 10}));
    EXPECT_EQ(Kinds(PlanFieldRow(f, false)), (std::vector<int>{0, 1, 2, 3, 4, 8, 9, 10}));
    f.offerStackSize = 3;
    const RowPlan plan = PlanFieldRow(f, true);
    ASSERT_EQ(Kinds(plan), (std::vector<int>{0, 1, 2, 3, 4, 5, 8, 9, 10}));
    EXPECT_EQ(plan.items[5].levels, 3);
    EXPECT_EQ(plan.items[5].side, 1);
}

TEST(RowPlan, TradeMonitorAndTextRows)
{
    CPageFormat f;
    EXPECT_EQ(Kinds(PlanTradeMonitorRow(f)), (std::vector<int>{0, 21, 22, 23, 24, 25, 26, 27, 28, 29}));
    f.tmShowNumbers = 0;
    f.tmShowVolume = 0;
    f.tmShowStack = 0;
    EXPECT_EQ(Kinds(PlanTradeMonitorRow(f)), (std::vector<int>{21, 22, 24, 25, 29}));
    f.tmShowNumbers = 1;
    f.showNumbers = 0;  // both switches are needed
    EXPECT_EQ(Kinds(PlanTradeMonitorRow(f)), (std::vector<int>{21, 22, 24, 25, 29}));
    EXPECT_EQ(Kinds(PlanTextRow(f)), (std::vector<int>{20}));
    EXPECT_TRUE(PlanRow('X', f, true).items.empty());
    EXPECT_TRUE(PlanRow('\0', f, false).items.empty());
}

TEST(RowLayout, PageNominalWidthTakesTextAndTradeMonitorRowsIntoAccount)
{
    CPageFormat f;
    const pagestest::FixedFont font(8);
    CColumnWidths w(f, font);
    const int field = 38 + 120 + 8 + 64 + 8 + 64 + 8 + 56 + 8 + 56;  // a rate: 7 digits and a point
    EXPECT_EQ(PageNominalWidth(f, w, false, false), field);
    EXPECT_EQ(PageNominalWidth(f, w, true, false), field - 16 + 2 * 64);
    EXPECT_EQ(PageNominalWidth(f, w, false, true), field);  // 40 chars + number is narrower

    f.issueSize = 2;
    f.rateSize = 2;
    f.quantitySize = 2;
    w = CColumnWidths(f, font);
    EXPECT_EQ(PageNominalWidth(f, w, false, true), 320 + 38);

    f.tmHasTradeLines = 1;
    w = CColumnWidths(f, font);
    const int tm = 38 + 32 + 16 + 56 + 29 + 120 + 32 + 144 + 32 + 39;  // rate: 2 digits, a point, the inset
    EXPECT_EQ(NominalWidth(PlanTradeMonitorRow(f), w), tm);
    EXPECT_EQ(PageNominalWidth(f, w, false, false), tm);
}

TEST(RowLayout, ScalingIsAMultiplyDivideAndNeverDividesByZero)
{
    EXPECT_EQ(ScaleWidth(100, 200, 400), 50);
    EXPECT_EQ(ScaleWidth(3, 1, 2), 2);       // 1.5 rounds up
    EXPECT_EQ(ScaleWidth(1, 1, 3), 0);
    EXPECT_EQ(ScaleWidth(100, 400, 400), 100);
    EXPECT_EQ(ScaleWidth(100, 500, 0), 100);  // nothing to scale against
    EXPECT_EQ(ScaleWidth(100, 500, -4), 100);
    EXPECT_EQ(ScaleWidth(2000000000, 2000000000, 1000000000), INT_MAX);  // saturates, never wraps
}

TEST(RowLayout, NarrowRowShrinksEveryCellInProportion)
{
    CPageFormat f;
    const CColumnWidths w(f, pagestest::FixedFont(8));
    const RowPlan plan = PlanFieldRow(f, false);
    const int nominal = PageNominalWidth(f, w, false, false);
    const auto full = LayRow(plan, w, 0, nominal, nominal);
    const auto half = LayRow(plan, w, 10, nominal / 2, nominal);
    ASSERT_EQ(full.size(), half.size());
    EXPECT_EQ(half.front().left, 10);
    for (std::size_t i = 0; i < full.size(); ++i) {
        const int fw = full[i].right - full[i].left;
        const int hw = half[i].right - half[i].left;
        EXPECT_EQ(fw, w.Nominal(full[i].kind) * full[i].levels);
        EXPECT_NEAR(hw, fw / 2.0, 0.5) << "cell " << i;
        if (i > 0) {
            EXPECT_EQ(half[i].left, half[i - 1].right);
        }
    }
}

TEST(HitTest, WalksTheScaledLayout)
{
    CPageFormat f;
    const CColumnWidths w(f, pagestest::FixedFont(8));
    const int nominal = PageNominalWidth(f, w, false, false);
    // Unscaled: line number 0..37, issue 38..157, summary 158..165, bid rate 166..229.
    const std::pair<int, int> unscaled[] = {{0, COL_LINE_NUMBER},      {37, COL_LINE_NUMBER},
                                            {38, COL_ISSUE},           {160, COL_STACK_SUMMARY},
                                            {200, COL_BID_RATE},       {nominal - 1, COL_OFFER_QUANTITY},
                                            {nominal, COL_NOTHING},    {-1, COL_NOTHING}};
    for (const auto& [x, column] : unscaled)
        EXPECT_EQ(HitTest('F', f, w, false, nominal, nominal, x), column) << x;
    // At twice the width the bid rate sits twice as far right: at 200 there
    // is still the issue.
    EXPECT_EQ(HitTest('F', f, w, false, 2 * nominal, nominal, 200), COL_ISSUE);
    EXPECT_EQ(HitTest('F', f, w, false, 2 * nominal, nominal, 400), COL_BID_RATE);
    // No line numbers: the row starts with the issue.
    f.showNumbers = 0;
    EXPECT_EQ(HitTest('F', f, w, false, nominal, nominal, 0), COL_ISSUE);
}

TEST(HitTest, TextLinesAndOtherKinds)
{
    CPageFormat f;
    const CColumnWidths w(f, pagestest::FixedFont(8));
    const std::tuple<char, int, int> hits[] = {{'T', 10, COL_LINE_NUMBER}, {'T', 100, COL_TEXT_LINE},
                                               {'T', 399, COL_TEXT_LINE},  {'T', 400, COL_NOTHING},
                                               {'M', 100, COL_NOTHING},    {'Q', 100, COL_NOTHING}};
    for (const auto& [kind, x, column] : hits)
        EXPECT_EQ(HitTest(kind, f, w, false, 400, 400, x), column) << kind << " " << x;
}
