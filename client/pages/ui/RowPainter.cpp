#include "pages/ui/RowPainter.h"

#include <QFontInfo>
#include <QPainter>
#include <QPaintDevice>

#include <algorithm>
#include <cmath>

namespace mavo {

QFont FontFromLogFont(const LogFont& lf, double pixelScale)
{
    QFont font(QString::fromStdString(lf.FaceName()));
    // A negative height is the character height, a positive one the cell
    // height; both are taken as the pixel size here, 0 as the usual size.
    int pixels = lf.height == 0 ? 16 : std::abs(lf.height);
    pixels = std::max(1, static_cast<int>(std::lround(pixels * pixelScale)));
    font.setPixelSize(pixels);
    const int weight = lf.weight == 0 ? 400 : std::clamp(static_cast<int>(lf.weight), 100, 900);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setItalic(lf.italic != 0);
    font.setUnderline(lf.underline != 0);
    font.setStrikeOut(lf.strikeOut != 0);
    if ((lf.pitchAndFamily & 0x03) == 1)  // fixed pitch
        font.setStyleHint(QFont::Monospace);
    else
        font.setStyleHint(QFont::SansSerif);
    return font;
}

QFont FontForDialog(const LogFont& lf)
{
    QFont font = FontFromLogFont(lf);
    font.setFamily(QFontInfo(font).family());
    return font;
}

QFont InPoints(const QFont& font)
{
    QFont pointed = font;
    if (font.pixelSize() > 0)
        pointed.setPointSizeF(font.pixelSize() * 72.0 / 96.0);
    return pointed;
}

LogFont LogFontFromFont(const QFont& font)
{
    LogFont lf;
    int pixels = font.pixelSize();
    if (pixels <= 0)
        pixels = static_cast<int>(std::lround(font.pointSizeF() * 96.0 / 72.0));
    lf.height = -std::clamp(pixels, 1, LogFont::kMaxHeight);
    lf.weight = std::clamp(static_cast<int>(font.weight()), 100, 900);
    lf.italic = font.italic() ? 1 : 0;
    lf.underline = font.underline() ? 1 : 0;
    lf.strikeOut = font.strikeOut() ? 1 : 0;
    lf.pitchAndFamily = font.fixedPitch() ? 0x31 : 0x22;
    lf.SetFaceName(font.family().toStdString());
    return lf;
}

CQtFontMeasure::CQtFontMeasure(const QFont& font, QPaintDevice* device)
    : m_font(font), m_metrics(device != nullptr ? QFontMetrics(font, device) : QFontMetrics(font))
{
}

int CQtFontMeasure::AverageCharWidth() const { return m_metrics.averageCharWidth(); }

int CQtFontMeasure::TextWidth(std::string_view text) const
{
    return m_metrics.horizontalAdvance(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
}

int CQtFontMeasure::Height() const { return m_metrics.height(); }

int CQtFontMeasure::InternalLeading() const
{
    // The space above the characters inside the font's height: what the
    // font's ascent and descent hold beyond the em.
    const int em = m_font.pixelSize() > 0 ? m_font.pixelSize() : m_metrics.ascent();
    return std::clamp(m_metrics.height() - em, 0, m_metrics.height());
}

RowFonts RowFonts::For(const LogFont& font, double pixelScale, QPaintDevice*)
{
    RowFonts fonts;
    fonts.page = FontFromLogFont(font, pixelScale);
    fonts.small = fonts.page;
    fonts.small.setPixelSize(std::max(1, fonts.page.pixelSize() * 8 / 10));
    return fonts;
}

const QPixmap& COwnLevelStrips::Strip(int size, bool highContrast)
{
    size = std::clamp(size, 0, 2);
    QPixmap& strip = m_strips[static_cast<std::size_t>(size * 2 + (highContrast ? 1 : 0))];
    if (!strip.isNull())
        return strip;
    const OwnLevelStrip geometry = OwnLevelStripFor(size == 0 ? 0 : size == 1 ? 20 : 30);
    strip = QPixmap(geometry.pictureWidth * 5, geometry.pictureHeight);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing, false);
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(std::max(6, geometry.pictureHeight - 4));
    font.setBold(true);
    p.setFont(font);
    const QColor face = highContrast ? QColor(255, 255, 0) : QColor(0, 255, 255);
    const QColor ink = highContrast ? QColor(0, 0, 0) : QColor(0, 0, 128);
    for (int level = 1; level <= 5; ++level) {
        const QRect cell((level - 1) * geometry.pictureWidth, 0, geometry.pictureWidth, geometry.pictureHeight);
        const QRect box = cell.adjusted(1, 1, -1, -1);
        p.fillRect(box, face);
        p.setPen(ink);
        p.drawRect(box.adjusted(0, 0, -1, -1));
        p.drawText(box, Qt::AlignCenter, QString::number(level));
    }
    return strip;
}

const CQtFontMeasure& CRowMeasures::For(bool small)
{
    std::optional<CQtFontMeasure>& m = small ? m_small : m_page;
    if (!m)
        m.emplace(small ? m_fonts.small : m_fonts.page, m_device);
    return *m;
}

void PaintOperation(QPainter& painter, const PaintOp& op, const RowFonts& fonts, COwnLevelStrips& strips,
                    CRowMeasures& measures)
{
    switch (op.type) {
    case PaintOp::Fill: painter.fillRect(ToQRect(op.rect), ToQColor(op.bg)); break;
    case PaintOp::Text: {
        painter.fillRect(ToQRect(op.rect), ToQColor(op.bg));
        if (op.text.empty() || op.hidden)
            break;
        int flags = Qt::AlignVCenter | Qt::TextSingleLine;
        flags |= op.align == Align::Left ? Qt::AlignLeft : op.align == Align::Right ? Qt::AlignRight : Qt::AlignHCenter;
        painter.setPen(ToQColor(op.fg));
        painter.setFont(op.small ? fonts.small : fonts.page);
        // drawText clips to its rectangle itself when the text does not
        // fit, and the text rectangle lies inside the cell; a number
        // that does not fit shows as '#' rather than cut.
        const std::string& text = op.number ? FitNumberText(op.text, op.textRect.Width(), measures.For(op.small)) : op.text;
        painter.drawText(ToQRect(op.textRect), flags, QString::fromStdString(text));
        break;
    }
    case PaintOp::HLine:
        painter.fillRect(QRect(op.rect.left, op.rect.top, op.rect.Width(), 1), ToQColor(op.fg));
        break;
    case PaintOp::OwnLevel: {
        const QPixmap& strip = strips.Strip(op.strip, op.highContrast);
        const int w = op.target.Width();
        painter.save();
        painter.setClipRect(ToQRect(op.rect), Qt::IntersectClip);
        painter.drawPixmap(ToQRect(op.target), strip, QRect((op.level - 1) * w, 0, w, op.target.Height()));
        painter.restore();
        break;
    }
    }
}

void RegisterBlinks(CBlinkTracker& tracker, const std::vector<PaintOp>& ops)
{
    for (const PaintOp& op : ops)
        if (op.type == PaintOp::Text && op.cadence > 0)
            tracker.Register(op.rect, op.cadence);
}

void PaintRow(QPainter& painter, const std::vector<PaintOp>& ops, const RowFonts& fonts, COwnLevelStrips& strips,
              CBlinkTracker* tracker)
{
    if (tracker != nullptr)
        RegisterBlinks(*tracker, ops);
    CRowMeasures measures(fonts, painter.device());
    for (const PaintOp& op : ops)
        PaintOperation(painter, op, fonts, strips, measures);
}

} // namespace mavo
