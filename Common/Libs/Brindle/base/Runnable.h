// CRunnable, the work a thread runs, and CThreadProcess, work shaped as
// initialise once, execute repeatedly until a shutdown is requested or the
// step asks to stop, clean up once.
//
// A shutdown request is never lost: the counter is not cleared when a run
// begins, so a request made after CThreadObject::StartThread but before the
// loop starts still ends the loop at once. The counter is cleared when a run
// ends and when StartThread begins a fresh run, so a later run starts clean.
//
// Thread-safety: RequestShutdown and InShutdown may be called from any thread
// while Run runs on another. Run itself runs on one thread at a time.
#pragma once

#include <atomic>

namespace Brindle {

class CThreadObject;

class CRunnable {
public:
    virtual ~CRunnable() = default;
    // The thread's body.
    virtual void Run() = 0;
    // Asks a running Run to end; it may return before Run has ended.
    virtual void RequestShutdown() {}
};

class CThreadProcess : public CRunnable {
public:
    CThreadProcess() = default;
    ~CThreadProcess() override = default;

    // ThreadInit; then ThreadExecuteFcn until a shutdown is requested or it
    // returns 0; then ThreadExit(success). When ThreadInit returns 0 nothing
    // else runs. An exception of the loop is swallowed and reported to
    // ThreadExit as success = false; one of ThreadInit or ThreadExit leaves Run.
    void Run() override;
    // Raises the shutdown counter; the loop ends after the current step.
    void RequestShutdown() override;
    bool InShutdown() const { return m_shutdown.load(std::memory_order_acquire) > 0; }

protected:
    // Non-zero lets the loop start.
    virtual int ThreadInit() { return 1; }
    // Non-zero asks to be called again.
    virtual int ThreadExecuteFcn() { return 0; }
    // Cleans up; success is false when the loop ended by an exception.
    virtual void ThreadExit(bool /*success*/) {}

private:
    friend class CThreadObject;
    // StartThread begins a fresh run: requests made for an earlier run go.
    void ResetShutdown() { m_shutdown.store(0, std::memory_order_release); }

    std::atomic<long> m_shutdown{0};
};

} // namespace Brindle
