#include "Brindle/comm/CommLogger.h"

#include "Brindle/base/CritSec.h"
#include "Brindle/base/Identity.h"
#include "Brindle/base/LogServiceClient.h"
#include "Brindle/base/MonitorStream.h"

namespace Brindle {

CCommLogger::CCommLogger(CCommIOCP& iocp) : m_socket(iocp)
{
    m_socket.SetChain(this);
}

CCommLogger::~CCommLogger()
{
    Stop();
}

void CCommLogger::Start(int port, const char* host)
{
    // The engine's socket dials the address it resolved here.
    m_socket.SetAddress(port, host, true);
    // The connect thread dials (and redials); the caller does not wait.
    m_socket.AutoConnect(true, true);
}

void CCommLogger::Stop()
{
    m_socket.Close();
    CSystemLock lock;
    m_connected = false;
}

bool CCommLogger::Connected() const
{
    CSystemLock lock;
    return m_connected;
}

std::size_t CCommLogger::QueueSize() const
{
    CSystemLock lock;
    return m_queue.size();
}

unsigned long CCommLogger::Dropped() const
{
    CSystemLock lock;
    return m_dropped;
}

void CCommLogger::SendOrQueue(const std::string& text)
{
    if (m_connected && m_socket.Send(text))
        return;
    if (m_queue.size() >= MaxQueue) {
        ++m_dropped;
        return;
    }
    m_queue.push_back(text);
}

void CCommLogger::Log(const CLogData& record)
{
    CSystemLock lock;
    if (m_counter == 0)
        SendOrQueue(CLogServiceClient::ResetText());
    ++m_counter;
    if (!m_connected && m_queue.size() >= MaxQueue) {
        ++m_dropped;
    } else {
        CLogData copy(record);
        copy.SetCounter(m_counter);
        if (copy.GetHostname().empty())
            copy.SetHostname(GetLocalHostname());
        if (copy.GetApplication().empty())
            copy.SetApplication(GetLocalApplicationName());
        SendOrQueue(CLogServiceClient::LogText(copy));
    }
    if (m_counter >= MaxCounter)
        m_counter = 0;
}

void CCommLogger::OnOpen(void* /*source*/)
{
    {
        CSystemLock lock;
        m_connected = true;
        while (!m_queue.empty()) {
            if (!m_socket.Send(m_queue.front()))
                break;
            m_queue.pop_front();
        }
    }
    service_open("LogServer", &m_socket).Write(mstr);
    mstr.WriteLog();
}

void CCommLogger::OnClose(void* /*source*/)
{
    {
        CSystemLock lock;
        m_connected = false;
    }
    service_close("LogServer", &m_socket).Write(mstr);
    mstr.WriteLog();
}

void CCommLogger::OnData(void* /*source*/, const std::string& /*data*/) {}

void CCommLogger::OnError(void* /*source*/, unsigned long /*error*/, const std::string& /*text*/) {}

} // namespace Brindle
