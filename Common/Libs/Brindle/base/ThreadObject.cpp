#include "Brindle/base/ThreadObject.h"

#include <cstring>
#include <cxxabi.h>
#include <mutex>

namespace Brindle {

namespace {
constexpr DWORD NoThreadId = 0xFFFFFFFFu;
} // namespace

// What the object and its running thread share. The thread may touch the
// object only under `mutex`, only while `owner` is set and only while `run`
// is still the number of its own run: StopThread abandoning a thread and the
// destructor move those on, and the thread then leaves the object alone.
struct CThreadObject::Link {
    explicit Link(CThreadObject* o) : owner(o) {}
    std::mutex mutex;
    CThreadObject* owner;
    unsigned long long run = 0;

    CThreadObject* OwnerFor(unsigned long long r) const { return run == r ? owner : nullptr; }
};

struct CThreadObject::StartArgs {
    std::shared_ptr<Link> link;
    unsigned long long run;
};

CThreadObject::CThreadObject() : CThreadObject("unknown") {}

CThreadObject::CThreadObject(const char* name)
    : m_state(THREAD_NOT_RUNNING),
      m_handle(INVALID_HANDLE_VALUE),
      m_threadId(NoThreadId),
      m_runnable(nullptr),
      m_link(std::make_shared<Link>(this)),
      m_joinHandle(nullptr)
{
    SetName(name);
}

CThreadObject::CThreadObject(const CThreadObject& other)
    : m_state(THREAD_NOT_RUNNING),
      m_handle(INVALID_HANDLE_VALUE),
      m_threadId(NoThreadId),
      m_runnable(nullptr),
      m_link(std::make_shared<Link>(this)),
      m_joinHandle(nullptr)
{
    CopyFrom(other);
}

CThreadObject& CThreadObject::operator=(const CThreadObject& other)
{
    if (this != &other) {
        Detach();
        CopyFrom(other);
    }
    return *this;
}

CThreadObject::~CThreadObject()
{
    const THREADSTATE state = GetState();
    if (state == THREAD_STARTING || state == THREAD_RUNNING)
        StopThread();
    Detach();
    std::lock_guard<std::mutex> g(m_link->mutex);
    m_link->owner = nullptr;
}

void CThreadObject::SetName(const char* name)
{
    if (name == nullptr)
        name = "unknown";
    std::size_t n = std::strlen(name);
    if (n > MaxNameLength) {
        n = MaxNameLength;
        // Never cut a UTF-8 sequence in two.
        while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(m_name, name, n);
    m_name[n] = '\0';
}

void CThreadObject::CopyFrom(const CThreadObject& other)
{
    std::scoped_lock g(m_link->mutex, other.m_link->mutex);
    SetName(other.m_name);
    m_state.store(other.m_state.load(std::memory_order_acquire), std::memory_order_release);
    m_runnable = other.m_runnable;
    m_error = other.m_error;
    if (other.m_handle != INVALID_HANDLE_VALUE) {
        HANDLE copy = DuplicateKernelHandle(other.m_handle);
        m_handle = copy != nullptr ? copy : INVALID_HANDLE_VALUE;
    }
    m_threadId = m_handle != INVALID_HANDLE_VALUE ? other.m_threadId : NoThreadId;
    if (other.m_joinHandle != nullptr)
        m_joinHandle = DuplicateKernelHandle(other.m_joinHandle);
}

void CThreadObject::Detach()
{
    std::lock_guard<std::mutex> g(m_link->mutex);
    ++m_link->run; // a thread still running no longer reports here
    if (m_handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }
    m_threadId = NoThreadId;
    if (m_joinHandle != nullptr) {
        ::CloseHandle(m_joinHandle);
        m_joinHandle = nullptr;
    }
}

bool CThreadObject::StartThread(CRunnable* runnable)
{
    // Held until the handle is stored, so that a thread that ends at once
    // finds its handle here to release.
    std::lock_guard<std::mutex> g(m_link->mutex);
    if (m_handle != INVALID_HANDLE_VALUE)
        throw CException("Must call StopThread to initialize thread object", 0);
    if (runnable != nullptr)
        m_runnable = runnable;
    else if (m_runnable == nullptr)
        throw CException("Must provide runnable", 0);

    if (auto* process = dynamic_cast<CThreadProcess*>(m_runnable))
        process->ResetShutdown();
    m_error = CException();
    SetState(THREAD_STARTING);
    const unsigned long long run = ++m_link->run;
    if (m_joinHandle != nullptr) {
        ::CloseHandle(m_joinHandle);
        m_joinHandle = nullptr;
    }

    auto args = std::make_unique<StartArgs>(StartArgs{m_link, run});
    DWORD id = 0;
    HANDLE handle = BeginThread(&CThreadObject::ThreadEntry, args.get(), m_name, &id);
    if (handle == nullptr) {
        m_error = CException("CThreadObject::StartThread() cannot create thread", ::GetLastError());
        SetState(THREAD_NOT_RUNNING);
        return false;
    }
    args.release(); // the thread owns them now
    m_handle = handle;
    m_threadId = id;
    m_joinHandle = DuplicateKernelHandle(handle);
    return true;
}

unsigned CThreadObject::ThreadEntry(void* param)
{
    std::unique_ptr<StartArgs> args(static_cast<StartArgs*>(param));
    ThreadEntryFcn(args->link, args->run);
    return 0;
}

void CThreadObject::ThreadEntryFcn(const std::shared_ptr<Link>& link, unsigned long long run)
{
    CRunnable* runnable = nullptr;
    {
        std::lock_guard<std::mutex> g(link->mutex);
        CThreadObject* self = link->OwnerFor(run);
        if (self == nullptr)
            return; // given up on before it began: run nothing
        // A stop requested while starting leaves the state at stopping.
        long expected = THREAD_STARTING;
        self->m_state.compare_exchange_strong(expected, THREAD_RUNNING, std::memory_order_acq_rel);
        runnable = self->m_runnable;
    }

    auto finish = [&](bool failed, const CException& error) {
        std::lock_guard<std::mutex> g(link->mutex);
        CThreadObject* self = link->OwnerFor(run);
        if (self == nullptr)
            return;
        if (failed)
            self->m_error = error;
        self->SetState(failed ? THREAD_FAIL : THREAD_SUCCESS);
        if (self->m_handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(self->m_handle);
            self->m_handle = INVALID_HANDLE_VALUE;
        }
        self->m_threadId = NoThreadId;
    };

    try {
        runnable->Run();
    } catch (const abi::__forced_unwind&) {
        finish(true, CException("CThreadObject::ThreadEntryFcn() unhandled exception in Run()", ::GetLastError()));
        throw;
    } catch (const std::exception& e) {
        finish(true, CException(e.what(), 0));
        return;
    } catch (...) {
        finish(true, CException("CThreadObject::ThreadEntryFcn() unhandled exception in Run()", ::GetLastError()));
        return;
    }
    finish(false, CException());
}

bool CThreadObject::StopThread()
{
    bool request = false;
    CRunnable* runnable = nullptr;
    HANDLE join = nullptr;
    unsigned long long run = 0;
    {
        std::lock_guard<std::mutex> g(m_link->mutex);
        long state = m_state.load(std::memory_order_acquire);
        while (state == THREAD_STARTING || state == THREAD_RUNNING) {
            if (m_state.compare_exchange_weak(state, THREAD_STOPPING, std::memory_order_acq_rel)) {
                request = true;
                break;
            }
        }
        runnable = m_runnable;
        if (m_handle != INVALID_HANDLE_VALUE) {
            join = m_joinHandle;
            run = m_link->run;
        }
    }
    // Outside the lock: a runnable's shutdown may take locks of its own.
    if (request && runnable != nullptr)
        runnable->RequestShutdown();
    if (join == nullptr)
        return true;

    const DWORD result = ::WaitForSingleObject(join, StopTimeoutMs);

    std::lock_guard<std::mutex> g(m_link->mutex);
    if (m_link->run == run) {
        if (m_handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(m_handle);
            m_handle = INVALID_HANDLE_VALUE;
        }
        m_threadId = NoThreadId;
        if (result == WAIT_TIMEOUT)
            ++m_link->run; // abandoned: it must not report to this object
    }
    return true;
}

int CThreadObject::Wait(DWORD milliseconds)
{
    HANDLE join;
    {
        std::lock_guard<std::mutex> g(m_link->mutex);
        if (m_handle == INVALID_HANDLE_VALUE || m_joinHandle == nullptr)
            return 1;
        join = m_joinHandle;
    }
    return ::WaitForSingleObject(join, milliseconds) == WAIT_TIMEOUT ? 0 : 1;
}

int CThreadObject::Join(DWORD milliseconds)
{
    HANDLE join;
    {
        std::lock_guard<std::mutex> g(m_link->mutex);
        join = m_joinHandle;
    }
    if (join == nullptr)
        return 1;
    return ::WaitForSingleObject(join, milliseconds) == WAIT_TIMEOUT ? 0 : 1;
}

HANDLE CThreadObject::GetHandle() const
{
    std::lock_guard<std::mutex> g(m_link->mutex);
    return m_handle;
}

DWORD CThreadObject::GetThreadId() const
{
    std::lock_guard<std::mutex> g(m_link->mutex);
    return m_threadId;
}

CRunnable* CThreadObject::Runnable() const
{
    std::lock_guard<std::mutex> g(m_link->mutex);
    return m_runnable;
}

const char* CThreadObject::ThreadStateString(THREADSTATE state)
{
    switch (state) {
    case THREAD_NOT_RUNNING:
        return "Not Running";
    case THREAD_STARTING:
        return "Starting";
    case THREAD_RUNNING:
        return "Running";
    case THREAD_STOPPING:
        return "Stopping";
    case THREAD_SUCCESS:
        return "Success, Complete";
    case THREAD_FAIL:
        return "Fail, Complete";
    }
    return "<unknown>";
}

} // namespace Brindle
