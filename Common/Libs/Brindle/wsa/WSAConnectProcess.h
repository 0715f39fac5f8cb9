// CWSAConnectProcess: the work of a socket's connect thread. It dials the
// socket's address until a connection is made, pausing between attempts:
// the first pause given (sockets use 10 s), 60 s from the 11th attempt,
// 600 s from the 121st. Each attempt and each failure is logged (severity
// 0, source "CWSAConnectProcess").
//
// Contract
// - Asynchronous dialling (the class-wide switch, on by default) starts the
//   connect and waits for it in 500 ms steps, so a stop request is seen at
//   once; an attempt that has not ended after 10 s is given up and counts as
//   failed. A connect that fails at once leaves nothing pending.
// - Success resets the attempt counter and the pause, forgets the socket and
//   ends the thread.
// - RequestShutdown forgets the socket under the port's lock first, so the
//   process never touches a socket after it has been told to stop.
//
// Thread-safety: RequestShutdown, SetSocket and the switch from any thread;
// the cycle runs on the connect thread.
#pragma once

#include "Brindle/base/CritSec.h"
#include "Brindle/base/Runnable.h"
#include "Brindle/base/Timestamp.h"
#include "Platform/WinTypes.h"

#include <atomic>

namespace Brindle {

class CWSASocket;

class CWSAConnectProcess : public CThreadProcess {
public:
    // Longest wait for one asynchronous attempt, in seconds.
    static constexpr long AsyncConnectLimit = 10;

    CWSAConnectProcess(CWSASocket* socket, CCritSec* lock, long pauseSeconds);
    ~CWSAConnectProcess() override;
    CWSAConnectProcess(const CWSAConnectProcess&) = delete;
    CWSAConnectProcess& operator=(const CWSAConnectProcess&) = delete;

    // Gives the process its socket (and the lock guarding the pointer).
    void SetSocket(CWSASocket* socket, CCritSec* lock);
    void RequestShutdown() override;

    static void SetAsyncConnect(bool on);
    static bool GetAsyncConnect();

    // The pause after attempt `attempt` when the pause so far was `pause`.
    static long NextPause(long attempt, long pause);
    long GetAttempts() const { return m_attempts.load(std::memory_order_acquire); }
    long GetPause() const { return m_pause.load(std::memory_order_acquire); }

protected:
    int ThreadExecuteFcn() override;

private:
    CWSASocket* CurrentSocket();
    void LogFailure();
    void Succeeded();

    CWSASocket* m_socket;
    CCritSec* m_lock;
    CTimestamp m_next;
    const long m_initialPause;
    std::atomic<long> m_pause;
    bool m_pending = false;
    CTimestamp m_pendingSince;
    std::atomic<long> m_attempts{0};
    HANDLE m_event;

    static std::atomic<bool> m_async_connect;
};

} // namespace Brindle
