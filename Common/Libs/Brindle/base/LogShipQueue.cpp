#include "Brindle/base/LogShipQueue.h"

#include "Brindle/base/CritSec.h"
#include "Brindle/base/Identity.h"
#include "Brindle/comm/Msg.h"

#include <utility>

namespace Brindle {

CLogShipQueue::CLogShipQueue(std::function<bool(const std::string&)> send) : m_send(std::move(send)) {}

std::string CLogShipQueue::ResetText()
{
    CMsg reset{CVar("Reset")};
    reset.get_header().add(CVal(CVar("C"), CVar(0)));
    return reset.build_string();
}

std::string CLogShipQueue::LogText(const CLogData& record)
{
    CMsg msg{CVar(CLogData::ID)};
    CLogData::OPS.Write(record, msg.get_header());
    return msg.build_string();
}

void CLogShipQueue::SendOrQueue(const std::string& text)
{
    // A send that finds the connection gone (its end not yet reported)
    // queues the text rather than lose it.
    if (m_connected && m_send(text))
        return;
    if (m_queue.size() >= MaxQueue) {
        ++m_dropped;
        return;
    }
    m_queue.push_back(text);
}

void CLogShipQueue::Log(const CLogData& record)
{
    CSystemLock lock;
    if (m_counter == 0)
        SendOrQueue(ResetText());
    ++m_counter;
    if (!m_connected && m_queue.size() >= MaxQueue) {
        // Dropped: its number stays used, so the server sees the gap.
        ++m_dropped;
    } else {
        CLogData copy(record);
        copy.SetCounter(m_counter);
        if (copy.GetHostname().empty())
            copy.SetHostname(GetLocalHostname());
        if (copy.GetApplication().empty())
            copy.SetApplication(GetLocalApplicationName());
        SendOrQueue(LogText(copy));
    }
    if (m_counter >= MaxCounter)
        m_counter = 0;
}

void CLogShipQueue::Opened()
{
    CSystemLock lock;
    m_connected = true;
    while (!m_queue.empty()) {
        if (!m_send(m_queue.front()))
            break; // gone again: the rest waits for the next connection
        m_queue.pop_front();
    }
}

void CLogShipQueue::Closed()
{
    CSystemLock lock;
    m_connected = false;
}

bool CLogShipQueue::Connected() const
{
    CSystemLock lock;
    return m_connected;
}

std::size_t CLogShipQueue::QueueSize() const
{
    CSystemLock lock;
    return m_queue.size();
}

unsigned long CLogShipQueue::Dropped() const
{
    CSystemLock lock;
    return m_dropped;
}

} // namespace Brindle
