// CCommSocket: one TCP connection at the bottom of a layer stack, dialled
// out by this process or accepted by a listener (CCommListener). It keeps
// one receive pending, into a 256 KiB buffer reused from one receive to the
// next, hands each send to the system at once with its own copy of the
// data, and delivers everything through the completion port: up layers see
// OnOpen, OnData, OnError and OnClose with this object as the source. A
// client socket can redial by itself on its "Connect Thread"
// (CCommConnectProcess), paced by its timeout policy (CCommTimeout; none
// means a 10-second pause).
//
// Contract
// - SetAddress with resolve copies at most 63 characters of the host, takes
//   a dotted IPv4 address or looks the name up (null host: any address); a
//   port above 0 replaces the stored one. A failed lookup returns false and
//   keeps the old address, text and port. Without resolve only the text and
//   the port are stored.
// - GetAddress is "host:port", or "listen:port" when the host text is empty.
// - Up layers see OnOpen before any OnData of a connection, and OnClose once
//   for every OnOpen. A receive that fails is handled like the peer's close
//   (the layers see OnClose only).
// - Send is false on a socket that is not connected (nothing is posted);
//   sends on one connection reach the wire in the order of the Send calls
//   and never interleave.
// - Close ends auto-connect and the connect thread first, so nothing
//   redials, then hands OnClose up (when connected) and closes the handle.
//   On an accepted child it also takes the child off its listener, which
//   deletes it later on a worker thread: after Close the caller must not use
//   the child again.
// - The connect thread is started and stopped under a lock of its own,
//   never under the system lock, and a stopped thread has ended before a
//   new one starts: one connect process never runs on two threads.
// - Every connect attempt ends within about 10 seconds.
// - The outstanding count is the operations made and not yet finished; for
//   an outgoing connection the standing receive is not counted.
//
// Thread-safety: Send, Close, AutoConnect, SetAddress and the accessors may
// be called from any thread; completion handlers run on the port's workers.
// Handle creation and closing and address changes are serialised by the
// system lock; the flags and the outstanding count are atomic.
#pragma once

#include "Brindle/comm/CommAddress.h"
#include "Brindle/comm/CommObject.h"
#include "Brindle/comm/CommWSA.h"
#include "Platform/IoPort.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace Brindle {

class CThreadObject;
class CCommConnectProcess;
class CCommTimeout;

class CCommSocket : public CCommObject {
public:
    // Socket buffer sizes, each way.
    static constexpr int SocketBufferSize = 32768;

    // Wraps an existing connected handle (attached to the port at once), or
    // with INVALID_SOCKET prepares an unconnected socket.
    explicit CCommSocket(CCommIOCP& iocp, SOCKET s = INVALID_SOCKET);
    ~CCommSocket() override;

    bool SetAddress(int port, const char* host, bool resolve = true);
    std::string GetAddress() const;

    // Blocking dial (bounded); true when connected. The connection opens on
    // a worker thread.
    bool Connect();
    // Non-blocking dial: the connect event is selected onto `event`.
    bool AsyncConnect(HANDLE event);
    // Reads the result of AsyncConnect once `event` is set; true when the
    // connection was made (it opens on a worker thread).
    bool CheckAsyncConnect(HANDLE event);
    // A true `autoConnect` sets the auto-connect flag; unless `skipConnect`,
    // tries Connect once; when that was skipped or failed, starts the
    // connect thread.
    void AutoConnect(bool skipConnect, bool autoConnect);

    bool Send(const std::string& data) override;
    bool Close() override;
    // False when fewer than `limit` operations are outstanding; otherwise
    // closes when `close` and returns true.
    bool CheckOutstandingOverlapped(int limit, bool close);
    // Makes this an accepted child of `parent`: no auto-connect, connected,
    // open handed up, first receive posted.
    void SetParent(CCommSocket* parent);

    void OnComplete(CRefCountedPtr<CCommOverlapped> record) override;
    virtual void OnReceiveComplete(CRefCountedPtr<CCommOverlapped> record);
    virtual void OnSendComplete(CRefCountedPtr<CCommOverlapped> record);
    virtual void OnConnectComplete(CRefCountedPtr<CCommOverlapped> record);
    virtual void OnErrorComplete(CRefCountedPtr<CCommOverlapped> record);
    // A child of this socket has closed: a listener deletes it; the default
    // does nothing.
    virtual void OnCloseChild(CCommSocket* child);
    virtual void OnAcceptComplete(CRefCountedPtr<CCommOverlapped> record);
    // The transports' own kinds (a listener's deferred work); the default
    // finishes the record.
    virtual void OnTaskComplete(CRefCountedPtr<CCommOverlapped> record);
    // A child of this socket was closed by its owner: it leaves the list at
    // once and is deleted later. The default does nothing.
    virtual void OnChildClosed(CCommSocket* child);

