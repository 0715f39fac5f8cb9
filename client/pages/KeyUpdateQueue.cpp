#include "pages/KeyUpdateQueue.h"

namespace mavo {

void CKeyUpdateQueue::SetKeys(const std::vector<unsigned>& keys)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_shown = std::unordered_set<unsigned>(keys.begin(), keys.end());
}

bool CKeyUpdateQueue::Offer(unsigned key)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_shown.count(key) == 0 || !m_waitingSet.insert(key).second)
        return false;
    m_waiting.push_back(key);
    if (m_wakePosted)
        return false;
    m_wakePosted = true;
    return true;
}

std::vector<unsigned> CKeyUpdateQueue::Take()
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<unsigned> keys;
    keys.swap(m_waiting);
    m_waitingSet.clear();
    m_wakePosted = false;
    return keys;
}

std::size_t CKeyUpdateQueue::Waiting() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_waiting.size();
}

} // namespace mavo
