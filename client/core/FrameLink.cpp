#include "core/FrameLink.h"

namespace mavo {

void CFrameLink::SetPoster(Poster poster)
{
    // Taking the lock waits for a post in progress on another thread.
    std::lock_guard guard(m_posterLock);
    m_poster = std::move(poster);
}

bool CFrameLink::Post(FrameMessage message)
{
    std::lock_guard guard(m_posterLock);
    if (!m_poster)
        return false;
    m_poster(std::move(message));
    return true;
}

void CFrameLink::SetStatusText(const std::string& text)
{
    std::lock_guard guard(m_textLock);
    m_statusText = text;
}

void CFrameLink::SetSourceName(const std::string& text)
{
    std::lock_guard guard(m_textLock);
    m_sourceName = text;
}

void CFrameLink::SetStatusAndName(const std::string& status, const std::string& name)
{
    std::lock_guard guard(m_textLock);
    m_statusText = status;
    m_sourceName = name;
}

std::string CFrameLink::GetStatusText() const
{
    std::lock_guard guard(m_textLock);
    return m_statusText;
}

std::string CFrameLink::GetSourceName() const
{
    std::lock_guard guard(m_textLock);
    return m_sourceName;
}

Timestamp CFrameLink::GetTimestamp() const
{
    std::lock_guard guard(m_textLock);
    return m_timestamp;
}

void CFrameLink::OnTimestamp(const Timestamp& timestamp)
{
    {
        std::lock_guard guard(m_textLock);
        m_timestamp = timestamp;
    }
    if (!m_timePending.exchange(true)) {
        if (!Post(FrameMessage{MSG_FEED_TIME, 0, 0, std::nullopt}))
            m_timePending = false;
    }
}

void CFrameLink::AddSourceLog(std::string line)
{
    bool wake = false;
    {
        std::lock_guard guard(m_logLock);
        if (m_log.size() >= kMaxPendingLogLines) {
            m_log.pop_front();
            ++m_logDropped;
        }
        m_log.push_back(std::move(line));
        wake = !m_logPending;
        m_logPending = true;
    }
    if (wake && !Post(FrameMessage{MSG_SOURCE_LOG, 0, 0, std::nullopt})) {
        std::lock_guard guard(m_logLock);
        m_logPending = false;
    }
}

std::vector<std::string> CFrameLink::TakeSourceLog()
{
    std::lock_guard guard(m_logLock);
    std::vector<std::string> lines;
    lines.reserve(m_log.size() + 1);
    if (m_logDropped != 0)
        lines.push_back(std::to_string(m_logDropped) + " log lines were dropped");
    for (auto& line : m_log)
        lines.push_back(std::move(line));
    m_log.clear();
    m_logDropped = 0;
    m_logPending = false;
    return lines;
}

} // namespace mavo
