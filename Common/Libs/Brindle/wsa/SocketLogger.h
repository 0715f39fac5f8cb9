// CSocketLogger: a TCP tap on the log. It listens on a port (every local
// address) and sends each record line, followed by "\n\r", to every client
// connected at that moment; what clients send is ignored.
//
// Contract: records logged while no client is connected go nowhere; a
// client that connects sees the records from then on. A client that does
// not read is not waited for: its sends queue on its connection.
//
// Thread-safety: Log from any thread (CLog calls it under the system lock);
// SetPort and Listen from the owner before the logger is registered; the
// logger must be unregistered before it is destroyed, and not destroyed
// under the system lock.
#pragma once

#include "Brindle/base/Logger.h"
#include "Brindle/wsa/WSAListener.h"

namespace Brindle {

class CSocketLogger : public CLogger, public CWSASink {
public:
    static constexpr int Backlog = 5;

    explicit CSocketLogger(CIOCP& iocp);
    ~CSocketLogger() override;

    void SetPort(int port);
    bool Listen();
    void Log(const CLogData& record) override;

    // The port listened on (a port of 0 takes a free one), or 0.
    int GetLocalPort() const { return m_listener.GetLocalPort(); }
    std::size_t size() const { return m_listener.size(); }
    void Close();

private:
    CWSAListener m_listener;
};

} // namespace Brindle
