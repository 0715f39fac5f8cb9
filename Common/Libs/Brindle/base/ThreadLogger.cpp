#include "Brindle/base/ThreadLogger.h"

#include "Brindle/base/CritSec.h"

#include <exception>

namespace Brindle {

CThreadLogger::CThreadLogger(CLogger& target, std::size_t maxQueued)
    : m_target(target), m_batchTarget(dynamic_cast<CBatchLogger*>(&target)), m_wakeup(nullptr, FALSE, FALSE),
      m_maxQueued(maxQueued > 0 ? maxQueued : 1)
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
        if (m_queue.size() >= m_maxQueued) {
            ++m_dropped;
            return;
        }
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

int CThreadLogger::DrainOnce()
{
    m_batch.clear();
    std::size_t dropped;
    {
        CSystemLock lock;
        if (m_queue.empty())
            return 0;
        m_batch.swap(m_queue);
        dropped = m_dropped;
        m_dropped = 0;
    }
    bool failed = false;
    if (m_batchTarget != nullptr)
        DeliverBatch(&failed);
    else
        for (const CLogData& record : m_batch)
            Deliver(record, &failed);
    // Records are dropped only while the queue is full: after all of it.
    if (dropped > 0)
        Deliver(CLogData(SEVERITY_LOGGER_FAILED, "CThreadLogger", CVar(std::to_string(dropped) + " records dropped")),
                &failed);
    m_batch.clear();
    return failed ? -1 : 1;
}

int CThreadLogger::ThreadExecuteFcn()
{
    // One batch a round, so a stop is seen even while records keep coming;
    // the thread waits only when there was nothing to write.
    if (DrainOnce() != 0 || InShutdown())
        return 1;
    m_wakeup.wait(1000);
    return 1;
}

void CThreadLogger::ThreadExit(bool success)
{
    // What was queued when the loop ended; later records wait for a restart.
    DrainOnce();
    bool failed = false;
    Deliver(CLogData(success ? SEVERITY_INFORMATION : SEVERITY_LOGGER_FAILED, "ThreadExecuteFcn",
                     CVar("thread exit")),
            &failed);
}

} // namespace Brindle
