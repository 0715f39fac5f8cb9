#include "Brindle/comm/CommLogger.h"

#include "Brindle/base/CritSec.h"
#include "Brindle/base/Identity.h"
#include "Brindle/base/LogServiceClient.h"
#include "Brindle/base/MonitorStream.h"

namespace Brindle {

CCommLogger::CCommLogger(CCommIOCP& iocp)
    : m_ship([this](const std::string& text) { return m_socket.Send(text); }), m_socket(iocp)
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
    m_ship.Closed();
}

bool CCommLogger::Connected() const
{
    return m_ship.Connected();
}

std::size_t CCommLogger::QueueSize() const
{
    return m_ship.QueueSize();
}

unsigned long CCommLogger::Dropped() const
{
    return m_ship.Dropped();
}

void CCommLogger::Log(const CLogData& record)
{
    m_ship.Log(record);
}

void CCommLogger::OnOpen(void* /*source*/)
{
    m_ship.Opened();
    service_open("LogServer", &m_socket).Write(mstr);
    mstr.WriteLog();
}

void CCommLogger::OnClose(void* /*source*/)
{
    m_ship.Closed();
    service_close("LogServer", &m_socket).Write(mstr);
    mstr.WriteLog();
}

void CCommLogger::OnData(void* /*source*/, const std::string& /*data*/) {}

void CCommLogger::OnError(void* /*source*/, unsigned long /*error*/, const std::string& /*text*/) {}

} // namespace Brindle
