#include "pages/ui/PagePrinter.h"

#include "Brindle/base/Timestamp.h"
#include "pages/PrintLayout.h"
#include "pages/RowCells.h"
#include "pages/ui/RowPainter.h"
#include "core/FeedLibrary.h"
#include "zph/ZPHKey.h"

#include <QPagedPaintDevice>
#include <QPainter>

namespace mavo {

namespace {

void DrawHeaderText(QPainter& painter, const Rect& area, int fontHeight, const QString& family, const QString& text)
{
    const QRect rect = ToQRect(area);
    if (rect.isEmpty())
        return;
    painter.fillRect(rect, Qt::white);
    QFont font(family);
    font.setPixelSize(std::max(1, fontHeight));
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.save();
    painter.setClipRect(rect);
    painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.restore();
}

} // namespace

bool PrintDocuments(QPagedPaintDevice& device, const std::vector<const CMAVODoc*>& documents,
                    const CPageFormat& printFormat, const CPageEnvironment& environment, const CPageFeed& feed)
{
    if (documents.empty())
        return false;
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const Rect page{0, 0, device.width(), device.height()};
    CPageFormat format = printFormat;
    format.Normalize();
    const PrintHeaderLayout header = LayPrintHeader(page);
    const Rect firstLine = PrintLineRect(page, 0);
    // The print font fills a line band.
    LogFont lf = format.font;
    lf.height = -std::max(1, firstLine.Height() - 2);
    RowFonts fonts;
    fonts.page = FontFromLogFont(lf);
    fonts.small = fonts.page;
    fonts.small.setPixelSize(std::max(1, fonts.page.pixelSize() * 8 / 10));
    const CColumnWidths widths(format, CQtFontMeasure(fonts.page, &device));
    COwnLevelStrips strips;
    const QString family = QString::fromStdString(format.font.FaceName());

    bool first = true;
    for (const CMAVODoc* doc : documents) {
        if (doc == nullptr)
            continue;
        if (!first)
            device.newPage();
        first = false;
        DrawHeaderText(painter, header.titleArea, header.titleFontHeight, family,
                       QString::fromStdString(doc->GetTitle()));
        DrawHeaderText(painter, header.timeArea, header.timeFontHeight, family,
                       QString::fromStdString(PrintTimeText(Brindle::CTimestamp())));

        bool hasText = false;
        for (unsigned key : doc->Lines())
            if (const LineRef line = feed.Cache().GetForRead(key); line && line->m_kind == 'T')
                hasText = true;
        const int nominal = PageNominalWidth(format, widths, feed.IsFullView(), hasText);
        const RowGeometry geometry{&format, &widths, nominal};
        for (int i = 0; i < doc->GetLineCount(); ++i) {
            const Rect row = PrintLineRect(page, i);
            if (row.bottom > page.bottom)
                break;
            const unsigned key = doc->GetLineKey(i);
            const LineRef line = feed.Cache().GetForRead(key);
            if (!line)
                continue;
            int linePage = 0, number = 0;
            ParseZPHKey(key, linePage, number);
            RowContext ctx = environment.ContextFor(feed, linePage, format.showNumbers != 0);
            ctx.flashCount = 0;  // paper does not blink: every text shows
            const CColorScheme& scheme = SchemeForLine(*line, environment.schemes, format.colorStyle);
            painter.save();
            painter.setClipRect(ToQRect(row));
            PaintRow(painter, BuildRow(*line, geometry, scheme, ctx, row), fonts, strips);
            painter.restore();
        }
    }
    painter.end();
    return true;
}

} // namespace mavo
