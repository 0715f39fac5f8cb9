// Wrappers of the kernel objects: CEvent, CMutex, CSemaphore, the owner of
// any other handle CHandle, the waitable base CSyncObj, and ChangePermission.
//
// Failure conventions: the creating and opening constructors throw
// CException with the system error code; Create/Open report false and never
// throw (except CSemaphore's count check); waits report false on time-out.
// Create/Open close a held handle first, even when the new call then fails.
//
// Copies: a copy holds its own handle to the same kernel object, so every
// copy closes what it holds and the object goes with its last holder.
//
// Thread-safety: one thread creates, opens, copies or closes a wrapper while
// no other thread uses it; wait, set, release and the like may run
// concurrently from any thread.
#pragma once

#include "Brindle/base/Exception.h"
#include "Platform/KernelObjects.h"

namespace Brindle {

class CEvent {
public:
    CEvent();
    CEvent(LPCSTR name, BOOL manualReset, BOOL initiallySignaled, LPSECURITY_ATTRIBUTES sa = nullptr);
    CEvent(LPCSTR name, DWORD desiredAccess, BOOL inherit);
    CEvent(const CEvent& other);
    CEvent& operator=(const CEvent& other);
    ~CEvent();

    bool Create(LPCSTR name, BOOL manualReset, BOOL initiallySignaled, LPSECURITY_ATTRIBUTES sa = nullptr);
    bool Open(LPCSTR name, DWORD desiredAccess, BOOL inherit);
    bool Close();

    bool set();
    bool reset();
    bool pulse();
    // true when signalled; false on time-out or failure. Throws when no
    // handle is held.
    bool wait(DWORD milliseconds = INFINITE);
    bool test() { return wait(0); }

    operator HANDLE() const { return m_handle; }

private:
    HANDLE m_handle;
};

class CMutex {
public:
    CMutex();
    CMutex(LPCSTR name, BOOL initialOwner, LPSECURITY_ATTRIBUTES sa = nullptr);
    CMutex(const CMutex& other);
    CMutex& operator=(const CMutex& other);
    ~CMutex();

    bool Create(LPCSTR name, BOOL initialOwner, LPSECURITY_ATTRIBUTES sa = nullptr);
    // Note the argument order (inherit before access).
    bool Open(LPCSTR name, BOOL inherit, DWORD desiredAccess);
    bool Close();

    // true when acquired. An abandoned mutex (its owner ended without
    // releasing) reports false; it is released again at once so that the
    // next waiter is not left hanging. Other failures throw "CMutex::wait".
    bool wait(DWORD milliseconds = INFINITE);
    bool acquire(DWORD milliseconds = INFINITE) { return wait(milliseconds); }
    bool release();

    operator HANDLE() const { return m_handle; }

private:
    HANDLE m_handle;
};

class CSemaphore {
public:
    CSemaphore();
    CSemaphore(long initialCount, long maximumCount, LPCSTR name = nullptr, LPSECURITY_ATTRIBUTES sa = nullptr);
    CSemaphore(LPCSTR name, DWORD desiredAccess, BOOL inherit);
    CSemaphore(const CSemaphore& other);
    CSemaphore& operator=(const CSemaphore& other);
    ~CSemaphore();

    // Throws when not 0 <= initial <= maximum and maximum >= 1.
    bool Create(long initialCount, long maximumCount, LPCSTR name = nullptr, LPSECURITY_ATTRIBUTES sa = nullptr);
    bool Open(LPCSTR name, DWORD desiredAccess, BOOL inherit);
    bool Close();

    bool acquire(DWORD milliseconds = INFINITE);
    bool release();
    bool release(long count, long* previousCount);

    operator HANDLE() const { return m_handle; }

private:
    HANDLE m_handle;
};

// Owns one handle; INVALID_HANDLE_VALUE when none.
class CHandle {
public:
    CHandle();
    explicit CHandle(HANDLE handle);
    CHandle(const CHandle& other);
    CHandle& operator=(const CHandle& other);
    // Stores the new handle; a held handle is not closed (ReleaseHandle or
    // CloseHandle it first).
    CHandle& operator=(HANDLE handle);
    ~CHandle();

    void CloseHandle();
    HANDLE ReleaseHandle();
    int IsValid() const { return IsBadHandle(m_handle) ? 0 : 1; }
    int IsInvalid() const { return IsBadHandle(m_handle) ? 1 : 0; }
    static bool IsBadHandle(HANDLE handle) { return handle == nullptr || handle == INVALID_HANDLE_VALUE; }

    int operator==(HANDLE handle) const { return m_handle == handle ? 1 : 0; }
    int operator==(const CHandle& other) const { return m_handle == other.m_handle ? 1 : 0; }
    operator HANDLE() const { return m_handle; }

private:
    HANDLE m_handle;
};

// Base of waitable objects whose release a subclass defines.
class CSyncObj {
public:
    CSyncObj();
    CSyncObj(const CSyncObj&) = delete;
    CSyncObj& operator=(const CSyncObj&) = delete;
    // Closes the handle. Destroying an object that is still acquired throws
    // "CSyncObj: Destroying acquired object!" unless an exception is already
    // unwinding the stack.
    virtual ~CSyncObj() noexcept(false);

    virtual bool acquire(DWORD milliseconds = INFINITE);
    virtual bool release() = 0;

protected:
    HANDLE m_handle;
    bool m_acquired;
};

// Grants every local user full access to a kernel object. Objects of this
// process are reachable only from inside it, so there is nothing to widen:
// a live handle gives 1, anything else throws as the access check would.
int ChangePermission(HANDLE object);

} // namespace Brindle
