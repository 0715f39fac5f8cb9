// Kernel objects of the process: critical sections, events, mutexes and
// semaphores behind HANDLE values, with the Windows calls that use them.
//
// Contract
// - A HANDLE is an id into the process's handle table. Ids are never reused,
//   so a closed or stale handle fails cleanly (ERROR_INVALID_HANDLE) instead
//   of reaching another object. Each handle is one reference to its object;
//   DuplicateKernelHandle gives a second handle to the same object, and the
//   object lives until its last handle is closed.
// - Names are shared within the process: creating an object with the name of
//   a live object of the same kind opens it (GetLastError() ==
//   ERROR_ALREADY_EXISTS); of another kind fails with ERROR_INVALID_HANDLE.
// - Mutexes are recursive and owned by a thread. When a thread ends while it
//   owns a mutex, the mutex is abandoned: the next wait gets it with
//   WAIT_ABANDONED, so no waiter hangs on a dead owner.
// - A thread started with BeginThread is a kernel object too: its handle is
//   signalled once the thread has ended (its start function returned and the
//   mutexes it still owned were abandoned), and stays signalled. The running
//   thread holds its own reference, so closing every handle early is safe.
// - Failures return null (create/open), FALSE, or WAIT_FAILED, and set the
//   thread's last error.
//
// Thread-safety: every call may run concurrently from any thread.
#pragma once

#include "Platform/WinTypes.h"

#include <pthread.h>

struct CRITICAL_SECTION {
    pthread_mutex_t mutex;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

// A re-entrant lock: the owning thread may enter it again and leaves it as
// often as it entered.
void InitializeCriticalSection(LPCRITICAL_SECTION cs);
void DeleteCriticalSection(LPCRITICAL_SECTION cs);
void EnterCriticalSection(LPCRITICAL_SECTION cs);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);
void LeaveCriticalSection(LPCRITICAL_SECTION cs);

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES sa, BOOL manualReset, BOOL initialState, LPCSTR name);
HANDLE OpenEventA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
// Releases the threads waiting right now (all for a manual-reset event, one
// for an auto-reset event) and leaves the event reset.
BOOL PulseEvent(HANDLE event);

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCSTR name);
HANDLE OpenMutexA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name);
// Fails with ERROR_NOT_OWNER when the calling thread does not own the mutex.
BOOL ReleaseMutex(HANDLE mutex);

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES sa, LONG initialCount, LONG maximumCount, LPCSTR name);
HANDLE OpenSemaphoreA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name);
// Fails with ERROR_TOO_MANY_POSTS when the count would pass the maximum.
BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount);

// Starts a thread that runs start(arg). Returns a handle to it (see the
// contract above) and, in threadId, the id that GetCurrentThreadId gives
// inside it; null with the last error set when no thread could be made.
// The name (cut to 15 bytes) is what the system shows for the thread.
using THREAD_START_ROUTINE = unsigned (*)(void* arg);
HANDLE BeginThread(THREAD_START_ROUTINE start, void* arg, LPCSTR name, DWORD* threadId);
// STILL_ACTIVE while the thread runs, then what its start function returned.
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);

// WAIT_OBJECT_0 (+ index), WAIT_ABANDONED (+ index), WAIT_TIMEOUT or
// WAIT_FAILED. With waitAll the objects are taken together or not at all.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

BOOL CloseHandle(HANDLE handle);
// A new handle to the object behind `handle`, or null (ERROR_INVALID_HANDLE).
HANDLE DuplicateKernelHandle(HANDLE handle);
// True when `handle` names a live kernel object of this process.
bool IsKernelHandle(HANDLE handle);

// Thread and process helpers of the same family.
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();
void Sleep(DWORD milliseconds);
// Milliseconds since an arbitrary start (monotonic), wrapping as on Windows.
DWORD GetTickCount();
ULONGLONG GetTickCount64();
