#include "Brindle/wsa/SocketClient.h"

namespace Brindle {

CSocketClient::CSocketClient(CWSASink* sink, int threads) : m_sink(sink), m_threadCount(threads) {}

CSocketClient::~CSocketClient()
{
    Stop();
}

bool CSocketClient::Start(const char* host, int port, bool autoConnect)
{
    Stop();
    auto threads = std::make_unique<CIOCPThreads>(m_threadCount, "Socket Client");
    auto socket = std::make_unique<CWSASocket>(threads->GetIOCP(), m_sink);
    // A name is looked up when dialling, on the caller's or the connect
    // thread, never under the port's lock.
    if (!socket->SetAddress(port, host, false))
        return false;
    if (autoConnect)
        socket->AutoConnect(true);
    else if (!socket->Connect())
        return false;
    m_threads = std::move(threads);
    m_socket = std::move(socket);
    return true;
}

void CSocketClient::Stop()
{
    m_socket.reset();
    m_threads.reset();
}

bool CSocketClient::Send(const CIOBuffer& buffer)
{
    return m_socket && m_socket->Connected() && m_socket->Send(buffer);
}

bool CSocketClient::Connected() const
{
    return m_socket && m_socket->Connected();
}

} // namespace Brindle
