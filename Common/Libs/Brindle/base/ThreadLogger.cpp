#include "Brindle/base/ThreadLogger.h"

#include "Brindle/base/CritSec.h"

#include <exception>

namespace Brindle {

CThreadLogger::CThreadLogger(CLogger& target)
    : m_target(target), m_batchTarget(dynamic_cast<CBatchLogger*>(&target)), m_wakeup(nullptr, FALSE, FALSE)
{
}

CThreadLogger::~CThreadLogger() = default;

void CThreadLogger::Log(const CLogData& record)
{
    // The copy is made before the lock is taken.
    CLogData copy(record);
    bool wasEmpty;
    {
        CSystemLock lock;
        wasEmpty = m_queue.empty();
        m_queue.push_back(std::move(copy));
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
        ReportFailure(e.what());
    } catch (...) {
        *failed = true;
        ReportFailure("unhandled exception");
    }
}

void CThreadLogger::DeliverBatch(bool* failed)
{
    try {
        m_batchTarget->LogBatch(m_batch);
        return;
    } catch (const std::exception& e) {
        *failed = true;
        ReportFailure(e.what());
    } catch (...) {
        *failed = true;
        ReportFailure("unhandled exception");
    }
}

void CThreadLogger::ReportFailure(const char* text)
{
    try {
        m_target.Log(CLogData(SEVERITY_LOGGER_FAILED, "ThreadExecuteFcn", CVar(text)));
    } catch (...) {
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
        if (m_batchTarget != nullptr)
            DeliverBatch(&failed);
        else
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
