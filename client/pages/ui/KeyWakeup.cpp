#include "pages/ui/KeyWakeup.h"

namespace mavo {

void CKeyWakeup::OnKeyUpdate(unsigned key)
{
    if (m_queue.Offer(key))
        m_wake.Post();
}

std::optional<std::vector<unsigned>> CKeyWakeup::Take(const QEvent* event)
{
    if (!m_wake.Received(event))
        return std::nullopt;
    return m_queue.Take();
}

} // namespace mavo
