#include "pages/BlinkTracker.h"

#include "pages/RowCells.h"

namespace mavo {

void CBlinkTracker::Register(const Rect& cell, int cadence)
{
    if (cadence <= 0 || cell.IsEmpty())
        return;
    m_cells.emplace(cell, cadence);
}

std::vector<Rect> CBlinkTracker::Tick(int count)
{
    const int previous = m_count;
    m_count = count;
    std::vector<Rect> changed;
    for (auto it = m_cells.begin(); it != m_cells.end();) {
        const int cadence = it->second;
        if (BlinkHidden(cadence, previous) != BlinkHidden(cadence, count)) {
            changed.push_back(it->first);
            it = m_cells.erase(it);
        } else {
            ++it;
        }
    }
    return changed;
}

} // namespace mavo