    SOCKET Socket() const { return m_socket.load(std::memory_order_acquire); }
    bool Connected() const { return m_connected.load(std::memory_order_acquire) != 0; }
    bool IsAutoConnect() const { return m_autoConnect.load(std::memory_order_acquire) != 0; }
    std::string GetHostname() const;
    int GetPort() const;
    CCommSocket* GetParent() const { return m_parent.load(std::memory_order_acquire); }
    int OutstandingOverlapped() const { return m_outstanding.load(std::memory_order_acquire); }
    // Not owned; null means the built-in 10-second pause.
    void SetTimeout(CCommTimeout* timeout) { m_timeout = timeout; }
    CCommTimeout* GetTimeout() const { return m_timeout; }
    void SetUserData(unsigned long data) { m_userData = data; }
    unsigned long GetUserData() const { return m_userData; }
    static CCommWSA* GetWSA(const CRefCountedPtr<CCommOverlapped>& record) { return CCommWSA::Of(record); }
    // The socket address (remote for a client, local for a listener).
    sockaddr_in GetSockAddr() const;

protected:
    virtual void Cleanup();
    // Creates the overlapped TCP socket (closing any previous one) and
    // attaches it. Under the system lock.
    bool Allocate();
    // Closes the handle; operations in flight lose this owner.
    void Deallocate();
    // A record of `type` owned by this socket with new data, or `reuse`.
    CRefCountedPtr<CCommOverlapped> CreateOverlapped(CCommWSA::WSA_TYPE type, CCommWSA* reuse = nullptr);
    CRefCountedPtr<CCommOverlapped> CreateOverlapped(CCommWSA::WSA_TYPE type, const std::string& data);
    // Finishes a record: the count goes down, its data is freed.
    void OverlappedComplete(CRefCountedPtr<CCommOverlapped>& record);
    // Finishes a record whose operation never started.
    void Discard(CRefCountedPtr<CCommOverlapped>& record);
    // Posts a receive (reusing `buffer` when given).
    bool Receive(CCommWSA* buffer);
    // Turns `record` into an error completion with "<prefix><code> - <msg>"
    // and posts it.
    void PostError(CRefCountedPtr<CCommOverlapped>& record, const char* prefix, DWORD code);
    // A fresh error operation with `text` and `code`, posted (after
    // `delayMs` when not 0).
    void PostErrorText(const std::string& text, DWORD code, unsigned long delayMs = 0);
    // Starts (or restarts) the connect thread; with `redial`, only while
    // auto-connect is on (checked under the thread's lock).
    void SpawnConnectThread(bool redial = false);
    void StopConnectThread();
    void SetConnected(bool connected) { m_connected.store(connected ? 1 : 0, std::memory_order_release); }
    // Opens the connection: connected, open handed up, first receive posted.
    void Open(bool countReceive);
    void ResetOutstanding() { m_outstanding.store(0, std::memory_order_release); }
    // m_connectLock is held.
    void StopConnectThreadLocked();

    std::atomic<SOCKET> m_socket{INVALID_SOCKET};
    std::atomic<long> m_connected{0};
    // Guarded by the system lock.
    sockaddr_in m_address{};
    char m_host[CommHostSize] = {};
    int m_port = 0;
    std::atomic<CCommSocket*> m_parent{nullptr};
    std::atomic<long> m_autoConnect{0};

private:
    friend class CCommConnectProcess;
    // The connect thread gives up a dial that took too long.
    void AbandonConnect();

    // Guards the connect thread and process (never the system lock).
    std::mutex m_connectLock;
    std::unique_ptr<CThreadObject> m_connectThread;
    std::unique_ptr<CCommConnectProcess> m_connectProcess;
    std::atomic<int> m_outstanding{0};
    // Whether receives count as outstanding (accepted children: yes).
    std::atomic<bool> m_countReceive{true};

    unsigned long m_userData = 0;
    CCommTimeout* m_timeout = nullptr;
};

} // namespace Brindle
