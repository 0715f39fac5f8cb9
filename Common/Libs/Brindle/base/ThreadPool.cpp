#include "Brindle/base/ThreadPool.h"

#include "Brindle/base/CritSec.h"

#include <algorithm>
#include <cxxabi.h>

namespace Brindle {

namespace {
// The pooled thread running on this thread, if any: a thread that hands
// itself its next job need not wake itself.
thread_local CPooledThread* t_currentPooledThread = nullptr;
} // namespace

// --- CPooledThread -----------------------------------------------------------

CPooledThread::CPooledThread(const char* name, CThreadPool& pool)
    : m_thread(name),
      // Unnamed: a name would join the events of every pool with this name.
      m_jobEvent(nullptr, FALSE, FALSE),
      m_jobState(JOB_WAITING),
      m_pool(&pool),
      m_pending(nullptr),
      m_completed(0)
{
}

CPooledThread::~CPooledThread()
{
    RequestShutdown();
    m_thread.StopThread();
    // This object is the thread's runnable: it must not go while the thread
    // (even one StopThread gave up on) still runs in it.
    m_thread.Join(INFINITE);
    delete m_pending.exchange(nullptr, std::memory_order_acq_rel);
}

bool CPooledThread::ExecuteJob(CJob* job)
{
    if (job == nullptr)
        return false;
    // Under the system lock so that a thread that is ending cannot be handed
    // a job after it has given its last one back.
    CSystemLock lock;
    return HandOverLocked(job);
}

bool CPooledThread::HandOverLocked(CJob* job)
{
    if (!m_takingJobs || GetJobState() != JOB_WAITING)
        return false;
    CJob* none = nullptr;
    if (!m_pending.compare_exchange_strong(none, job, std::memory_order_acq_rel))
        return false; // one is already waiting: never overwrite it
    if (t_currentPooledThread != this)
        m_jobEvent.set();
    return true;
}

void CPooledThread::RequestShutdown()
{
    CThreadProcess::RequestShutdown();
    m_jobEvent.set();
}

CJob* CPooledThread::StartNextJob()
{
    CJob* job = m_pending.exchange(nullptr, std::memory_order_acq_rel);
    if (job != nullptr)
        SetJobState(JOB_RUNNING);
    return job;
}

int CPooledThread::ThreadInit()
{
    t_currentPooledThread = this;
    SetJobState(JOB_WAITING);
    {
        CSystemLock lock;
        m_takingJobs = true;
    }
    m_pool->ThreadReady(this);
    return 1;
}

int CPooledThread::ThreadExecuteFcn()
{
    std::unique_ptr<CJob> job(StartNextJob());
    if (job) {
        try {
            job->Execute(*this);
        } catch (const abi::__forced_unwind&) {
            throw;
        } catch (...) {
            // A failing job must not take its thread with it.
        }
        job.reset();
        SetJobState(JOB_WAITING);
        m_completed.fetch_add(1, std::memory_order_acq_rel);
        m_pool->ThreadReady(this);
    } else {
        m_jobEvent.wait(INFINITE);
    }
    return 1;
}

void CPooledThread::ThreadExit(bool /*success*/)
{
    m_pool->ThreadEnded(this);
    t_currentPooledThread = nullptr;
}

const char* CPooledThread::JobStateString(JOBSTATE state)
{
    switch (state) {
    case JOB_WAITING:
        return "Waiting for job";
    case JOB_RUNNING:
        return "Running job";
    }
    return "<unknown>";
}

// --- CThreadPool -------------------------------------------------------------

CThreadPool::CThreadPool(const std::string& name) : m_name(name) {}

CThreadPool::~CThreadPool()
{
    StopPool();
    // Each pooled thread waits for its thread to end as it goes.
    m_threads.clear();
}

int CThreadPool::StartPool(int n)
{
    int started = 0;
    for (int i = 0; i < n; ++i) {
        const std::string name = m_name + "(" + std::to_string(m_threads.size()) + ")";
        auto thread = std::make_unique<CPooledThread>(name.c_str(), *this);
        {
            CSystemLock lock;
            ++m_liveThreads; // before it can end and count itself out
        }
        if (thread->GetThread().StartThread(thread.get())) {
            m_threads.push_back(std::move(thread));
            ++started;
        } else {
            CSystemLock lock;
            --m_liveThreads;
        }
    }
    return started;
}

void CThreadPool::StopPool()
{
    for (auto& thread : m_threads)
        thread->RequestShutdown();
    for (auto& thread : m_threads)
        thread->GetThread().StopThread();
}

void CThreadPool::QueueJob(CJob* job)
{
    if (job == nullptr)
        throw CException("CThreadPool::QueueJob() - no job", ERROR_INVALID_PARAMETER);
    std::unique_ptr<CJob> owned(job);
    CSystemLock lock;
    m_jobs.push_back(std::move(owned));
    DispatchLocked();
}

void CThreadPool::ThreadReady(CPooledThread* thread)
{
    CSystemLock lock;
    if (!thread->m_takingJobs)
        return;
    if (!thread->m_idle) {
        thread->m_idle = true;
        m_idleThreads.push_back(thread);
    }
    DispatchLocked();
}

void CThreadPool::ThreadEnded(CPooledThread* thread)
{
    CSystemLock lock;
    thread->m_takingJobs = false;
    if (thread->m_idle) {
        thread->m_idle = false;
        m_idleThreads.erase(std::find(m_idleThreads.begin(), m_idleThreads.end(), thread));
    }
    std::unique_ptr<CJob> leftover(thread->m_pending.exchange(nullptr, std::memory_order_acq_rel));
    if (leftover)
        m_jobs.push_front(std::move(leftover)); // it was first in line
    --m_liveThreads;
    DispatchLocked();
}

void CThreadPool::DispatchLocked()
{
    while (!m_jobs.empty() && !m_idleThreads.empty()) {
        CPooledThread* thread = m_idleThreads.front();
        m_idleThreads.pop_front();
        thread->m_idle = false;
        // A thread that refuses is not really waiting; it comes back through
        // ThreadReady, and the job keeps its place.
        if (thread->HandOverLocked(m_jobs.front().get()))
            m_jobs.front().release(), m_jobs.pop_front();
    }
}

bool CThreadPool::AllDone()
{
    CSystemLock lock;
    return m_jobs.empty() && static_cast<int>(m_idleThreads.size()) == m_liveThreads;
}

int CThreadPool::IdleThreads()
{
    CSystemLock lock;
    return static_cast<int>(m_idleThreads.size());
}

} // namespace Brindle
