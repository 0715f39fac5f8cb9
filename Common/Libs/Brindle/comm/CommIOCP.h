// The completion engine: CCommIOCP (the port, the registry of operations in
// flight and the worker cycle), CCommOverlapped (one operation), and the
// periodic user callbacks that the workers run (CUserCallback,
// CCallbackMgr).
//
// Contract
// - One CCommIOCP serves any number of connections; any number of threads
//   run it (CThreadObject::StartThread(&iocp)). Each finished operation goes
//   to exactly one worker, which calls its owner's OnComplete.
// - A record lives from CreateOverlapped until its completion has been
//   dequeued and handled: the registry holds one reference until the
//   dequeue, the worker one while OnComplete runs, the transport may hold
//   more. A record whose owner is gone is still dequeued and removed, and
//   nobody is called.
// - The owner check and the call of OnComplete are one step against the
//   owner's end: RemoveOwner clears the owner from every record in flight
//   and then waits until no handler of that owner runs on another thread,
//   so an object that calls it first in its destructor is destroyed only
//   when none of its handlers runs, and gets no call afterwards. A handler
//   may destroy its own object (RemoveOwner does not wait for the calling
//   thread). DetachOwner clears without waiting, for a transport that
//   closes its handle and lives on.
// - A record made for an owner that has stopped its completions
//   (CCommObject::StopCompletions) has no owner: its completion is dropped.
// - The worker cycle never unwinds: an exception of a handler is dropped;
//   one of the port (a closed port, say) is logged and the worker pauses
//   100 ms before it goes on, so a broken port never spins a core.
// - Callbacks run about once a second, on whichever worker first sees a new
//   second: the last-callback time is taken by one worker only.
// - Destroying the port asks the workers to stop, closes the port (which
//   wakes them at once) and waits until every worker has left the cycle;
//   then it drops the records in flight and the callbacks. It must not be
//   destroyed on one of its own workers, and the objects using it go first.
//
// Thread-safety: every operation may be called from any thread. The
// registry is split into shards by record address, each with its own lock,
// so workers rarely meet on one; no lock of the port is held while a handler
// runs. Handlers must not destroy objects while holding the system lock (the
// destructor may wait for a handler that needs it).
#pragma once

#include "Brindle/base/RefCountedPtr.h"
#include "Brindle/base/Runnable.h"
#include "Platform/IoPort.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace Brindle {

class CCommIOCP;
class CCommObject;

// One asynchronous operation. The OVERLAPPED block comes first: the address
// the port hands back is the record's address.
class CCommOverlapped {
public:
    // Frees the user data with the function given to SetUserData.
    using USERDATA_RELEASE = void (*)(ULONG_PTR data);

    ~CCommOverlapped();
    CCommOverlapped(const CCommOverlapped&) = delete;
    CCommOverlapped& operator=(const CCommOverlapped&) = delete;

    OVERLAPPED* GetOverlapped() { return &m_overlapped; }
    CCommObject* GetOwner() const { return m_owner.load(std::memory_order_acquire); }
    unsigned long GetError() const { return m_error; }
    void SetError(unsigned long error) { m_error = static_cast<DWORD>(error); }
    bool IsError() const { return m_error != 0; }
    unsigned long GetBytes() const { return m_bytes; }
    // For the system calls that report the bytes moved.
    DWORD* GetpBytes() { return &m_bytes; }
    void SetBytes(unsigned long bytes) { m_bytes = static_cast<DWORD>(bytes); }
    unsigned long GetKey() const { return m_key; }
    void SetKey(ULONG_PTR key) { m_key = key; }
    ULONG_PTR GetUserData() const { return m_userData; }
    // The record owns what it is given with a release function: it is freed
    // when the record goes, or when other data replaces it.
    void SetUserData(ULONG_PTR data, USERDATA_RELEASE release = nullptr);
    // Gives up the user data without freeing it.
    ULONG_PTR DetachUserData();
    // The status word is no longer the pending status (259).
    bool HasCompleted() const;

private:
    friend class CCommIOCP;
    explicit CCommOverlapped(CCommObject* owner) : m_owner(owner) {}

    OVERLAPPED m_overlapped{};
    std::atomic<CCommObject*> m_owner;
    DWORD m_error = 0;
    DWORD m_bytes = 0;
    ULONG_PTR m_key = 0;
    ULONG_PTR m_userData = 0;
    USERDATA_RELEASE m_release = nullptr;
};

// A function run on the workers about once a second.
class CUserCallback {
public:
    using USER_FUNCTION = int (*)(void* argument);

