// CThreadPool: a fixed set of CPooledThread workers that run CJob objects
// from a first-in, first-out queue.
//
// Contract
// - A queued job belongs to the pool. It is deleted by the thread that ran
//   it, or when the pool (or the pooled thread holding it) is destroyed
//   before it ran. A job is never dropped: a job handed to a thread that can
//   no longer run it goes back to the front of the queue.
// - A job's exception is swallowed; the thread goes back to the pool.
// - StopPool asks every thread to stop (waking those that wait for work) and
//   waits up to 5 seconds for each. Jobs still queued stay queued (a later
//   StartPool runs them) and are deleted with the pool. The destructor stops
//   the pool and then waits, without limit, until every pooled thread has
//   ended, so no thread is ever left running on a freed object.
// - Each pooled thread has its own unnamed job event: pools that share a
//   name share nothing.
// - Pools and pooled threads cannot be copied (they own threads and jobs).
//
// Thread-safety: QueueJob, AllDone and IdleThreads may be called from any
// thread, also from inside a job. StartPool, StopPool and destruction belong
// to one controlling thread. The pool's lists are guarded by the system lock
// (GetSystemLock), held only briefly.
#pragma once

#include "Brindle/base/Runnable.h"
#include "Brindle/base/SyncObjects.h"
#include "Brindle/base/ThreadObject.h"

#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace Brindle {

class CPooledThread;
class CThreadPool;

// A unit of work for a pool.
class CJob {
public:
    virtual ~CJob() = default;
    virtual void Execute(CPooledThread& /*thread*/) {}
};

enum JOBSTATE : long {
    JOB_WAITING = 0,
    JOB_RUNNING = 1,
};

class CPooledThread : public CThreadProcess {
public:
    CPooledThread(const char* name, CThreadPool& pool);
    // Stops its thread, waits until it has ended, deletes a pending job.
    ~CPooledThread() override;
    CPooledThread(const CPooledThread&) = delete;
    CPooledThread& operator=(const CPooledThread&) = delete;

    CThreadObject& GetThread() { return m_thread; }
    // Hands the thread a job to run next (ownership passes on success).
    // false when it is running a job, already has one waiting, or is not
    // taking jobs (not yet started or ended).
    bool ExecuteJob(CJob* job);
    // Also wakes the thread when it waits for a job.
    void RequestShutdown() override;

    static const char* JobStateString(JOBSTATE state);
    long GetCompletedJobs() const { return m_completed.load(std::memory_order_acquire); }

protected:
    int ThreadInit() override;
    int ThreadExecuteFcn() override;
    // Gives the pool back a job handed over too late to run.
    void ThreadExit(bool success) override;

    // Takes the pending job (null when none) and marks the thread running it.
    CJob* StartNextJob();
    JOBSTATE GetJobState() const { return static_cast<JOBSTATE>(m_jobState.load(std::memory_order_acquire)); }
    void SetJobState(JOBSTATE state) { m_jobState.store(state, std::memory_order_release); }

private:
    friend class CThreadPool;
    // ExecuteJob for a caller that holds the system lock.
    bool HandOverLocked(CJob* job);

    CThreadObject m_thread;
    CEvent m_jobEvent;
    std::atomic<long> m_jobState;
    CThreadPool* m_pool;
    std::atomic<CJob*> m_pending;
    std::atomic<long> m_completed;
    // Guarded by the system lock.
    bool m_takingJobs = false;
    bool m_idle = false;
};

class CThreadPool {
public:
    explicit CThreadPool(const std::string& name);
    ~CThreadPool();
    CThreadPool(const CThreadPool&) = delete;
    CThreadPool& operator=(const CThreadPool&) = delete;

    // Starts n more threads, named "<pool name>(<index>)"; returns how many
    // started. n below 1 starts none.
    int StartPool(int n);
    void StopPool();
    // Takes ownership of job; it runs on the first idle thread, else waits
    // in the queue. Throws CException for a null job.
    void QueueJob(CJob* job);
    // Every running thread waits for work and no job is queued.
    bool AllDone();
    int IdleThreads();
    const std::string& GetPoolName() const { return m_name; }

protected:
    friend class CPooledThread;
    // A pooled thread is ready for work.
    void ThreadReady(CPooledThread* thread);
    // A pooled thread takes no more work; a job it was handed but did not
    // run goes back to the front of the queue.
    void ThreadEnded(CPooledThread* thread);

private:
    // Hands queued jobs to idle threads. Caller holds the system lock.
    void DispatchLocked();

    std::string m_name;
    std::vector<std::unique_ptr<CPooledThread>> m_threads; // start order
    // Guarded by the system lock:
    std::deque<CPooledThread*> m_idleThreads;             // oldest first
    std::deque<std::unique_ptr<CJob>> m_jobs;              // first in, first out
    int m_liveThreads = 0;                                 // started, not ended
};

} // namespace Brindle
