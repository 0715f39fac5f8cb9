#include "Brindle/base/LogServiceClient.h"

#include "Brindle/base/CritSec.h"
#include "Brindle/base/Identity.h"
#include "Brindle/comm/Msg.h"

namespace Brindle {

CLogServiceClient::CLogServiceClient(CIOCP& iocp) : m_socket(iocp, this) {}

CLogServiceClient::~CLogServiceClient()
{
    Stop();
}

void CLogServiceClient::Start(int port, const char* host)
{
    m_socket.SetSink(this);
    m_socket.SetAddress(port, host, false);
    m_socket.AutoConnect(true);
}

void CLogServiceClient::Stop()
{
    m_socket.Close();
    CSystemLock lock;
    m_connected = false;
}

bool CLogServiceClient::Connected() const
{
    CSystemLock lock;
    return m_connected;
}

std::size_t CLogServiceClient::QueueSize() const
{
    CSystemLock lock;
    return m_queue.size();
}

unsigned long CLogServiceClient::Dropped() const
{
    CSystemLock lock;
    return m_dropped;
}

std::string CLogServiceClient::ResetText()
{
    CMsg reset{CVar("Reset")};
    reset.get_header().add(CVal(CVar("C"), CVar(0)));
    return reset.build_string();
}

std::string CLogServiceClient::LogText(const CLogData& record)
{
    CMsg msg{CVar(CLogData::ID)};
    CLogData::OPS.Write(record, msg.get_header());
    return msg.build_string();
}

void CLogServiceClient::SendOrQueue(const std::string& text)
{
    // A send that finds the connection gone (its end not yet reported)
    // queues the text rather than lose it.
    if (m_connected && m_socket.Send(CIOBuffer(text)))
        return;
    if (m_queue.size() >= MaxQueue) {
        ++m_dropped;
        return;
    }
    m_queue.push_back(text);
}

void CLogServiceClient::Log(const CLogData& record)
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

void CLogServiceClient::OnOpen(CWSASocket* /*socket*/)
{
    CSystemLock lock;
    m_connected = true;
    while (!m_queue.empty()) {
        if (!m_socket.Send(CIOBuffer(m_queue.front())))
            break; // gone again: the rest waits for the next connection
        m_queue.pop_front();
    }
}

void CLogServiceClient::OnClose(CWSASocket* /*socket*/)
{
    CSystemLock lock;
    m_connected = false;
}

void CLogServiceClient::OnData(CWSASocket* /*socket*/, const CIOBuffer& /*data*/) {}

} // namespace Brindle
