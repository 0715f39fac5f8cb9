// The older socket framework's completion port: CIOCP (the port, its lock,
// the records in flight and the worker cycle) and COverlapped (one pending
// operation of a CWSASocket).
//
// Contract
// - Any number of threads run one CIOCP (CThreadObject::StartThread(&iocp)).
//   Each cycle waits at most 1000 ms for a completion and hands it, by its
//   action, to its owning socket; a record whose owner has gone is only
//   freed. On a time-out the user callbacks run once each. Exceptions are
//   dropped and the cycle goes on; a failing wait (a closed port) pauses
//   100 ms first, so it never spins a core.
// - A record lives from CreateOverlapped until its completion has been
//   dequeued and handled; the port owns it throughout and frees it after
//   the handler returns (that is the record's completion). Records still in
//   flight when the port goes are freed with it.
// - The owner check and the handler call are one step against the owner's
//   end: RemoveOwner clears the owner from every record in flight and waits
//   until no handler of that owner runs on another thread; a socket calls it
//   from its destructor, so it is never destroyed under a running handler
//   and gets no call afterwards. NullifyOwner only clears (no wait), for a
//   socket that closes its handle and lives on.
// - The port's lock (a re-entrant CCritSec, replaceable with SetLock before
//   any socket uses the port) is shared by every socket of the port: it
//   guards their handles, a listener's children and the connect processes'
//   socket pointers. The record list has a lock of its own that is never
//   held while a handler runs.
// - Destroying the port asks the workers to stop, closes the port (waking
//   them at once) and waits until every worker has left its cycle. It must
//   not run on one of its own workers; the sockets of the port go first.
//
// Thread-safety: every operation may be called from any thread at once.
#pragma once

#include "Brindle/base/CritSec.h"
#include "Brindle/base/Runnable.h"
#include "Brindle/comm/CommIOCP.h"
#include "Brindle/wsa/IOBuffer.h"
#include "Platform/IoPort.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace Brindle {

class CWSASocket;
class CIOCP;

enum OvAction : int {
    OV_ERROR = 0,
    OV_RECEIVE = 1,
    OV_SEND = 2,
    OV_ACCEPT = 3,
    OV_CONNECT = 4,
    // Work a socket posts to itself to run later on a worker (a deferred
    // release, a re-armed accept); handled by OnDeferredComplete.
    OV_DEFERRED = 5,
};

// One pending operation. The OVERLAPPED block comes first: the address the
// port hands back is the record's address.
class COverlapped {
public:
    ~COverlapped();
    COverlapped(const COverlapped&) = delete;
    COverlapped& operator=(const COverlapped&) = delete;

    OVERLAPPED* GetOverlapped() { return &m_overlapped; }
    OvAction GetAction() const { return m_action; }
    void SetAction(OvAction action) { m_action = action; }
    CWSASocket* GetOwner() const { return m_owner.load(std::memory_order_acquire); }
    CIOBuffer& GetBuffer() { return m_buffer; }
    // Replaces the buffer (and its descriptor).
    void SetBuffer(const CIOBuffer& buffer);
    // The descriptor over the whole capacity (receives) or the data (sends).
    WSABUF* GetWSABuf() { return &m_wsabuf; }
    unsigned long GetBytes() const { return m_bytes; }
    DWORD* GetpBytes() { return &m_bytes; }
    ULONG_PTR GetKey() const { return m_key; }
    unsigned long GetError() const { return m_error; }
    void SetError(unsigned long error) { m_error = static_cast<DWORD>(error); }
    // Accepts: the socket the connection arrives on. Closed with the record
    // unless taken.
    SOCKET GetAcceptSocket() const { return m_acceptSocket; }
    void SetAcceptSocket(SOCKET s) { m_acceptSocket = s; }
    SOCKET TakeAcceptSocket();
    // The socket handle the operation was started on: a late completion of
    // a connection that has since been replaced is recognised by it.
    SOCKET GetSocket() const { return m_socket; }
    void SetSocket(SOCKET s) { m_socket = s; }
    // Deferred work: what the poster wants done.
    int GetTag() const { return m_tag; }
    void SetTag(int tag) { m_tag = tag; }

private:
    friend class CIOCP;
    COverlapped(OvAction action, CWSASocket* owner, const CIOBuffer& buffer);

