// CCommLogger: ships every record to a central log server as the same
// "Log" messages as CLogServiceClient (a "Reset" first and after each wrap
// of the counter at 999999, at most 10000 texts queued while disconnected),
// over a CCommSocket of the communication engine whose upper layer it is.
// Each connection event also writes a monitor line: "(Service
// Open|LogServer|<address>)" and "(Service Close|LogServer|<address>)".
//
// Thread-safety: Log from any thread; it and the connection events hold the
// system lock. Start and Stop from the owner, not under the system lock;
// the logger must be unregistered before it is destroyed.
#pragma once

#include "Brindle/base/LogShipQueue.h"
#include "Brindle/base/Logger.h"
#include "Brindle/comm/CommLayer.h"
#include "Brindle/comm/CommSocket.h"

#include <deque>
#include <string>

namespace Brindle {

class CCommLogger : public CLogger, public CCommLayer {
public:
    static constexpr std::size_t MaxQueue = CLogShipQueue::MaxQueue;
    static constexpr int MaxCounter = CLogShipQueue::MaxCounter;

    explicit CCommLogger(CCommIOCP& iocp);
    ~CCommLogger() override;

    void Start(int port, const char* host);
    void Stop();
    bool Connected() const;
    void Log(const CLogData& record) override;
    std::size_t QueueSize() const;
    unsigned long Dropped() const;

    void OnOpen(void* source) override;
    void OnClose(void* source) override;
    void OnData(void* source, const std::string& data) override;
    void OnError(void* source, unsigned long error, const std::string& text) override;

private:
    CLogShipQueue m_ship;
    // Last: destroyed first, waiting for its handlers, which use the rest.
    CCommSocket m_socket;
};

} // namespace Brindle
