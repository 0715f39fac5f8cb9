#include "pages/ui/RowPictureCache.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRegion>

#include <functional>

namespace mavo {

namespace {

// The pixel format the painter really draws in: a widget paints into its
// window's backing store, a render into the image given.
QImage::Format DeviceFormat(QPainter& painter)
{
    const QPaintEngine* engine = painter.paintEngine();
    const QPaintDevice* device = engine != nullptr ? engine->paintDevice() : painter.device();
    if (device != nullptr && device->devType() == QInternal::Image)
        return static_cast<const QImage*>(device)->format();
    return QImage::Format_RGB32;
}

// The pixels an operation can touch.
QRect Reach(const PaintOp& op)
{
    if (op.type == PaintOp::HLine)
        return QRect(op.rect.left, op.rect.top, op.rect.Width(), 1);
    return ToQRect(op.rect);
}

// Where the operations of a row differ from those it was drawn from.
QRegion Changes(const std::vector<PaintOp>& before, const std::vector<PaintOp>& now, const QRect& row)
{
    if (before.size() != now.size())
        return QRegion(row);
    QRegion changed;
    for (std::size_t i = 0; i < now.size(); ++i)
        if (!(before[i] == now[i])) {
            changed += Reach(before[i]);
            changed += Reach(now[i]);
        }
    return changed;
}

} // namespace

std::size_t CRowPictureCache::CellKeyHash::operator()(const CellKey& key) const
{
    std::size_t h = std::hash<std::string>()(key.text);
    const auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
    mix(key.fg);
    mix(key.bg);
    mix(static_cast<std::size_t>(key.width) << 16 ^ static_cast<std::size_t>(key.height));
    mix(static_cast<std::size_t>(key.textRect.left) << 16 ^ static_cast<std::size_t>(key.textRect.right));
    mix(static_cast<std::size_t>(key.align) << 2 | (key.small ? 2u : 0u) | (key.number ? 1u : 0u));
    return h;
}

QImage CRowPictureCache::NewPicture(const QSize& size) const
{
    QImage picture(size * m_pixelRatio, m_format);
    picture.setDevicePixelRatio(m_pixelRatio);
    // Every row and cell paints all of its pixels; black only shows a
    // fault as a fault.
    picture.fill(Qt::black);
    return picture;
}

void CRowPictureCache::Paint(QPainter& painter, int index, const QRect& rect, const QRect& area,
                             std::vector<PaintOp> ops, const RowFonts& fonts, COwnLevelStrips& strips)
{
    if (index < 0 || rect.isEmpty())
        return;
    const QImage::Format format = DeviceFormat(painter);
    const qreal ratio = painter.device()->devicePixelRatioF();
    if (format != m_format || ratio != m_pixelRatio) {
        Clear();
        m_format = format;
        m_pixelRatio = ratio;
    }
    if (static_cast<std::size_t>(index) >= m_rows.size())
        m_rows.resize(static_cast<std::size_t>(index) + 1);
    Row& row = m_rows[static_cast<std::size_t>(index)];
    QRegion dirty;
    if (row.picture.isNull() || row.rect != rect) {
        row.picture = NewPicture(rect.size());
        row.rect = rect;
        dirty = QRegion(rect);
    } else {
        dirty = Changes(row.ops, ops, rect);
    }
    if (dirty.isEmpty()) {
        ++m_counts.rowsCopied;
    } else {
        Draw(row, ops, dirty, fonts, strips);
        ++m_counts.rowsDrawn;
    }
    row.ops = std::move(ops);
    const QRect part = rect & area;
    if (part.isEmpty())
        return;
    const QRectF source(QPointF(part.topLeft() - rect.topLeft()) * m_pixelRatio, QSizeF(part.size()) * m_pixelRatio);
    painter.drawImage(QPointF(part.topLeft()), row.picture, source);
}

void CRowPictureCache::Draw(Row& row, const std::vector<PaintOp>& ops, const QRegion& dirty, const RowFonts& fonts,
                            COwnLevelStrips& strips)
{
    QPainter painter(&row.picture);
    painter.translate(-row.rect.topLeft());
    painter.setClipRegion(dirty);
    CRowMeasures measures(fonts, &row.picture);
    for (const PaintOp& op : ops) {
        if (!dirty.intersects(Reach(op)))
            continue;
        if (op.type == PaintOp::Text && !op.text.empty() && !op.hidden)
            DrawCell(painter, op, fonts, strips);
        else
            PaintOperation(painter, op, fonts, strips, measures);
    }
}

void CRowPictureCache::DrawCell(QPainter& painter, const PaintOp& op, const RowFonts& fonts, COwnLevelStrips& strips)
{
    CellKey key{op.text,
                op.fg,
                op.bg,
                op.rect.Width(),
                op.rect.Height(),
                Rect{op.textRect.left - op.rect.left, op.textRect.top - op.rect.top, op.textRect.right - op.rect.left,
                     op.textRect.bottom - op.rect.top},
                op.align,
                op.small,
                op.number};
    if (const auto found = m_cellIndex.find(key); found != m_cellIndex.end()) {
        m_cells.splice(m_cells.begin(), m_cells, found->second);
        painter.drawImage(QPoint(op.rect.left, op.rect.top), found->second->picture);
        ++m_counts.cellsReused;
        return;
    }
    QImage picture = NewPicture(QSize(op.rect.Width(), op.rect.Height()));
    {
        QPainter cellPainter(&picture);
        cellPainter.translate(-op.rect.left, -op.rect.top);
        CRowMeasures measures(fonts, &picture);
        PaintOperation(cellPainter, op, fonts, strips, measures);
    }
    painter.drawImage(QPoint(op.rect.left, op.rect.top), picture);
    ++m_counts.cellsMade;
    const std::size_t bytes = static_cast<std::size_t>(picture.sizeInBytes());
    if (bytes > m_cellBudget)
        return;
    m_cells.push_front(Cell{std::move(key), std::move(picture)});
    m_cellIndex.emplace(m_cells.front().key, m_cells.begin());
    m_cellBytes += bytes;
    while (m_cellBytes > m_cellBudget) {
        const Cell& oldest = m_cells.back();
        m_cellBytes -= static_cast<std::size_t>(oldest.picture.sizeInBytes());
        m_cellIndex.erase(oldest.key);
        m_cells.pop_back();
    }
}

void CRowPictureCache::Clear()
{
    m_rows.clear();
    m_cells.clear();
    m_cellIndex.clear();
    m_cellBytes = 0;
}

} // namespace mavo
