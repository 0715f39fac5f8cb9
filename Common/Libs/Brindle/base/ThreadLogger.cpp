#include "Brindle/base/ThreadLogger.h"

#include "Brindle/base/CritSec.h"

#include <exception>

namespace Brindle {

CThreadLogger::CThreadLogger(CLogger& target) : m_target(target), m_wakeup(nullptr, FALSE, FALSE) {}

CThreadLogger::~CThreadLogger() = default;

void CThreadLogger::Log(const CLogData& record)
{
    bool wasEmpty;
    {
        CSystemLock lock;
        wasEmpty = m_queue.empty();
        m_queue.push_back(record);
    }
    // The thread takes the whole queue at once: only the record that makes
    // it non-empty needs to wake it.
    if (wasEmpty)
        m_wakeup.set();
}

void CThreadLogger::RequestShutdown()
{
    CThreadProcess::RequestShutdown();
    m_wakeup.set();
}

std::size_t CThreadLogger::Pending() const
{
    CSystemLock lock;
    return m_queue.size();
}

void CThreadLogger::Deliver(const CLogData& record, bool* failed)
{
    try {
        m_target.Log(record);
        return;
    } catch (const std::exception& e) {
        *failed = true;
        try {
            m_target.Log(CLogData(SEVERITY_LOGGER_FAILED, "ThreadExecuteFcn", CVar(e.what())));
        } catch (...) {
        }
    } catch (...) {
        *failed = true;
        try {
            m_target.Log(CLogData(SEVERITY_LOGGER_FAILED, "ThreadExecuteFcn", CVar("unhandled exception")));
        } catch (...) {
        }
    }
}

bool CThreadLogger::Drain()
{
    bool failed = false;
    for (;;) {
        m_batch.clear();
        {
            CSystemLock lock;
            if (m_queue.empty())
                break;
            m_batch.swap(m_queue);
        }
        for (const CLogData& record : m_batch)
            Deliver(record, &failed);
    }
    m_batch.clear();
    return !failed;
}

int CThreadLogger::ThreadExecuteFcn()
{
    if (!Drain())
        return 1;
    if (!InShutdown())
        m_wakeup.wait(1000);
    return 1;
}

void CThreadLogger::ThreadExit(bool success)
{
    Drain();
    bool failed = false;
    Deliver(CLogData(success ? SEVERITY_INFORMATION : SEVERITY_LOGGER_FAILED, "ThreadExecuteFcn",
                     CVar("thread exit")),
            &failed);
}

} // namespace Brindle
