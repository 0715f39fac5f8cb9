// Number cells on a real font: the default rate columns hold the feed's
// widest rate at any page font size, and a number that does not fit its
// cell is painted as '#' rather than with its leading digits cut.
#include "pages/ui/RowPainter.h"

#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>

#include <gtest/gtest.h>

using namespace mavo;

namespace {

QImage PaintText(const std::string& text, bool number, const RowFonts& fonts, int width)
{
    PaintOp op;
    op.type = PaintOp::Text;
    op.rect = Rect{0, 0, width, 20};
    op.textRect = op.rect;
    op.fg = 0x00FF00;
    op.bg = 0x000000;
    op.align = Align::Right;
    op.text = text;
    op.number = number;
    QImage image(width, 20, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    COwnLevelStrips strips;
    PaintRow(painter, {op}, fonts, strips);
    painter.end();
    return image;
}

} // namespace

TEST(NumberCells, DefaultRateColumnsHoldTheWidestRateAtEveryFontSize)
{
    for (int pixels : {11, 13, 16, 20, 27}) {
        CPageFormat format;
        format.font.height = -pixels;
        const RowFonts fonts = RowFonts::For(format.font);
        const CQtFontMeasure measure(fonts.page);
        const CColumnWidths widths(format, measure);
        for (const char* rate : {"100.6875", "101.2500", "-16.000"}) {
            EXPECT_GE(widths.Nominal(COL_BID_RATE), measure.TextWidth(rate)) << rate << " at " << pixels;
            EXPECT_GE(widths.Nominal(COL_TM_RATE) - kTradeMonitorInset, measure.TextWidth(rate)) << rate;
            EXPECT_GE(widths.Nominal(COL_TH_RATE), measure.TextWidth(rate)) << rate;
        }
    }
}

TEST(NumberCells, ANumberThatDoesNotFitIsPaintedAsHashes)
{
    CPageFormat format;
    const RowFonts fonts = RowFonts::For(format.font);
    const CQtFontMeasure measure(fonts.page);
    const int fits = measure.TextWidth("100.6875");
    // Wide enough: the number itself, as a plain text paints it.
    EXPECT_EQ(PaintText("100.6875", true, fonts, fits + 2), PaintText("100.6875", false, fonts, fits + 2));
    // Too narrow: the hashes, never the cut number.
    const int narrow = fits - 3;
    const QImage shown = PaintText("100.6875", true, fonts, narrow);
    EXPECT_NE(shown, PaintText("100.6875", false, fonts, narrow));
    EXPECT_EQ(shown, PaintText(FitNumberText("100.6875", narrow, measure), false, fonts, narrow));
    EXPECT_EQ(FitNumberText("100.6875", narrow, measure).find_first_not_of('#'), std::string::npos);
}

TEST(FontDialog, OpensOnThePagesOwnFontAndGivesItBack)
{
    for (int pixels : {16, 20, 12}) {
        LogFont page;
        page.height = -pixels;
        const QFont offered = FontForDialog(page);
        EXPECT_EQ(offered.family(), QFontInfo(FontFromLogFont(page)).family());
        EXPECT_FALSE(offered.family().isEmpty());
        EXPECT_EQ(offered.pixelSize(), pixels);
        const QFont shown = InPoints(offered);
        EXPECT_DOUBLE_EQ(shown.pointSizeF(), pixels * 0.75);
        EXPECT_EQ(shown.family(), offered.family());
        EXPECT_EQ(LogFontFromFont(shown).height, -pixels);
    }
}

TEST(IssueNames, TheFeedsBuiltInIssuesFitTheDefaultIssueColumn)
{
    QProcess zphd;
    zphd.start(QStringLiteral(ZPHD_PATH), {QStringLiteral("--print-config")});
    ASSERT_TRUE(zphd.waitForFinished(20000));
    const QString config = QString::fromUtf8(zphd.readAllStandardOutput());
    const CPageFormat format;
    const RowFonts fonts = RowFonts::For(format.font);
    const CQtFontMeasure measure(fonts.page);
    const int column = CColumnWidths(format, measure).Nominal(COL_ISSUE);
    int issues = 0;
    for (const QString& line : config.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QStringLiteral("issue \"")))
            continue;
        const QString name = line.section(QLatin1Char('"'), 1, 1);
        ++issues;
        EXPECT_LE(measure.TextWidth(name.toStdString()), column) << name.toStdString();
    }
    EXPECT_GT(issues, 20);
}
