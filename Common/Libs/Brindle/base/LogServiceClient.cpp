#include "Brindle/base/LogServiceClient.h"

#include "Brindle/base/CritSec.h"
#include "Brindle/base/Identity.h"

namespace Brindle {

CLogServiceClient::CLogServiceClient(CIOCP& iocp)
    : m_ship([this](const std::string& text) { return m_socket.Send(CIOBuffer(text)); }), m_socket(iocp, this)
{
}

CLogServiceClient::~CLogServiceClient()
{
    // The socket calls this object (its sink) until its handlers stop.
    m_socket.StopCompletions();
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
    m_ship.Closed();
}

bool CLogServiceClient::Connected() const
{
    return m_ship.Connected();
}

std::size_t CLogServiceClient::QueueSize() const
{
    return m_ship.QueueSize();
}

unsigned long CLogServiceClient::Dropped() const
{
    return m_ship.Dropped();
}

void CLogServiceClient::Log(const CLogData& record)
{
    m_ship.Log(record);
}

void CLogServiceClient::OnOpen(CWSASocket* /*socket*/)
{
    m_ship.Opened();
}

void CLogServiceClient::OnClose(CWSASocket* /*socket*/)
{
    m_ship.Closed();
}

void CLogServiceClient::OnData(CWSASocket* /*socket*/, const CIOBuffer& /*data*/) {}

} // namespace Brindle
