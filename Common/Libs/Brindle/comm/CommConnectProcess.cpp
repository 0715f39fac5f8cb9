#include "Brindle/comm/CommConnectProcess.h"

#include "Brindle/base/CritSec.h"
#include "Brindle/comm/CommLog.h"
#include "Brindle/comm/CommSocket.h"
#include "Brindle/comm/CommTimeout.h"
#include "Platform/KernelObjects.h"

#include <string>

namespace Brindle {

std::atomic<bool> CCommConnectProcess::m_async_connect{true};

namespace {
constexpr const char* kSource = "CCommConnectProcess";
constexpr long kDefaultDelay = 10;

void Log(const std::string& text)
{
    CommLog::Write(0, kSource, text);
}
} // namespace

CCommConnectProcess::CCommConnectProcess(CCommTimeout* timeout)
    : m_event(CreateEventA(nullptr, TRUE, FALSE, nullptr)), m_timeout(timeout)
{
}

CCommConnectProcess::~CCommConnectProcess()
{
    if (m_event != nullptr)
        CloseHandle(m_event);
}

int CCommConnectProcess::ThreadExecuteFcn()
{
    const DWORD id = GetCurrentThreadId();
    try {
        return Cycle();
    } catch (const std::exception& e) {
        Log(std::string(kSource) + ": " + std::to_string(id) + " - exception: " + e.what());
    } catch (...) {
        Log(std::string(kSource) + ": " + std::to_string(id) + " - unhandled exception");
    }
    // Whatever failed, the attempt is over; the next one waits its pause.
    m_inProgress = false;
    Sleep(PollMs);
    return 1;
}

int CCommConnectProcess::Failed(DWORD threadId)
{
    Log(std::string(kSource) + ": thread " + std::to_string(threadId) + " connection attempt " +
        std::to_string(m_attempts.load()) + " failed, next connect attempt at " + m_next.FormatISO());
    return 1;
}

int CCommConnectProcess::Cycle()
{
    const DWORD id = GetCurrentThreadId();
    if (m_socket == nullptr)
        return 0;
    const bool async = GetAsyncConnect();
    if (!m_inProgress || !async) {
        if (CTimestamp().GetTimestamp() <= m_next.GetTimestamp()) {
            Sleep(PollMs);
            return 1;
        }
        const unsigned attempt = m_attempts.fetch_add(1) + 1;
        const long pause = m_timeout != nullptr ? m_timeout->GetDelay(attempt) : kDefaultDelay;
        m_next = CTimestamp(CTimestamp().GetTimestamp() + pause);
        m_inProgress = true;
        m_attemptStart = std::chrono::steady_clock::now();
        if (async) {
            bool started;
            {
                CSystemLock lock;
                if (m_socket == nullptr)
                    return 0;
                Log(std::string(kSource) + ": thread " + std::to_string(id) + " async connect attempt " +
                    std::to_string(attempt) + " to " + m_socket->GetAddress());
                ResetEvent(m_event);
                started = m_socket->AsyncConnect(m_event);
            }
            if (!started) {
                // Refused before it began: waiting for the event would wait
                // forever.
                m_inProgress = false;
                return Failed(id);
            }
        } else {
            std::string address;
            {
                CSystemLock lock;
                if (m_socket == nullptr)
                    return 0;
                address = m_socket->GetAddress();
            }
            Log(std::string(kSource) + ": thread " + std::to_string(id) + " connect attempt " +
                std::to_string(attempt) + " to " + address);
            // The socket outlives the thread (it stops the thread before it
            // goes), so the blocking dial runs without the lock.
            if (m_socket->Connect()) {
                m_inProgress = false;
                return 0;
            }
            m_inProgress = false;
            return Failed(id);
        }
    }
    if (WaitForSingleObject(m_event, PollMs) != WAIT_OBJECT_0) {
        if (std::chrono::steady_clock::now() - m_attemptStart < std::chrono::milliseconds(ConnectLimitMs))
            return 1;
        // Nothing heard in time (a peer that drops the handshake): give up
        // rather than wait for the system's own limit of minutes.
        m_inProgress = false;
        {
            CSystemLock lock;
            if (m_socket == nullptr)
                return 0;
            m_socket->AbandonConnect();
        }
        return Failed(id);
    }
    m_inProgress = false;
    {
        CSystemLock lock;
        if (m_socket == nullptr || m_socket->CheckAsyncConnect(m_event)) {
            m_attempts.store(0);
            m_socket = nullptr;
            return 0;
        }
    }
    return Failed(id);
}

} // namespace Brindle
