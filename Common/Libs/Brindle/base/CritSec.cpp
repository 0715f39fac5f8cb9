#include "Brindle/base/CritSec.h"

#include <atomic>

namespace Brindle {

CCritSec::CCritSec()
{
    InitializeCriticalSection(&m_cs);
}

CCritSec::~CCritSec()
{
    DeleteCriticalSection(&m_cs);
}

void CCritSec::acquire()
{
    EnterCriticalSection(&m_cs);
}

void CCritSec::release()
{
    LeaveCriticalSection(&m_cs);
}

bool CCritSec::try_acquire()
{
    return TryEnterCriticalSection(&m_cs) != FALSE;
}

namespace {
std::atomic<CCritSec*> g_replacement{nullptr};

CCritSec* BuiltInLock()
{
    // Never destroyed: threads of other libraries may still take it while
    // the process exits.
    static CCritSec* lock = new CCritSec;
    return lock;
}

// Made at load time, before any thread of the program can ask for it.
[[maybe_unused]] CCritSec* const g_loadTimeLock = BuiltInLock();
} // namespace

CCritSec* GetSystemLock()
{
    CCritSec* replacement = g_replacement.load(std::memory_order_acquire);
    return replacement != nullptr ? replacement : BuiltInLock();
}

void SetSystemLock(CCritSec* lock)
{
    g_replacement.store(lock, std::memory_order_release);
}

CSystemLock::CSystemLock() : m_lock(GetSystemLock())
{
    m_lock->acquire();
}

CSystemLock::~CSystemLock()
{
    m_lock->release();
}

} // namespace Brindle
