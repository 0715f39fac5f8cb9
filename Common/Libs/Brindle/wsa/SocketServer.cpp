#include "Brindle/wsa/SocketServer.h"

namespace Brindle {

CSocketServer::CSocketServer(CWSASink* sink, int threads) : m_sink(sink), m_threadCount(threads) {}

CSocketServer::~CSocketServer()
{
    Stop();
}

bool CSocketServer::Start(int port, const char* host, int backlog)
{
    Stop();
    auto threads = std::make_unique<CIOCPThreads>(m_threadCount, "Socket Server");
    auto listener = std::make_unique<CWSAListener>(threads->GetIOCP(), m_sink);
    if (!listener->SetAddress(port, host, true) || !listener->Listen(backlog))
        return false;
    m_threads = std::move(threads);
    m_listener = std::move(listener);
    return true;
}

void CSocketServer::Stop()
{
    // The listener (and its children) before the port it runs on.
    m_listener.reset();
    m_threads.reset();
}

std::size_t CSocketServer::Broadcast(const CIOBuffer& buffer)
{
    return m_listener ? m_listener->Broadcast(buffer) : 0;
}

std::size_t CSocketServer::size() const
{
    return m_listener ? m_listener->size() : 0;
}

int CSocketServer::GetLocalPort() const
{
    return m_listener ? m_listener->GetLocalPort() : 0;
}

} // namespace Brindle
