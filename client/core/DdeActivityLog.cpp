#include "core/DdeActivityLog.h"

namespace mavo {

std::size_t CDdeActivityLog::Append(std::string entry)
{
    m_entries.push_back(std::move(entry));
    std::size_t removed = 0;
    while (m_entries.size() > kMaxEntries) {
        const std::size_t step = kTrimStep < m_entries.size() ? kTrimStep : m_entries.size();
        m_entries.erase(m_entries.begin(), m_entries.begin() + static_cast<std::ptrdiff_t>(step));
        removed += step;
    }
    return removed;
}

} // namespace mavo
