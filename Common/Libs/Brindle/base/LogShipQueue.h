// CLogShipQueue: the numbering and queueing both log-service loggers share
// (CLogServiceClient over the overlapped sockets, CCommLogger over the
// engine), apart from the socket that carries the texts.
//
// Contract
// - Each record gets the next counter C = 1 .. 999999; the first record, and
//   the first after the counter wrapped, is preceded by the "Reset" text.
// - A text goes to the send function while connected; when not connected,
//   or when the send fails (the connection's end not yet reported), it
//   queues, at most 10000 texts; a record beyond that is dropped and
//   counted, its number still used so the server sees the gap.
// - Opened sends the queue in order before any newer record, and stops at
//   the first failed send (the rest waits for the next connection).
// - An empty host name or application is filled with the machine's.
//
// Thread-safety: every call holds the system lock, the send function is
// called under it; any thread may call.
#pragma once

#include "Brindle/base/LogData.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <string>

namespace Brindle {

class CLogShipQueue {
public:
    static constexpr std::size_t MaxQueue = 10000;
    static constexpr int MaxCounter = 999999;

    // `send` hands one message text to the connection; false when it is gone.
    explicit CLogShipQueue(std::function<bool(const std::string&)> send);

    void Log(const CLogData& record);
    void Opened();
    void Closed();

    bool Connected() const;
    std::size_t QueueSize() const;
    unsigned long Dropped() const;

    // The texts of the two messages (also for servers and tests).
    static std::string ResetText();
    static std::string LogText(const CLogData& record);

private:
    void SendOrQueue(const std::string& text);

    std::function<bool(const std::string&)> m_send;
    bool m_connected = false;
    int m_counter = 0;
    unsigned long m_dropped = 0;
    std::deque<std::string> m_queue;
};

} // namespace Brindle
