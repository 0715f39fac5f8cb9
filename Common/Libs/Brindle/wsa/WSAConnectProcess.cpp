#include "Brindle/wsa/WSAConnectProcess.h"

#include "Brindle/base/Exception.h"
#include "Brindle/comm/CommLog.h"
#include "Brindle/wsa/WSASocket.h"
#include "Platform/KernelObjects.h"

#include <string>

namespace Brindle {

std::atomic<bool> CWSAConnectProcess::m_async_connect{true};

namespace {
constexpr const char* kSource = "CWSAConnectProcess";

std::string ThreadPrefix()
{
    return std::string("CWSAConnectProcess: thread ") + std::to_string(GetCurrentThreadId());
}
} // namespace

CWSAConnectProcess::CWSAConnectProcess(CWSASocket* socket, CCritSec* lock, long pauseSeconds)
    : m_socket(socket), m_lock(lock), m_next(0L), m_initialPause(pauseSeconds), m_pause(pauseSeconds),
      m_event(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    if (m_event == nullptr)
        throw CException("Cannot create the connect event", GetLastError());
}

CWSAConnectProcess::~CWSAConnectProcess()
{
    CloseHandle(m_event);
}

void CWSAConnectProcess::SetSocket(CWSASocket* socket, CCritSec* lock)
{
    CSyncLock<CCritSec> guard(lock);
    m_lock = lock;
    m_socket = socket;
}

void CWSAConnectProcess::RequestShutdown()
{
    {
        CSyncLock<CCritSec> guard(m_lock);
        m_socket = nullptr;
    }
    CThreadProcess::RequestShutdown();
}

void CWSAConnectProcess::SetAsyncConnect(bool on)
{
    m_async_connect.store(on, std::memory_order_release);
}

bool CWSAConnectProcess::GetAsyncConnect()
{
    return m_async_connect.load(std::memory_order_acquire);
}

long CWSAConnectProcess::NextPause(long attempt, long pause)
{
    if (attempt >= 121 && pause < 600)
        return 600;
    if (attempt >= 11 && pause < 60)
        return 60;
    return pause;
}

CWSASocket* CWSAConnectProcess::CurrentSocket()
{
    CSyncLock<CCritSec> guard(m_lock);
    return m_socket;
}

void CWSAConnectProcess::LogFailure()
{
    CommLog::Write(0, kSource,
                   ThreadPrefix() + " connection attempt " + std::to_string(GetAttempts()) +
                       " failed, next connect attempt at " + m_next.FormatISO());
}

void CWSAConnectProcess::Succeeded()
{
    m_attempts.store(0, std::memory_order_release);
    // A long outage must not leave the next one redialling every 10 minutes.
    m_pause.store(m_initialPause, std::memory_order_release);
    m_next = CTimestamp(0L);
    CSyncLock<CCritSec> guard(m_lock);
    m_socket = nullptr;
}

int CWSAConnectProcess::ThreadExecuteFcn()
{
    // The socket stops this thread (and waits for it) before it goes, so
    // the pointer stays good for the step once read.
    CWSASocket* socket = CurrentSocket();
    if (socket == nullptr)
        return 0;
    if (!m_pending) {
        CTimestamp now;
        if (!now.IsPast(m_next)) {
            Sleep(500);
            return 1;
        }
        const long attempt = m_attempts.fetch_add(1, std::memory_order_acq_rel) + 1;
        m_pause.store(NextPause(attempt, GetPause()), std::memory_order_release);
        m_next = now;
        m_next += GetPause();
        if (GetAsyncConnect()) {
            CommLog::Write(0, kSource,
                           ThreadPrefix() + " async connect attempt " + std::to_string(attempt) + " to " +
                               socket->GetAddress());
            ResetEvent(m_event);
            if (!socket->AsyncConnect(m_event)) {
                LogFailure();
                return 1;
            }
            m_pending = true;
            m_pendingSince = now;
        } else {
            CommLog::Write(0, kSource,
                           ThreadPrefix() + " connect attempt " + std::to_string(attempt) + " to " +
                               socket->GetAddress());
            if (socket->Connect()) {
                Succeeded();
                return 0;
            }
            LogFailure();
            return 1;
        }
    }
    if (WaitForSingleObject(m_event, 500) == WAIT_TIMEOUT) {
        if (CTimestamp() - m_pendingSince >= AsyncConnectLimit) {
            socket->AbandonConnect();
            m_pending = false;
            LogFailure();
        }
        return 1;
    }
    m_pending = false;
    if (socket->CheckAsyncConnect(m_event)) {
        Succeeded();
        return 0;
    }
    LogFailure();
    return 1;
}

} // namespace Brindle
