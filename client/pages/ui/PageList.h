// CPageList: the page list of a page window, a widget with one fixed-height
// row per line key, each row painted cell by cell from the feed's line
// cache (RowCells.h does the computing, RowPainter.h the drawing).
//
// - UpdateRow repaints only that row's rectangle (the owner calls it once
//   a frame for the rows changed since the last); a flash tick repaints only
//   the blinking cells whose phase changes (CBlinkTracker).
// - A paint event paints the rows its region touches, each through the
//   row pictures (CRowPictureCache): a row whose cells are unchanged is
//   copied, a changed one is drawn again only where it changed.
// - Widths are computed once per format, font or contents change, never per
//   paint; rows are as wide as the widget (cells scale to it).
// - A key the cache does not hold paints as one rectangle of 0x408040.
// - Mouse presses, moves, releases and double clicks go to the owner
//   through the handler it installs; the pointer leaving the list goes
//   there too, as type QEvent::Leave with no mouse event.
//
// Thread-safety: the window thread only.
#pragma once

#include "pages/BlinkTracker.h"
#include "pages/PageEnvironment.h"
#include "pages/PageFeed.h"
#include "pages/PageFormat.h"
#include "pages/RowLayout.h"
#include "pages/ui/RowPainter.h"
#include "pages/ui/RowPictureCache.h"

#include <QEvent>
#include <QRegion>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

namespace mavo {

class CPageList : public QWidget {
    Q_OBJECT
public:
    CPageList(CPageFeed& feed, CPageEnvironment& environment, QWidget* parent = nullptr);

    void SetFormat(const CPageFormat& format);
    const CPageFormat& Format() const { return m_format; }
    void SetKeys(const std::vector<unsigned>& keys);
    const std::vector<unsigned>& Keys() const { return m_keys; }

    int RowHeight() const { return m_widths.RowHeight(); }
    int RowCount() const { return static_cast<int>(m_keys.size()); }
    QRect RowRect(int index) const;
    // -1 when no row is there.
    int RowAt(int y) const;
    // The list's nominal size: the page's nominal width, one row per line.
    QSize NominalSize() const;
    int PageNominalWidth() const { return m_pageNominal; }
    // The column kind under a point (COL_NOTHING beyond the cells or rows).
    int HitTest(const QPoint& point) const;

    // Repaints one row; nothing for a row that does not exist.
    void UpdateRow(int index);
    // The main frame's tick: repaints the cells whose blink phase changes.
    void OnFlashTick(int count);
    // Widths and fonts again (after the user level or the contents changed).
    void Relayout();
    // A line of the list changed: true (and widths again) when it is the
    // first text line, which widens the page.
    bool NoteChangedLine(unsigned key);

    // Paints every row into a painter at the origin (pictures, tests).
    void RenderRows(QPainter& painter, const QRect& area);

    using MouseHandler = std::function<void(QMouseEvent* event, QEvent::Type type)>;
    void SetMouseHandler(MouseHandler handler) { m_mouse = std::move(handler); }

    // Counts for tests and measurements: paint events and rows painted.
    int PaintCount() const { return m_paintCount; }
    int RowsPainted() const { return m_rowsPainted; }
    const CBlinkTracker& Blinks() const { return m_blinks; }
    // The region the last paint event asked for.
    const QRegion& LastPaintRegion() const { return m_lastPaintRegion; }
    const CRowPictureCache::Counts& PictureCounts() const { return m_pictures.GetCounts(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void PaintFeedNotice(QPainter& painter);
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool HasTextLines() const;
    std::vector<PaintOp> RowOperations(int index, const QRect& rect) const;

    CPageFeed& m_feed;
    CPageEnvironment& m_env;
    CPageFormat m_format;
    RowFonts m_fonts;
    CColumnWidths m_widths;
    int m_pageNominal = 0;
    bool m_fullView = false;
    bool m_hasTextLines = false;
    std::vector<unsigned> m_keys;
    CBlinkTracker m_blinks;
    COwnLevelStrips m_strips;
    CRowPictureCache m_pictures;
    MouseHandler m_mouse;
    int m_paintCount = 0;
    int m_rowsPainted = 0;
    QRegion m_lastPaintRegion;
};

} // namespace mavo
