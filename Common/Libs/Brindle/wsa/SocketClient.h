// CSocketClient: one client socket with a port and worker threads of its
// own; with auto-connect it dials until connected and redials whenever the
// connection is lost.
//
// Contract: Start sets the address and dials (auto-connect: on the connect
// thread; otherwise once, blocking, false on failure); Stop closes the
// socket and stops the connect thread and the workers. Sink calls run on
// the client's workers.
//
// Thread-safety: Send and Connected from any thread; Start and Stop from
// one controlling thread (not from a sink call).
#pragma once

#include "Brindle/wsa/IOCPThreads.h"
#include "Brindle/wsa/WSASocket.h"

#include <memory>

namespace Brindle {

class CSocketClient {
public:
    explicit CSocketClient(CWSASink* sink, int threads = 1);
    ~CSocketClient();
    CSocketClient(const CSocketClient&) = delete;
    CSocketClient& operator=(const CSocketClient&) = delete;

    bool Start(const char* host, int port, bool autoConnect = true);
    void Stop();
    // false when not connected.
    bool Send(const CIOBuffer& buffer);
    bool Connected() const;
    // Null when stopped.
    CWSASocket* GetSocket() { return m_socket.get(); }

private:
    CWSASink* m_sink;
    int m_threadCount;
    std::unique_ptr<CIOCPThreads> m_threads;
    std::unique_ptr<CWSASocket> m_socket;
};

} // namespace Brindle
