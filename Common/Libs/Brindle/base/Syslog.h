// CSyslog: ships every record to a syslog collector over TCP as one line,
// "<14><application> - <text>" and a line feed (facility user, severity
// informational), over an auto-connecting client socket.
//
// Contract: while not connected the lines queue, at most 10000; lines
// beyond that are dropped and counted, and the next line that gets through
// is preceded by "<12><application> - <n> log lines dropped" (user,
// warning). On each connect the queue is sent in order first.
//
// Thread-safety: Log from any thread; it and the connection events hold the
// system lock. Start and Stop from the owner, not under the system lock;
// the logger must be unregistered before it is destroyed.
#pragma once

#include "Brindle/base/Logger.h"
#include "Brindle/wsa/WSASocket.h"

#include <deque>
#include <string>

namespace Brindle {

class CSyslog : public CLogger, public CWSASink {
public:
    static constexpr std::size_t MaxQueue = 10000;

    explicit CSyslog(CIOCP& iocp);
    ~CSyslog() override;

    void Start(int port, const char* host);
    void Stop();
    bool Connected() const;
    void Log(const CLogData& record) override;
    std::size_t QueueSize() const;
    // Lines dropped and not yet reported.
    unsigned long Dropped() const;

    // The line of a record.
    static std::string Line(const CLogData& record);

    void OnOpen(CWSASocket* socket) override;
    void OnClose(CWSASocket* socket) override;
    void OnData(CWSASocket* socket, const CIOBuffer& data) override;

private:
    // Caller holds the system lock.
    bool SendText(const std::string& text);
    void Deliver(const std::string& line);
    // Sends the drop report when one is owed; false when it could not go.
    bool ReportDrops();

    bool m_connected = false;
    unsigned long m_dropped = 0;
    std::string m_application;
    std::deque<std::string> m_queue;
    CWSASocket m_socket;
};

} // namespace Brindle
