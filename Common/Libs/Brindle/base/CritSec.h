// CCritSec, the library's re-entrant in-process lock, its scoped holders
// CSyncLock and CSystemLock, and the library-wide system lock.
//
// The system lock (GetSystemLock) guards the library's process-wide state:
// identity texts, reference counts, pool state. It is held briefly and never
// across a wait on the network. Applications may install their own lock in
// its place with SetSystemLock before they start threads.
//
// Thread-safety: acquire/release on one CCritSec from any thread; a holder
// object belongs to the thread that made it. GetSystemLock and SetSystemLock
// may run from any thread.
#pragma once

#include "Platform/KernelObjects.h"

namespace Brindle {

class CCritSec {
public:
    CCritSec();
    ~CCritSec();
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;

    void acquire();
    void release();
    // true when the lock was taken without waiting.
    bool try_acquire();

    operator CRITICAL_SECTION*() { return &m_cs; }

private:
    CRITICAL_SECTION m_cs;
};

// Holds one acquisition of a lock of class T (any class with acquire() and
// release()) for the holder's life. A copy acquires once more; assignment
// releases what this holder held and acquires the other's lock, so acquires
// and releases always balance. A null lock is held as nothing.
template <typename T>
class CSyncLock {
public:
    explicit CSyncLock(T* lock) : m_lock(lock)
    {
        if (m_lock != nullptr)
            m_lock->acquire();
    }
    CSyncLock(const CSyncLock& other) : CSyncLock(other.m_lock) {}
    CSyncLock& operator=(const CSyncLock& other)
    {
        if (this != &other && m_lock != other.m_lock) {
            if (other.m_lock != nullptr)
                other.m_lock->acquire();
            if (m_lock != nullptr)
                m_lock->release();
            m_lock = other.m_lock;
        }
        return *this;
    }
    ~CSyncLock()
    {
        if (m_lock != nullptr)
            m_lock->release();
    }

private:
    T* m_lock;
};

// The system lock in force: the replacement set by SetSystemLock, or the
// library's built-in lock.
CCritSec* GetSystemLock();
// Installs a replacement system lock; null returns to the built-in one.
void SetSystemLock(CCritSec* lock);

// Holds the system lock that was in force when it was made.
class CSystemLock {
public:
    CSystemLock();
    ~CSystemLock();
    CSystemLock(const CSystemLock&) = delete;
    CSystemLock& operator=(const CSystemLock&) = delete;

private:
    CCritSec* m_lock;
};

} // namespace Brindle
