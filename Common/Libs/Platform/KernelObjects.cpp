#include "Platform/KernelObjects.h"
#include "Platform/WinError.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

// ---------------------------------------------------------------------------
// Critical sections

void InitializeCriticalSection(LPCRITICAL_SECTION cs)
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&cs->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

void DeleteCriticalSection(LPCRITICAL_SECTION cs)
{
    pthread_mutex_destroy(&cs->mutex);
}

void EnterCriticalSection(LPCRITICAL_SECTION cs)
{
    pthread_mutex_lock(&cs->mutex);
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs)
{
    return pthread_mutex_trylock(&cs->mutex) == 0 ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION cs)
{
    pthread_mutex_unlock(&cs->mutex);
}

// ---------------------------------------------------------------------------
// Kernel objects

namespace {

enum class Kind { Event, Mutex, Semaphore, Thread };

// One wait in progress; registered with every object it waits on so that a
// state change wakes exactly the threads that may now proceed.
struct Waiter {
    std::condition_variable cv;
    void* pulsedBy = nullptr; // set by PulseEvent for a wait-any
};

struct Object {
    Kind kind;
    std::string name;
    std::vector<Waiter*> waiters;
    // Event; a thread is signalled once it has ended.
    bool manualReset = false;
    bool signaled = false;
    // Thread
    DWORD exitCode = STILL_ACTIVE;
    // Mutex: owner is a per-thread serial (never reused), 0 when free.
    std::uint64_t owner = 0;
    unsigned recursion = 0;
    bool abandoned = false;
    // Semaphore
    LONG count = 0;
    LONG maximum = 0;

    explicit Object(Kind k) : kind(k) {}

    void WakeAll()
    {
        for (Waiter* w : waiters)
            w->cv.notify_one();
    }
};

std::mutex& Lock()
{
    static std::mutex* m = new std::mutex; // never destroyed: threads may outlive exit
    return *m;
}

struct Table {
    std::unordered_map<std::uintptr_t, std::shared_ptr<Object>> handles;
    std::unordered_map<std::string, std::weak_ptr<Object>> names;
    std::uintptr_t next = 0x100;
};

Table& TheTable()
{
    static Table* t = new Table; // never destroyed: handles may be closed during exit
    return *t;
}

std::uint64_t ThreadSerial();

// Mutexes the current thread owns; abandoned when the thread ends.
struct OwnedMutexes {
    std::vector<std::weak_ptr<Object>> list;

