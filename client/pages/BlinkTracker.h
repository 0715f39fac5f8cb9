// CBlinkTracker: the blinking cells of one page list, so that a tick of the
// main frame's flash timer repaints only the cells whose phase changes.
//
// Each paint registers every blinking cell it drew (its rectangle and its
// cadence k, 1 or 3). A tick hands over the new flash count; the cells
// whose phase, (count / k) odd or even, differs from that at the previous
// count are handed back and forgotten (their repaint registers them again).
// A cell registered twice with the same cadence is held once, so repeated
// paints never grow the set.
//
// Thread-safety: one thread (the window thread).
#pragma once

#include "pages/RowLayout.h"

#include <set>
#include <utility>
#include <vector>

namespace mavo {

class CBlinkTracker {
public:
    explicit CBlinkTracker(int count = 0) : m_count(count) {}

    int Count() const { return m_count; }

    // Cadence 0 (or less) is ignored.
    void Register(const Rect& cell, int cadence);
    // Takes the new count; returns the cells to repaint.
    std::vector<Rect> Tick(int count);
    // Forgets every cell (after a layout change the whole list repaints).
    void Clear() { m_cells.clear(); }
    std::size_t Size() const { return m_cells.size(); }

private:
    int m_count;
    std::set<std::pair<Rect, int>> m_cells;
};

} // namespace mavo
