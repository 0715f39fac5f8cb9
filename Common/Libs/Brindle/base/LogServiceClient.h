// CLogServiceClient: ships every record to a central log server as a "Log"
// message (values C counter, T time, S severity, X source, H host, A
// application, B batch, E last error, 0 text) in the message text form,
// over an auto-connecting client socket of the overlapped framework.
//
// Contract
// - The first record, and the first after the counter wrapped, is preceded
//   by a "Reset" message (C = 0). Records carry C = 1, 2, 3 ...; after
//   999999 the counter starts again. The server detects lost records by
//   gaps in C, restarts by the reset.
// - While not connected (and when a send finds no connection) the texts
//   queue, at most 10000; a record beyond that is dropped (its number is
//   still used, so the server sees the gap). On each connect the queue is
//   sent in order before any newer record.
// - An empty host name or application is filled with the machine's.
//
// Thread-safety: Log from any thread; it and the connection events hold the
// system lock. Start and Stop from the owner, not under the system lock;
// the logger must be unregistered before it is destroyed.
#pragma once

#include "Brindle/base/LogShipQueue.h"
#include "Brindle/base/Logger.h"
#include "Brindle/wsa/WSASocket.h"

#include <deque>
#include <string>

namespace Brindle {

class CMsg;

class CLogServiceClient : public CLogger, public CWSASink {
public:
    static constexpr std::size_t MaxQueue = CLogShipQueue::MaxQueue;
    static constexpr int MaxCounter = CLogShipQueue::MaxCounter;

    explicit CLogServiceClient(CIOCP& iocp);
    ~CLogServiceClient() override;

    // Connects, and reconnects whenever the connection is lost.
    void Start(int port, const char* host);
    void Stop();
    bool Connected() const;
    void Log(const CLogData& record) override;

    std::size_t QueueSize() const;
    // Records dropped because the queue was full.
    unsigned long Dropped() const;

    // The texts of the two messages (also for servers and tests).
    static std::string ResetText() { return CLogShipQueue::ResetText(); }
    static std::string LogText(const CLogData& record) { return CLogShipQueue::LogText(record); }

    void OnOpen(CWSASocket* socket) override;
    void OnClose(CWSASocket* socket) override;
    void OnData(CWSASocket* socket, const CIOBuffer& data) override;

private:
    CLogShipQueue m_ship;
    // Last: destroyed first, waiting for its handlers, which use the rest.
    CWSASocket m_socket;
};

} // namespace Brindle
