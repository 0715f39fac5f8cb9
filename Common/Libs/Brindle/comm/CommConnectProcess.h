// CCommConnectProcess: the dial-and-retry loop a redialling CCommSocket runs
// on its own "Connect Thread". Each cycle waits for the next attempt time,
// dials (non-blocking by default, with a network event; or blocking), and
// on failure logs the next attempt time; the pause after attempt n is the
// timeout policy's GetDelay(n), or 10 seconds without a policy. The loop
// ends when a connection is made (it then opens on a worker thread), when
// the socket is taken away, or on shutdown.
//
// Log records (severity 0, source "CCommConnectProcess"):
//   "CCommConnectProcess: thread <id> async connect attempt <n> to <addr>"
//   "CCommConnectProcess: thread <id> connect attempt <n> to <addr>"
//   "CCommConnectProcess: thread <id> connection attempt <n> failed, next
//    connect attempt at <YYYYMMDDHH:MM:SS>"
//
// Contract
// - A non-blocking attempt that has not ended after 10 seconds is given up
//   (the handle is closed) and counts as failed; so does one that cannot be
//   started at all.
// - SetSocket is called by the socket under the system lock, while the
//   thread is stopped or about to be started; a cycle reads the socket under
//   the system lock.
//
// Thread-safety: one thread runs the process at a time (the socket makes
// sure); RequestShutdown from any thread.
#pragma once

#include "Brindle/base/Runnable.h"
#include "Brindle/base/Timestamp.h"
#include "Platform/WinTypes.h"

#include <atomic>
#include <chrono>

namespace Brindle {

class CCommSocket;
class CCommTimeout;

class CCommConnectProcess : public CThreadProcess {
public:
    // Longest a non-blocking attempt may take.
    static constexpr unsigned ConnectLimitMs = 10000;
    // Pause between checks of the attempt time and of the event.
    static constexpr unsigned PollMs = 500;

    explicit CCommConnectProcess(CCommTimeout* timeout = nullptr);
    ~CCommConnectProcess() override;
    CCommConnectProcess(const CCommConnectProcess&) = delete;
    CCommConnectProcess& operator=(const CCommConnectProcess&) = delete;

    void SetSocket(CCommSocket* socket) { m_socket = socket; }
    CCommSocket* GetSocket() const { return m_socket; }
    void SetTimeout(CCommTimeout* timeout) { m_timeout = timeout; }
    unsigned GetAttempts() const { return m_attempts.load(std::memory_order_acquire); }

    // Class-wide: dial without blocking (default true).
    static void SetAsyncConnect(bool async) { m_async_connect.store(async, std::memory_order_release); }
    static bool GetAsyncConnect() { return m_async_connect.load(std::memory_order_acquire); }

    int ThreadExecuteFcn() override;

private:
    int Cycle();
    // Logs the failure of the current attempt; returns 1.
    int Failed(DWORD threadId);

    static std::atomic<bool> m_async_connect;

    CCommSocket* m_socket = nullptr;
    HANDLE m_event;
    CTimestamp m_next;
    bool m_inProgress = false;
    std::chrono::steady_clock::time_point m_attemptStart{};
    std::atomic<unsigned> m_attempts{0};
    CCommTimeout* m_timeout;
};

} // namespace Brindle