    // Called by the ending thread itself: before its thread object is
    // signalled (BeginThread), or at thread exit for any other thread.
    void Abandon()
    {
        std::vector<std::shared_ptr<Object>> held; // released outside the lock
        std::lock_guard<std::mutex> g(Lock());
        const std::uint64_t me = ThreadSerial();
        for (auto& weak : list) {
            if (auto obj = weak.lock()) {
                if (obj->owner == me) {
                    obj->owner = 0;
                    obj->recursion = 0;
                    obj->abandoned = true;
                    obj->WakeAll();
                }
                held.push_back(std::move(obj));
            }
        }
        list.clear();
    }
    ~OwnedMutexes() { Abandon(); }
};

thread_local OwnedMutexes t_owned;

std::uint64_t ThreadSerial()
{
    static std::atomic<std::uint64_t> counter{0};
    thread_local std::uint64_t serial = ++counter;
    return serial;
}

// Caller holds Lock().
HANDLE AddHandle(const std::shared_ptr<Object>& obj)
{
    Table& t = TheTable();
    std::uintptr_t id = t.next;
    t.next += 4;
    t.handles.emplace(id, obj);
    return reinterpret_cast<HANDLE>(id);
}

// Caller holds Lock().
std::shared_ptr<Object> Find(HANDLE h)
{
    Table& t = TheTable();
    auto it = t.handles.find(reinterpret_cast<std::uintptr_t>(h));
    if (it == t.handles.end())
        return nullptr;
    return it->second;
}

// Creates a new object or opens the live one of the same name.
template <typename Init>
HANDLE CreateNamed(Kind kind, LPCSTR name, Init init)
{
    std::lock_guard<std::mutex> g(Lock());
    Table& t = TheTable();
    if (name != nullptr && *name != '\0') {
        auto it = t.names.find(name);
        if (it != t.names.end()) {
            if (auto existing = it->second.lock()) {
                if (existing->kind != kind) {
                    SetLastError(ERROR_INVALID_HANDLE);
                    return nullptr;
                }
                HANDLE h = AddHandle(existing);
                SetLastError(ERROR_ALREADY_EXISTS);
                return h;
            }
            t.names.erase(it);
        }
    }
    auto obj = std::make_shared<Object>(kind);
    if (!init(*obj)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (name != nullptr && *name != '\0') {
        obj->name = name;
        t.names[obj->name] = obj;
    }
    HANDLE h = AddHandle(obj);
    SetLastError(ERROR_SUCCESS);
    return h;
}

HANDLE OpenNamed(Kind kind, LPCSTR name)
{
    if (name == nullptr || *name == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard<std::mutex> g(Lock());
    Table& t = TheTable();
    auto it = t.names.find(name);
    std::shared_ptr<Object> obj = it == t.names.end() ? nullptr : it->second.lock();
    if (!obj) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    if (obj->kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return AddHandle(obj);
}

// Caller holds Lock().
bool IsSignaled(const Object& o, std::uint64_t me)
{
    switch (o.kind) {
    case Kind::Event:
        return o.signaled;
    case Kind::Mutex:
        return o.owner == 0 || o.owner == me;
    case Kind::Semaphore:
        return o.count > 0;
    case Kind::Thread:
        return o.signaled;
    }
    return false;
}

// Takes a signaled object for the caller. Returns true when it was an
// abandoned mutex. Caller holds Lock().
bool Take(const std::shared_ptr<Object>& o, std::uint64_t me)
{
    switch (o->kind) {
    case Kind::Event:
        if (!o->manualReset)
            o->signaled = false;
        return false;
    case Kind::Mutex: {
        bool wasAbandoned = o->abandoned;
        o->abandoned = false;
        if (o->owner != me) {
            o->owner = me;
            o->recursion = 0;
            auto& list = t_owned.list;
            list.erase(std::remove_if(list.begin(), list.end(), [](auto& w) { return w.expired(); }), list.end());
            list.push_back(o);
        }
        ++o->recursion;
        return wasAbandoned;
    }
    case Kind::Semaphore:
        --o->count;
        return false;
    case Kind::Thread:
        return false;
    }
    return false;
}

template <typename Fn>
BOOL WithObject(HANDLE h, Kind kind, Fn fn)
{
    std::lock_guard<std::mutex> g(Lock());
    auto obj = Find(h);
    if (!obj || obj->kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return fn(*obj);
}

} // namespace

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    return CreateNamed(Kind::Event, name, [&](Object& o) {
        o.manualReset = manualReset != FALSE;
        o.signaled = initialState != FALSE;
        return true;
    });
}

HANDLE OpenEventA(DWORD, BOOL, LPCSTR name)
{
    return OpenNamed(Kind::Event, name);
}

BOOL SetEvent(HANDLE event)
{
    return WithObject(event, Kind::Event, [](Object& o) {
        o.signaled = true;
        o.WakeAll();
        return TRUE;
    });
}

BOOL ResetEvent(HANDLE event)
{
    return WithObject(event, Kind::Event, [](Object& o) {
        o.signaled = false;
        return TRUE;
    });
}

BOOL PulseEvent(HANDLE event)
{
    return WithObject(event, Kind::Event, [](Object& o) {
        for (Waiter* w : o.waiters) {
            if (w->pulsedBy == nullptr) {
                w->pulsedBy = &o;
                w->cv.notify_one();
                if (!o.manualReset)
                    break;
            }
        }
        o.signaled = false;
        return TRUE;
    });
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name)
{
    HANDLE h = CreateNamed(Kind::Mutex, name, [](Object&) { return true; });
    if (h != nullptr && initialOwner && GetLastError() != ERROR_ALREADY_EXISTS) {
        std::lock_guard<std::mutex> g(Lock());
        if (auto obj = Find(h))
            Take(obj, ThreadSerial());
    }
    return h;
}

HANDLE OpenMutexA(DWORD, BOOL, LPCSTR name)
{
    return OpenNamed(Kind::Mutex, name);
}

BOOL ReleaseMutex(HANDLE mutex)
{
    const std::uint64_t me = ThreadSerial();
    return WithObject(mutex, Kind::Mutex, [me](Object& o) {
        if (o.owner != me) {
            SetLastError(ERROR_NOT_OWNER);
            return FALSE;
        }
        if (--o.recursion == 0) {
            o.owner = 0;
            o.WakeAll();
        }
        return TRUE;
    });
}

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES, LONG initialCount, LONG maximumCount, LPCSTR name)
{
    return CreateNamed(Kind::Semaphore, name, [&](Object& o) {
        if (maximumCount < 1 || initialCount < 0 || initialCount > maximumCount)
            return false;
        o.count = initialCount;
        o.maximum = maximumCount;
        return true;
    });
}

HANDLE OpenSemaphoreA(DWORD, BOOL, LPCSTR name)
{
    return OpenNamed(Kind::Semaphore, name);
}

BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount)
{
    return WithObject(semaphore, Kind::Semaphore, [&](Object& o) {
        if (releaseCount < 1) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (releaseCount > o.maximum - o.count) {
            SetLastError(ERROR_TOO_MANY_POSTS);
            return FALSE;
        }
        if (previousCount != nullptr)
            *previousCount = o.count;
        o.count += releaseCount;
        o.WakeAll();
        return TRUE;
    });
}

namespace {

// What BeginThread hands the new thread. It lives on the creator's stack
// until the thread has copied what it needs and reported its id.
struct ThreadStart {
    THREAD_START_ROUTINE start;
    void* arg;
    char name[16];
    std::shared_ptr<Object> object;
    std::mutex mutex;
    std::condition_variable cv;
    bool reported = false;
    DWORD threadId = 0;
};

void* ThreadMain(void* param)
{
    THREAD_START_ROUTINE start;
    void* arg;
    std::shared_ptr<Object> self;
    {
        auto* ts = static_cast<ThreadStart*>(param);
        if (ts->name[0] != '\0')
            pthread_setname_np(pthread_self(), ts->name);
        std::lock_guard<std::mutex> g(ts->mutex);
        start = ts->start;
        arg = ts->arg;
        self = std::move(ts->object);
        ts->threadId = GetCurrentThreadId();
        ts->reported = true;
        ts->cv.notify_one(); // under the lock: the creator frees *ts once it has it
    }
    const unsigned code = start(arg);
    // As on Windows, a waiter that sees the thread ended also finds the
    // mutexes it left behind abandoned.
    t_owned.Abandon();
    {
        std::lock_guard<std::mutex> g(Lock());
        self->exitCode = code;
        self->signaled = true;
        self->WakeAll();
    }
    self.reset();
    return nullptr;
}

} // namespace

HANDLE BeginThread(THREAD_START_ROUTINE start, void* arg, LPCSTR name, DWORD* threadId)
{
    if (start == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ThreadStart ts;
    ts.start = start;
    ts.arg = arg;
    ts.name[0] = '\0';
    if (name != nullptr) {
        // pthread names hold 15 bytes; never cut a UTF-8 sequence in two.
        std::size_t n = std::strlen(name);
        if (n > 15) {
            n = 15;
            while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80)
                --n;
        }
        std::memcpy(ts.name, name, n);
        ts.name[n] = '\0';
    }
    ts.object = std::make_shared<Object>(Kind::Thread);
    HANDLE handle;
    {
        std::lock_guard<std::mutex> g(Lock());
        handle = AddHandle(ts.object);
    }

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const int rc = pthread_create(&thread, &attr, ThreadMain, &ts);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        CloseHandle(handle);
        SetLastError(static_cast<DWORD>(rc));
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(ts.mutex);
    ts.cv.wait(lock, [&] { return ts.reported; });
    if (threadId != nullptr)
        *threadId = ts.threadId;
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode)
{
    return WithObject(thread, Kind::Thread, [exitCode](Object& o) {
        if (exitCode == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *exitCode = o.exitCode;
        return TRUE;
    });
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds)
{
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    const std::uint64_t me = ThreadSerial();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);

    // Most waits are on one or two objects: keep them off the heap.
    std::shared_ptr<Object> few[4];
    std::vector<std::shared_ptr<Object>> many;
    std::shared_ptr<Object>* objs = few;
    if (count > std::size(few)) {
        many.resize(count);
        objs = many.data();
    }

    std::unique_lock<std::mutex> lock(Lock());
    for (DWORD i = 0; i < count; ++i) {
        objs[i] = Find(handles[i]);
        if (!objs[i]) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }

    Waiter waiter;
    bool registered = false;
    auto unregister = [&] {
        if (!registered)
            return;
        for (DWORD i = 0; i < count; ++i) {
            auto& w = objs[i]->waiters;
            w.erase(std::remove(w.begin(), w.end(), &waiter), w.end());
        }
        registered = false;
    };

    for (;;) {
        if (waitAll) {
            bool all = std::all_of(objs, objs + count, [me](auto& o) { return IsSignaled(*o, me); });
            if (all) {
                unregister();
                bool abandoned = false;
                for (DWORD i = 0; i < count; ++i)
                    abandoned = Take(objs[i], me) || abandoned;
                return abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
            }
        } else {
            for (DWORD i = 0; i < count; ++i) {
                if (waiter.pulsedBy == objs[i].get() || IsSignaled(*objs[i], me)) {
                    unregister();
                    if (waiter.pulsedBy == objs[i].get())
                        return WAIT_OBJECT_0 + i;
                    return Take(objs[i], me) ? WAIT_ABANDONED_0 + i : WAIT_OBJECT_0 + i;
                }
            }
        }
        if (milliseconds == 0) {
            unregister();
            return WAIT_TIMEOUT;
        }
        if (!registered) {
            for (DWORD i = 0; i < count; ++i)
                objs[i]->waiters.push_back(&waiter);
            registered = true;
        }
        if (milliseconds == INFINITE) {
            waiter.cv.wait(lock);
        } else if (waiter.cv.wait_until(lock, deadline) == std::cv_status::timeout) {
            // One last look: the state may have changed as the time ran out.
            milliseconds = 0;
        }
    }
}

BOOL CloseHandle(HANDLE handle)
{
    std::shared_ptr<Object> dying; // released outside the lock
    std::lock_guard<std::mutex> g(Lock());
    Table& t = TheTable();
    auto it = t.handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == t.handles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    dying = std::move(it->second);
    t.handles.erase(it);
    if (dying.use_count() == 1 && !dying->name.empty())
        t.names.erase(dying->name);
    return TRUE;
}

HANDLE DuplicateKernelHandle(HANDLE handle)
{
    std::lock_guard<std::mutex> g(Lock());
    auto obj = Find(handle);
    if (!obj) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return AddHandle(obj);
}

bool IsKernelHandle(HANDLE handle)
{
    std::lock_guard<std::mutex> g(Lock());
    return Find(handle) != nullptr;
}

DWORD GetCurrentThreadId()
{
    return static_cast<DWORD>(::syscall(SYS_gettid));
}

DWORD GetCurrentProcessId()
{
    return static_cast<DWORD>(::getpid());
}

void Sleep(DWORD milliseconds)
{
    if (milliseconds == INFINITE) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

ULONGLONG GetTickCount64()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<ULONGLONG>(ts.tv_sec) * 1000u + static_cast<ULONGLONG>(ts.tv_nsec) / 1000000u;
}

DWORD GetTickCount()
{
    return static_cast<DWORD>(GetTickCount64());
}
