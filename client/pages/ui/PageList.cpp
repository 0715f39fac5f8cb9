#include "pages/ui/PageList.h"

#include "core/FeedLibrary.h"
#include "zph/ZPHKey.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace mavo {

CPageList::CPageList(CPageFeed& feed, CPageEnvironment& environment, QWidget* parent)
    : QWidget(parent), m_feed(feed), m_env(environment), m_blinks(environment.flashCount)
{
    setObjectName(QStringLiteral("PageList"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    SetFormat(m_format);
}

void CPageList::SetFormat(const CPageFormat& format)
{
    m_format = format;
    m_format.Normalize();
    m_fonts = RowFonts::For(m_format.font);
    Relayout();
}

void CPageList::SetKeys(const std::vector<unsigned>& keys)
{
    m_keys = keys;
    Relayout();
}

bool CPageList::HasTextLines() const
{
    for (unsigned key : m_keys)
        if (const LineRef line = m_feed.Cache().GetForRead(key); line && line->m_kind == 'T')
            return true;
    return false;
}

void CPageList::Relayout()
{
    m_widths = CColumnWidths(m_format, CQtFontMeasure(m_fonts.page));
    m_fullView = m_feed.IsFullView();
    m_hasTextLines = HasTextLines();
    m_pageNominal = mavo::PageNominalWidth(m_format, m_widths, m_fullView, m_hasTextLines);
    m_blinks.Clear();
    m_pictures.Clear();
    update();
}

bool CPageList::NoteChangedLine(unsigned key)
{
    if (m_hasTextLines)
        return false;
    const LineRef line = m_feed.Cache().GetForRead(key);
    if (!line || line->m_kind != 'T')
        return false;
    Relayout();
    return true;
}

QRect CPageList::RowRect(int index) const
{
    if (index < 0 || index >= RowCount())
        return {};
    return QRect(0, index * RowHeight(), width(), RowHeight());
}

int CPageList::RowAt(int y) const
{
    if (y < 0 || RowHeight() <= 0)
        return -1;
    const int index = y / RowHeight();
    return index < RowCount() ? index : -1;
}

QSize CPageList::NominalSize() const { return QSize(m_pageNominal, RowCount() * RowHeight()); }

int CPageList::HitTest(const QPoint& point) const
{
    const int index = RowAt(point.y());
    if (index < 0)
        return COL_NOTHING;
    const LineRef line = m_feed.Cache().GetForRead(m_keys[static_cast<std::size_t>(index)]);
    if (!line)
        return COL_NOTHING;
    return mavo::HitTest(line->m_kind, m_format, m_widths, m_fullView, width(), m_pageNominal, point.x());
}

void CPageList::UpdateRow(int index)
{
    const QRect rect = RowRect(index);
    if (!rect.isEmpty())
        update(rect);
}

void CPageList::OnFlashTick(int count)
{
    const std::vector<Rect> changed = m_blinks.Tick(count);
    if (changed.empty())
        return;
    QRegion region;
    for (const Rect& r : changed)
        region += ToQRect(r);
    update(region);
}

std::vector<PaintOp> CPageList::RowOperations(int index, const QRect& rect) const
{
    const unsigned key = m_keys[static_cast<std::size_t>(index)];
    const Rect row{rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
    const LineRef line = m_feed.Cache().GetForRead(key);
    if (!line)
        return BuildMissingRow(row);
    int page = 0, number = 0;
    ParseZPHKey(key, page, number);
    const RowContext ctx = m_env.ContextFor(m_feed, page, m_format.showNumbers != 0);
    const RowGeometry geometry{&m_format, &m_widths, m_pageNominal};
    const CColorScheme& scheme = SchemeForLine(*line, m_env.schemes, m_format.colorStyle);
    return BuildRow(*line, geometry, scheme, ctx, row);
}

void CPageList::paintEvent(QPaintEvent* event)
{
    ++m_paintCount;
    m_lastPaintRegion = event->region();
    // The user level decides the cells; a change shows on the next paint.
    if (m_feed.IsFullView() != m_fullView)
        Relayout();
    QPainter painter(this);
    const QRect area = event->rect();
    const int first = std::max(0, RowAt(area.top()));
    for (int i = first; i < RowCount(); ++i) {
        const QRect rect = RowRect(i);
        if (rect.top() > area.bottom())
            break;
        // Rows between the parts of the region are not painted.
        if (!m_lastPaintRegion.intersects(rect))
            continue;
        std::vector<PaintOp> ops = RowOperations(i, rect);
        RegisterBlinks(m_blinks, ops);
        m_pictures.Paint(painter, i, rect, area, std::move(ops), m_fonts, m_strips);
        ++m_rowsPainted;
    }
    // Below the last row: the row background.
    const int end = RowCount() * RowHeight();
    if (area.bottom() >= end)
        painter.fillRect(QRect(area.left(), end, area.width(), area.bottom() - end + 1),
                         ToQColor(m_env.schemes.ForStyle(m_format.colorStyle).Get(Entry::RowBG)));
    PaintFeedNotice(painter);
}

void CPageList::PaintFeedNotice(QPainter& painter)
{
    if (m_env.feedNotice.empty())
        return;
    // A band across the middle of the page, white on black whatever the
    // scheme, drawn over the rows at every paint so a row repaint keeps it.
    QFont font = m_fonts.page;
    font.setBold(true);
    const QFontMetrics metrics(font);
    const QString text = QString::fromStdString(m_env.feedNotice);
    const int bandHeight = metrics.height() + 8;
    const QRect band(0, (height() - bandHeight) / 2, width(), bandHeight);
    painter.fillRect(band, Qt::black);
    painter.setPen(Qt::white);
    painter.setFont(font);
    painter.drawText(band, Qt::AlignCenter | Qt::TextSingleLine, text);
}

void CPageList::RenderRows(QPainter& painter, const QRect& area)
{
    for (int i = 0; i < RowCount(); ++i) {
        const QRect rect(area.left(), area.top() + i * RowHeight(), area.width(), RowHeight());
        PaintRow(painter, RowOperations(i, rect), m_fonts, m_strips);
    }
}

void CPageList::mousePressEvent(QMouseEvent* event)
{
    if (m_mouse)
        m_mouse(event, QEvent::MouseButtonPress);
}

void CPageList::mouseMoveEvent(QMouseEvent* event)
{
    if (m_mouse)
        m_mouse(event, QEvent::MouseMove);
}

void CPageList::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_mouse)
        m_mouse(event, QEvent::MouseButtonRelease);
}

void CPageList::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_mouse)
        m_mouse(event, QEvent::MouseButtonDblClick);
}

void CPageList::leaveEvent(QEvent* event)
{
    if (m_mouse)
        m_mouse(nullptr, QEvent::Leave);
    QWidget::leaveEvent(event);
}

void CPageList::resizeEvent(QResizeEvent* event)
{
    // Cells scale to the new width: the blinking cells moved.
    m_blinks.Clear();
    m_pictures.Clear();
    QWidget::resizeEvent(event);
}

} // namespace mavo