    OVERLAPPED m_overlapped{};
    OvAction m_action;
    std::atomic<CWSASocket*> m_owner;
    CIOBuffer m_buffer;
    WSABUF m_wsabuf{};
    DWORD m_bytes = 0;
    ULONG_PTR m_key = 0;
    DWORD m_error = 0;
    SOCKET m_acceptSocket = INVALID_SOCKET;
    SOCKET m_socket = INVALID_SOCKET;
    int m_tag = 0;
};

class CIOCP : public CThreadProcess {
public:
    // How long one worker cycle waits for a completion.
    static constexpr unsigned long WaitMs = 1000;

    // Throws CException "Unable to create IO completion port".
    CIOCP();
    ~CIOCP() override;
    CIOCP(const CIOCP&) = delete;
    CIOCP& operator=(const CIOCP&) = delete;

    // Throws "Cannot attach to IO completion port, bad handle" / ", not
    // created" / "Cannot attach to IO completion port" (system code).
    void AttachIOCP(HANDLE handle, ULONG_PTR key);
    // Cancels the pending operations of the handle (they complete aborted).
    void DetachIOCP(HANDLE handle);
    // Posts the record so that it completes on a worker. Throws "Cannot put
    // on IO completion port, not created", "Error posting on IO completion
    // port".
    void PutIOCP(COverlapped* record);
    // Posts it once `delayMs` have passed (a pause that holds no thread).
    void PutIOCPAfter(COverlapped* record, unsigned long delayMs);
    // The completed record (its bytes, key and error filled in), or null on
    // a time-out or for a completion that is not a listed record. The caller
    // owns what it gets. Throws "Cannot wait on IO completion port, not
    // created", "Error waiting on IO completion port".
    std::unique_ptr<COverlapped> WaitIOCP(unsigned long milliseconds);
    // A listed record with a buffer descriptor over `buffer`: its data for a
    // send, its whole capacity otherwise.
    COverlapped* CreateOverlapped(OvAction action, CWSASocket* socket, const CIOBuffer& buffer);
    // Unlists and frees a record that was never started.
    void FreeOverlapped(COverlapped* record);
    // Every listed record of the socket forgets its owner.
    void NullifyOwner(CWSASocket* socket);
    // NullifyOwner, then waits until no handler of the socket runs on
    // another thread. Must not be called with the port's lock held.
    void RemoveOwner(CWSASocket* socket);
    // A handler of the socket runs on the calling thread.
    bool RunningHere(const CWSASocket* socket) const;

    CCritSec* GetLock() const { return m_lock; }
    // Replaces the lock (null restores the port's own); only before any
    // socket of the port is made.
    void SetLock(CCritSec* lock) { m_lock = lock != nullptr ? lock : &m_ownLock; }
    CCallbackMgr& GetCallbackMgr() { return m_callbacks; }
    HANDLE GetHandle() const { return m_port.load(std::memory_order_acquire); }
    // Records in flight (leak checks).
    std::size_t InFlight() const;

    void Run() override;
    void RequestShutdown() override;
    int ThreadExecuteFcn() override;

protected:
    void CloseIOCP();

private:
    std::unique_ptr<COverlapped> Dequeue(unsigned long milliseconds, CWSASocket** owner);
    void Unpin(CWSASocket* owner);
    static void Dispatch(CWSASocket* owner, COverlapped* record);

    std::atomic<HANDLE> m_port{INVALID_HANDLE_VALUE};
    CCritSec m_ownLock;
    CCritSec* m_lock = &m_ownLock;
    CCallbackMgr m_callbacks;

    mutable std::mutex m_recordLock;
    std::unordered_map<const OVERLAPPED*, std::unique_ptr<COverlapped>> m_records;
    struct Running {
        const CWSASocket* owner;
        std::thread::id thread;
    };
    std::vector<Running> m_running;
    unsigned m_removers = 0;
    std::condition_variable m_handlerDone;
    unsigned m_workers = 0;
    std::condition_variable m_workerLeft;
};

} // namespace Brindle
