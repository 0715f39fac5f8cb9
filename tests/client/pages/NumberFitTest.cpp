// Numbers in cells: never shown cut, and the default rate columns hold the
// widest rate the feed sends.
#include "pages/RowCells.h"
#include "pages/RowLayout.h"
#include "zph/LineObject.h"
#include "PagesTestSupport.h"

#include <gtest/gtest.h>

using namespace mavo;

namespace {

// A proportional font: digits wider than the average character, a narrow
// point, as the usual sans-serif faces measure.
class ProportionalFont : public CFontMeasure {
public:
    int AverageCharWidth() const override { return 8; }
    int TextWidth(std::string_view text) const override
    {
        int width = 0;
        for (char c : text)
            width += c >= '0' && c <= '9' ? 10 : c == '.' ? 5 : c == '#' ? 9 : 8;
        return width;
    }
    int Height() const override { return 18; }
    int InternalLeading() const override { return 2; }
};

struct FitCase {
    const char* text;
    int width;
    const char* shown;
};

} // namespace

TEST(FitNumberText, AWholeNumberOrHashesNeverACutNumber)
{
    const pagestest::FixedFont font(8);
    const FitCase cases[] = {
        {"100.6875", 64, "100.6875"},  // exactly fits
        {"100.6875", 63, "#######"},   // one pixel short: the cell is filled with '#'
        {"63.750", 40, "#####"},
        {"63.750", 7, ""},             // not even one '#' fits
        {"5", 8, "5"},
        {"", 0, ""},
        {"12", -4, ""},
    };
    for (const FitCase& c : cases)
        EXPECT_EQ(FitNumberText(c.text, c.width, font), c.shown) << c.text << " in " << c.width;
    // A proportional font: as many '#' as its measure allows.
    EXPECT_EQ(FitNumberText("101.2500", 50, ProportionalFont()), "#####");
}

TEST(FitNumberText, DefaultRateColumnsHoldTheWidestFeedRate)
{
    // Digits wider than the average character (real fonts: NumberCells).
    const CPageFormat defaults;
    const ProportionalFont font;
    const CColumnWidths w(defaults, font);
    const int widest = font.TextWidth("100.6875");
    for (int column : {COL_BID_RATE, COL_OFFER_RATE, COL_TH_RATE})
        EXPECT_GE(w.Nominal(column), widest) << column;
    EXPECT_GE(w.Nominal(COL_TM_RATE), widest + kTradeMonitorInset);
    EXPECT_GE(w.Nominal(COL_BID_RATE), defaults.rateSize * font.AverageCharWidth());
    EXPECT_EQ(RateTextWidth(0, ProportionalFont()), 0);
    EXPECT_EQ(RateTextWidth(7, ProportionalFont()), 75);
}

TEST(FitNumberText, PricesQuantitiesAndTradeNumbersAreMarkedAsNumbers)
{
    CPageFormat format;
    format.showTradeHistory = 1;
    const pagestest::FixedFont font(8);
    const CColumnWidths widths(format, font);
    const int nominal = PageNominalWidth(format, widths, false, false);
    const RowGeometry geometry{&format, &widths, nominal};
    const CColorSchemes schemes;
    RowContext context;
    LineObject line(7, 3);
    line.m_kind = 'F';
    line.m_issueName = "UST 4 3/8 11/30";
    line.m_bid.m_attribute = 2;
    line.m_bid.m_rate = "100.6875";
    line.m_bid.m_quantity = "10";
    line.m_offer.m_attribute = 6;  // "Error": a text, not a number
    line.m_offer.m_rate = "100.75";
    line.m_lastTrade = "100.625";
    const auto ops = BuildRow(line, geometry, schemes.ForStyle(0), context, Rect{0, 0, nominal, 16});
    auto number = [&](const char* text) {
        const PaintOp* op = pagestest::FindText(ops, text);
        return op != nullptr && op->number;
    };
    EXPECT_TRUE(number("100.6875"));
    EXPECT_TRUE(number("10"));
    EXPECT_TRUE(number("100.625"));
    EXPECT_FALSE(number("Error"));
    EXPECT_FALSE(number("UST 4 3/8 11/30"));
    EXPECT_FALSE(number("3"));  // the line number is centred in a cell made for it
}
