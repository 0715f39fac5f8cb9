#include "Brindle/base/SyncObjects.h"

#include <exception>

namespace Brindle {

namespace {
HANDLE Duplicate(HANDLE h)
{
    return h == nullptr ? nullptr : DuplicateKernelHandle(h);
}

bool CloseHeld(HANDLE& h)
{
    if (h == nullptr)
        return false;
    ::CloseHandle(h);
    h = nullptr;
    return true;
}
} // namespace

// --- CEvent ----------------------------------------------------------------

CEvent::CEvent() : m_handle(nullptr) {}

CEvent::CEvent(LPCSTR name, BOOL manualReset, BOOL initiallySignaled, LPSECURITY_ATTRIBUTES sa) : m_handle(nullptr)
{
    if (!Create(name, manualReset, initiallySignaled, sa))
        throw CException("CEvent: cannot create kernel object!", ::GetLastError());
}

CEvent::CEvent(LPCSTR name, DWORD desiredAccess, BOOL inherit) : m_handle(nullptr)
{
    if (!Open(name, desiredAccess, inherit))
        throw CException("CEvent: cannot open kernel object!", ::GetLastError());
}

CEvent::CEvent(const CEvent& other) : m_handle(Duplicate(other.m_handle)) {}

CEvent& CEvent::operator=(const CEvent& other)
{
    if (this != &other) {
        HANDLE copy = Duplicate(other.m_handle);
        CloseHeld(m_handle);
        m_handle = copy;
    }
    return *this;
}

CEvent::~CEvent()
{
    CloseHeld(m_handle);
}

bool CEvent::Create(LPCSTR name, BOOL manualReset, BOOL initiallySignaled, LPSECURITY_ATTRIBUTES sa)
{
    CloseHeld(m_handle);
    m_handle = ::CreateEventA(sa, manualReset, initiallySignaled, name);
    return m_handle != nullptr;
}

bool CEvent::Open(LPCSTR name, DWORD desiredAccess, BOOL inherit)
{
    CloseHeld(m_handle);
    m_handle = ::OpenEventA(desiredAccess, inherit, name);
    return m_handle != nullptr;
}

bool CEvent::Close()
{
    return CloseHeld(m_handle);
}

bool CEvent::set()
{
    return ::SetEvent(m_handle) != FALSE;
}

bool CEvent::reset()
{
    return ::ResetEvent(m_handle) != FALSE;
}

bool CEvent::pulse()
{
    return ::PulseEvent(m_handle) != FALSE;
}

bool CEvent::wait(DWORD milliseconds)
{
    if (m_handle == nullptr)
        throw CException("CEvent::wait() - invalid handle", 0);
    return ::WaitForSingleObject(m_handle, milliseconds) == WAIT_OBJECT_0;
}

// --- CMutex ----------------------------------------------------------------

CMutex::CMutex() : m_handle(nullptr) {}

CMutex::CMutex(LPCSTR name, BOOL initialOwner, LPSECURITY_ATTRIBUTES sa) : m_handle(nullptr)
{
    if (!Create(name, initialOwner, sa))
        throw CException("CMutex: Cannot create kernel object!", ::GetLastError());
}

CMutex::CMutex(const CMutex& other) : m_handle(Duplicate(other.m_handle)) {}

CMutex& CMutex::operator=(const CMutex& other)
{
    if (this != &other) {
        HANDLE copy = Duplicate(other.m_handle);
        CloseHeld(m_handle);
        m_handle = copy;
    }
    return *this;
}

CMutex::~CMutex()
{
    CloseHeld(m_handle);
}

bool CMutex::Create(LPCSTR name, BOOL initialOwner, LPSECURITY_ATTRIBUTES sa)
{
    CloseHeld(m_handle);
    m_handle = ::CreateMutexA(sa, initialOwner, name);
    return m_handle != nullptr;
}

bool CMutex::Open(LPCSTR name, BOOL inherit, DWORD desiredAccess)
{
    CloseHeld(m_handle);
    m_handle = ::OpenMutexA(desiredAccess, inherit, name);
    return m_handle != nullptr;
}

bool CMutex::Close()
{
    return CloseHeld(m_handle);
}

bool CMutex::wait(DWORD milliseconds)
{
    const DWORD result = ::WaitForSingleObject(m_handle, milliseconds);
    switch (result) {
    case WAIT_OBJECT_0:
        return true;
    case WAIT_ABANDONED:
        // The wait handed us the dead owner's mutex; callers read false as
        // "not acquired", so give it back rather than hold it for ever.
        ::ReleaseMutex(m_handle);
        return false;
    case WAIT_TIMEOUT:
        return false;
    default:
        throw CException("CMutex::wait", ::GetLastError());
    }
}

bool CMutex::release()
{
    return ::ReleaseMutex(m_handle) != FALSE;
}

// --- CSemaphore ------------------------------------------------------------

CSemaphore::CSemaphore() : m_handle(nullptr) {}

CSemaphore::CSemaphore(long initialCount, long maximumCount, LPCSTR name, LPSECURITY_ATTRIBUTES sa)
    : m_handle(nullptr)
{
    if (!Create(initialCount, maximumCount, name, sa))
        throw CException("CSemaphore: cannot create kernel object!", ::GetLastError());
}

CSemaphore::CSemaphore(LPCSTR name, DWORD desiredAccess, BOOL inherit) : m_handle(nullptr)
{
    if (!Open(name, desiredAccess, inherit))
        throw CException("CSemaphore: Cannot open kernel object!", ::GetLastError());
}

CSemaphore::CSemaphore(const CSemaphore& other) : m_handle(Duplicate(other.m_handle)) {}

CSemaphore& CSemaphore::operator=(const CSemaphore& other)
{
    if (this != &other) {
        HANDLE copy = Duplicate(other.m_handle);
        CloseHeld(m_handle);
        m_handle = copy;
    }
    return *this;
}

CSemaphore::~CSemaphore()
{
    CloseHeld(m_handle);
}

bool CSemaphore::Create(long initialCount, long maximumCount, LPCSTR name, LPSECURITY_ATTRIBUTES sa)
{
    CloseHeld(m_handle);
    if (!(initialCount >= 0 && initialCount <= maximumCount && maximumCount >= 1))
        throw CException("CSemaphore: invalid semaphore count initialization!", 0);
    if (maximumCount > 0x7FFFFFFFL)
        maximumCount = 0x7FFFFFFFL;
    m_handle = ::CreateSemaphoreA(sa, static_cast<LONG>(initialCount), static_cast<LONG>(maximumCount), name);
    return m_handle != nullptr;
}

bool CSemaphore::Open(LPCSTR name, DWORD desiredAccess, BOOL inherit)
{
    CloseHeld(m_handle);
    m_handle = ::OpenSemaphoreA(desiredAccess, inherit, name);
    return m_handle != nullptr;
}

bool CSemaphore::Close()
{
    return CloseHeld(m_handle);
}

bool CSemaphore::acquire(DWORD milliseconds)
{
    if (m_handle == nullptr)
        throw CException("CSemaphore::acquire() - invalid semaphore", 0);
    return ::WaitForSingleObject(m_handle, milliseconds) == WAIT_OBJECT_0;
}

bool CSemaphore::release()
{
    return release(1, nullptr);
}

bool CSemaphore::release(long count, long* previousCount)
{
    if (m_handle == nullptr)
        throw CException("CSemaphore::release() - invalid semaphore", 0);
    if (count < 1 || count > 0x7FFFFFFFL) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    LONG previous = 0;
    const bool ok = ::ReleaseSemaphore(m_handle, static_cast<LONG>(count), &previous) != FALSE;
    if (ok && previousCount != nullptr)
        *previousCount = previous;
    return ok;
}

// --- CHandle ---------------------------------------------------------------

CHandle::CHandle() : m_handle(INVALID_HANDLE_VALUE) {}

CHandle::CHandle(HANDLE handle) : m_handle(handle) {}

CHandle::CHandle(const CHandle& other) : m_handle(INVALID_HANDLE_VALUE)
{
    if (!IsBadHandle(other.m_handle)) {
        HANDLE copy = DuplicateKernelHandle(other.m_handle);
        m_handle = copy != nullptr ? copy : INVALID_HANDLE_VALUE;
    }
}

CHandle& CHandle::operator=(const CHandle& other)
{
    if (this != &other) {
        CHandle copy(other);
        CloseHandle();
        m_handle = copy.ReleaseHandle();
    }
    return *this;
}

CHandle& CHandle::operator=(HANDLE handle)
{
    m_handle = handle;
    return *this;
}

CHandle::~CHandle()
{
    CloseHandle();
}

void CHandle::CloseHandle()
{
    if (m_handle != INVALID_HANDLE_VALUE) {
        if (m_handle != nullptr)
            ::CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }
}

HANDLE CHandle::ReleaseHandle()
{
    HANDLE h = m_handle;
    m_handle = INVALID_HANDLE_VALUE;
    return h;
}

// --- CSyncObj --------------------------------------------------------------

CSyncObj::CSyncObj() : m_handle(nullptr), m_acquired(false) {}

CSyncObj::~CSyncObj() noexcept(false)
{
    if (m_handle != nullptr) {
        ::CloseHandle(m_handle);
        m_handle = nullptr;
    }
    if (m_acquired && std::uncaught_exceptions() == 0)
        throw CException("CSyncObj: Destroying acquired object!", 0);
}

bool CSyncObj::acquire(DWORD milliseconds)
{
    if (::WaitForSingleObject(m_handle, milliseconds) == WAIT_OBJECT_0) {
        m_acquired = true;
        return true;
    }
    return false;
}

// --- ChangePermission -------------------------------------------------------

int ChangePermission(HANDLE object)
{
    if (!IsKernelHandle(object))
        throw CException("GetKernelObjectSecurity() failed getting size", ERROR_INVALID_HANDLE);
    return 1;
}

} // namespace Brindle
