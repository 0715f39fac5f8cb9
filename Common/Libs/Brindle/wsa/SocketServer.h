// CSocketServer: a listener with a port and worker threads of its own; the
// sink hears every child's events.
//
// Contract: Start listens on the address (port 0 takes a free one, see
// GetLocalPort); Stop closes every child and the listener and stops the
// workers; a stopped server may be started again. Sink calls run on the
// server's workers.
//
// Thread-safety: Broadcast, size, GetLocalPort from any thread; Start and
// Stop from one controlling thread (not from a sink call).
#pragma once

#include "Brindle/wsa/IOCPThreads.h"
#include "Brindle/wsa/WSAListener.h"

#include <memory>

namespace Brindle {

class CSocketServer {
public:
    explicit CSocketServer(CWSASink* sink, int threads = 2);
    ~CSocketServer();
    CSocketServer(const CSocketServer&) = delete;
    CSocketServer& operator=(const CSocketServer&) = delete;

    // false when the address cannot be taken or is in use.
    bool Start(int port, const char* host = "", int backlog = 16);
    void Stop();
    bool Running() const { return m_listener != nullptr; }
    // Children the buffer was queued to (0 when stopped).
    std::size_t Broadcast(const CIOBuffer& buffer);
    std::size_t size() const;
    int GetLocalPort() const;
    // Null when stopped.
    CWSAListener* GetListener() { return m_listener.get(); }

private:
    CWSASink* m_sink;
    int m_threadCount;
    std::unique_ptr<CIOCPThreads> m_threads;
    std::unique_ptr<CWSAListener> m_listener;
};

} // namespace Brindle
