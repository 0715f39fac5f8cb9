// CRowPictureCache: the last picture of each row of a page list, and the
// pictures of the cells drawn most recently, so that a repaint lays out
// text only where something changed.
//
// - A row's picture is kept with the paint operations (RowCells.h) it was
//   drawn from. Painting the row again compares the new operations with
//   those: the picture is drawn again only inside the rectangles of the
//   operations that differ, by every operation that reaches into them, in
//   their order, so its pixels are those of drawing the whole row afresh.
//   Then the picture is copied to the device.
// - A text cell to be drawn is first looked up among the cell pictures by
//   everything that decides its pixels (text, colours, font, alignment,
//   size, text rectangle): a price seen before is copied, not laid out
//   again. The cell pictures are bounded by a byte budget; the least
//   recently used go first.
// - Pictures are made in the pixel format and device pixel ratio of the
//   device painted on, so a copy gives exactly the pixels of drawing
//   directly; a change of either starts afresh, as Clear does (the owner
//   calls it when fonts, widths or the list's size change).
//
// Blinking cells are not registered here: the owner registers them from
// the operations, whether or not a row is drawn.
//
// Thread-safety: one thread (the window thread).
#pragma once

#include "pages/RowCells.h"
#include "pages/ui/RowPainter.h"

#include <QImage>
#include <QRect>

#include <cstddef>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

class QPainter;

namespace mavo {

class CRowPictureCache {
public:
    // About two hundred price cells of a usual font.
    static constexpr std::size_t kDefaultCellBudget = std::size_t{1} << 20;

    explicit CRowPictureCache(std::size_t cellBudgetBytes = kDefaultCellBudget) : m_cellBudget(cellBudgetBytes) {}

    // Paints the part inside `area` of row `index`, whose operations `ops`
    // were built for `rect` (device coordinates of the painter).
    void Paint(QPainter& painter, int index, const QRect& rect, const QRect& area, std::vector<PaintOp> ops,
               const RowFonts& fonts, COwnLevelStrips& strips);
    // Forgets every picture.
    void Clear();

    // What the paints did (tests, measurements): rows copied as they were,
    // rows drawn again (wholly or in part), cell pictures made and reused.
    struct Counts {
        long rowsCopied = 0;
        long rowsDrawn = 0;
        long cellsMade = 0;
        long cellsReused = 0;
    };
    const Counts& GetCounts() const { return m_counts; }
    std::size_t CellBytes() const { return m_cellBytes; }

private:
    struct Row {
        QImage picture;
        QRect rect;
        std::vector<PaintOp> ops;
    };
    // Everything that decides a text cell's pixels, its place aside.
    struct CellKey {
        std::string text;
        ColorRef fg = 0;
        ColorRef bg = 0;
        int width = 0;
        int height = 0;
        Rect textRect;  // relative to the cell's top left
        Align align = Align::Left;
        bool small = false;
        bool number = false;
        friend bool operator==(const CellKey&, const CellKey&) = default;
    };
    struct CellKeyHash {
        std::size_t operator()(const CellKey& key) const;
    };
    struct Cell {
        CellKey key;
        QImage picture;
    };

    void Draw(Row& row, const std::vector<PaintOp>& ops, const QRegion& dirty, const RowFonts& fonts,
              COwnLevelStrips& strips);
    void DrawCell(QPainter& painter, const PaintOp& op, const RowFonts& fonts, COwnLevelStrips& strips);
    QImage NewPicture(const QSize& size) const;

    std::size_t m_cellBudget;
    std::vector<Row> m_rows;
    QImage::Format m_format = QImage::Format_Invalid;
    qreal m_pixelRatio = 0;
    // Most recently used first.
    std::list<Cell> m_cells;
    std::unordered_map<CellKey, std::list<Cell>::iterator, CellKeyHash> m_cellIndex;
    std::size_t m_cellBytes = 0;
    Counts m_counts;
};

} // namespace mavo
