// CThreadObject: a named operating-system thread that runs a CRunnable, with
// a state, a handle and the error that ended its last run.
//
// States: not running -> StartThread -> starting -> running -> StopThread ->
// stopping -> success (Run returned) or fail (Run threw; GetError says why).
// The end states persist after the thread has ended; the object may then be
// started again.
//
// Contract
// - StopThread asks the runnable to shut down when the thread is starting or
//   running (a stop right after a start is not lost), waits at most 5 seconds
//   for the thread to end and then lets go of it. A thread that does not end
//   in time is abandoned, not killed: from then on it never touches this
//   object, which may be destroyed or started again. Join still waits for it.
// - The thread handle is released exactly once: by the ending thread or by
//   StopThread, whichever comes first; the other finds it gone. GetHandle may
//   thus return a handle that is closed a moment later: waits on it then fail
//   cleanly (handles are never reused). Wait and Join do not have that race.
// - The destructor stops a starting or running thread first and never waits
//   for an abandoned one; the runnable (not owned) must outlive its thread.
// - A copy is a snapshot (name, state, id, runnable, error) holding its own
//   handle to the same thread: it can wait for and stop that thread, but the
//   thread reports its end only to the object that started it.
//
// Thread-safety: GetState, StopThread, Wait and Join may be called from any
// thread; StartThread, assignment and destruction from one controlling thread
// while no other thread uses the object. GetError is stable once GetState
// reports an end state.
#pragma once

#include "Brindle/base/Exception.h"
#include "Brindle/base/Runnable.h"
#include "Platform/KernelObjects.h"

#include <atomic>
#include <memory>

namespace Brindle {

enum THREADSTATE : long {
    THREAD_NOT_RUNNING = 0,
    THREAD_STARTING = 1,
    THREAD_RUNNING = 2,
    THREAD_STOPPING = 3,
    THREAD_SUCCESS = 4,
    THREAD_FAIL = 5,
};

class CThreadObject {
public:
    // Longest thread name kept; longer names are cut.
    static constexpr unsigned MaxNameLength = 63;
    // How long StopThread waits for the thread to end.
    static constexpr DWORD StopTimeoutMs = 5000;

    CThreadObject();
    explicit CThreadObject(const char* name);
    CThreadObject(const CThreadObject& other);
    CThreadObject& operator=(const CThreadObject& other);
    ~CThreadObject();

    // Starts a thread that runs `runnable` (or, when null, the runnable given
    // before). Throws CException "Must call StopThread to initialize thread
    // object" while a thread handle is held, "Must provide runnable" when
    // there is no runnable. false when no thread could be made (the state is
    // then not running and GetError holds the system's code).
    bool StartThread(CRunnable* runnable);
    // Always true; see the contract above.
    bool StopThread();
    // 1 when the thread has ended or there is none, 0 on time-out.
    int Wait(DWORD milliseconds);
    // Like Wait, but also waits for a thread that StopThread abandoned: 1 once
    // the thread last started by this object has ended (or there was none).
    int Join(DWORD milliseconds = INFINITE);

    THREADSTATE GetState() const { return static_cast<THREADSTATE>(m_state.load(std::memory_order_acquire)); }
    static const char* ThreadStateString(THREADSTATE state);
    const CException& GetError() const { return m_error; }
    // INVALID_HANDLE_VALUE when there is no thread.
    HANDLE GetHandle() const;
    // 0xFFFFFFFF when there is no thread.
    DWORD GetThreadId() const;
    const char* GetThreadName() const { return m_name; }
    CRunnable* Runnable() const;

protected:
    void SetState(THREADSTATE state) { m_state.store(state, std::memory_order_release); }

private:
    struct Link;
    struct StartArgs;
    static unsigned ThreadEntry(void* args);
    // The body the new thread runs.
    static void ThreadEntryFcn(const std::shared_ptr<Link>& link, unsigned long long run);
    void SetName(const char* name);
    void CopyFrom(const CThreadObject& other);
    // Lets go of the thread and the handles without stopping anything.
    void Detach();

    char m_name[MaxNameLength + 1];
    std::atomic<long> m_state;
    HANDLE m_handle;     // the thread's handle; guarded by the link's lock
    DWORD m_threadId;    // guarded by the link's lock
    CRunnable* m_runnable;
    CException m_error;
    // Shared with the running thread: whether this object is still there and
    // which run the thread belongs to. Never replaced.
    std::shared_ptr<Link> m_link;
    // A second handle to the last thread started, kept for Wait and Join
    // after the thread has released m_handle.
    HANDLE m_joinHandle;
};

} // namespace Brindle