    CUserCallback(USER_FUNCTION function, void* argument) : m_function(function), m_argument(argument) {}
    bool operator==(const CUserCallback& other) const = default;
    // The function's result; -1 when it throws (or there is none).
    int Execute() const;

private:
    USER_FUNCTION m_function;
    void* m_argument;
};

// The callbacks of one port, run in the order they were registered.
// Thread-safety: all members from any thread; a callback may register or
// unregister (itself too): the pass runs the list as it was when it began.
class CCallbackMgr {
public:
    void Register(const CUserCallback& callback);
    // Removes every equal entry.
    void Unregister(const CUserCallback& callback);
    void Execute();
    std::size_t size() const;

private:
    mutable std::mutex m_lock;
    std::vector<CUserCallback> m_callbacks;
};

class CCommIOCP : public CThreadProcess {
public:
    // How long a worker waits for a completion in one cycle.
    static constexpr unsigned long WaitMs = 333;

    CCommIOCP();
    ~CCommIOCP() override;
    CCommIOCP(const CCommIOCP&) = delete;
    CCommIOCP& operator=(const CCommIOCP&) = delete;

    // Objects use their own address as key.
    void AttachIOCP(HANDLE handle, ULONG_PTR key);
    // Cancels the pending operations on `handle` (they complete aborted).
    void DetachIOCP(HANDLE handle);
    CRefCountedPtr<CCommOverlapped> CreateOverlapped(CCommObject* owner);
    // Posts the record as a completion, with its bytes and key.
    void PutIOCP(CRefCountedPtr<CCommOverlapped> record);
    // Posts it once `delayMs` have passed (a retry after a pause).
    void PutIOCPAfter(CRefCountedPtr<CCommOverlapped> record, unsigned long delayMs);
    // One completion or null (time-out, shutdown requested, not ours).
    CRefCountedPtr<CCommOverlapped> WaitIOCP(unsigned long milliseconds);
    // See the contract: clears and waits.
    void RemoveOwner(CCommObject* owner);
    // Clears without waiting.
    void DetachOwner(CCommObject* owner);
    CCallbackMgr& GetCallbackMgr() { return m_callbacks; }
    HANDLE GetHandle() const { return m_port.load(std::memory_order_acquire); }
    // Records in flight (for leak checks).
    std::size_t InFlight() const;

    // The worker: cycles until a shutdown is requested.
    void Run() override;
    // Ends every worker's cycle; waiting workers are woken at once.
    void RequestShutdown() override;
    // One cycle: wait, hand the completion to its owner, run the callbacks
    // when a new second has begun. Always 1.
    int ThreadExecuteFcn() override;

protected:
    void CloseIOCP();

private:
    // Dequeues one completion; with `pin`, its owner is marked as running a
    // handler on this thread (returned in `owner`).
    CRefCountedPtr<CCommOverlapped> Dequeue(unsigned long milliseconds, CCommObject** owner);
    void Unpin(CCommObject* owner);
    void Post(CRefCountedPtr<CCommOverlapped>& record, const unsigned long* delayMs);

    std::atomic<HANDLE> m_port{INVALID_HANDLE_VALUE};
    CCallbackMgr m_callbacks;
    // The last callback pass: whole seconds since 1970 (a CTimestamp value).
    std::atomic<long> m_lastCallback;

    // The records in flight.
    struct alignas(64) Shard {
        mutable std::mutex lock;
        std::unordered_map<const OVERLAPPED*, CRefCountedPtr<CCommOverlapped>> records;
    };
    static constexpr std::size_t kShards = 16;
    Shard& ShardOf(const OVERLAPPED* ov);
    std::array<Shard, kShards> m_shards;

    // Who runs a handler now. Each worker of Run() has a slot of its own,
    // written without a lock; other callers of the cycle are listed in
    // m_running. Both guarded for RemoveOwner by m_lock and m_removers.
    struct Running {
        CCommObject* owner;
        std::thread::id thread;
    };
    struct alignas(64) RunningSlot {
        std::atomic<CCommObject*> owner{nullptr};
        std::thread::id thread;
    };
    RunningSlot* MySlot() const;
    bool RunsElsewhere(CCommObject* owner) const; // caller holds m_lock

    mutable std::mutex m_lock;
    std::list<RunningSlot> m_slots;
    std::vector<Running> m_running;
    std::atomic<unsigned> m_removers{0};
    std::condition_variable m_handlerDone;
    unsigned m_workers = 0;
    std::condition_variable m_workerLeft;
};

} // namespace Brindle
