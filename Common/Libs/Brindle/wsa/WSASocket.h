// CWSASink, the receiver of one overlapped socket's events, and CWSASocket,
// a TCP socket on a CIOCP that reports to its sink and, with auto-connect,
// redials a lost connection on its own connect thread.
//
// Contract
// - Events reach the sink on the port's worker threads: OnOpen once a
//   connection is made (before any OnData of it), OnData for each block
//   received, in order (one receive is pending at a time), OnClose once
//   when a connection ends by the peer or by an error, OnError before the
//   OnClose of a failed operation. Sink exceptions are dropped. Close() by
//   the program ends the connection without OnClose.
// - The buffer handed to OnData is cut to the bytes received. A sink may
//   keep a copy: the socket then takes a fresh block for its next receive,
//   so kept bytes are never overwritten.
// - Sends go out in the order Send was called and never interleave, partial
//   writes included. A send that cannot start reaches the sink as OnError
//   (with its own text buffer, never the bytes being sent) and closes the
//   connection.
// - The host text holds at most 64 characters: SetAddress refuses a longer
//   one. A name is looked up without the port's lock held.
// - Connect blocks for at most 10 seconds. AutoConnect(true) starts the
//   connect thread ("Connect Thread"), which dials until it succeeds and is
//   started again whenever an auto-connecting socket loses its connection.
// - Records of a connection that has been closed or replaced are dropped
//   when they complete late: they never touch the connection that follows.
// - The destructor closes the socket, stops the connect thread and waits
//   until no handler of this socket runs on another thread. A socket must
//   not be destroyed inside its own completion (a listener defers it). A
//   class derived from a socket (or a listener) calls StopCompletions first
//   in its destructor.
//
// Thread-safety: every call from any thread, except that Close, AutoConnect
// and the destructor must not be called with the port's lock held (they
// wait for the connect thread, which takes it).
#pragma once

#include "Brindle/wsa/IOBuffer.h"
#include "Brindle/wsa/IOCP.h"
#include "Platform/IoPort.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace Brindle {

class CWSASocket;
class CWSAListener;
class CWSAConnectProcess;
class CThreadObject;

class CWSASink {
public:
    virtual ~CWSASink() = default;
    virtual void OnOpen(CWSASocket* socket) { (void)socket; }
    virtual void OnClose(CWSASocket* socket) { (void)socket; }
    virtual void OnData(CWSASocket* socket, const CIOBuffer& data)
    {
        (void)socket;
        (void)data;
    }
    virtual void OnError(CWSASocket* socket, unsigned long code, CIOBuffer& text)
    {
        (void)socket;
        (void)code;
        (void)text;
    }
};

class CWSASocket {
public:
    // Longest host text kept.
    static constexpr unsigned MaxHostLength = 64;
    // Receive and send buffer sizes of every socket, and each receive's block.
    static constexpr int BufferSize = 32768;
    // The connect thread's first pause between attempts, in seconds.
    static constexpr long ConnectPause = 10;

    // A valid handle (an accepted connection) is attached to the port with
    // the socket as key.
    CWSASocket(CIOCP& iocp, CWSASink* sink, SOCKET handle = INVALID_SOCKET);
    virtual ~CWSASocket();
    CWSASocket(const CWSASocket&) = delete;
    CWSASocket& operator=(const CWSASocket&) = delete;

    // With resolve: takes the host (a dotted address, else a name looked up;
    // "" is any address), sets the port when above 0, builds the address
    // record; false when the name is not found. Without: stores host text
    // and port only (Connect looks the host up then). false for a host of
    // more than 64 characters, which is not stored.
    bool SetAddress(int port, const char* host, bool resolve = true);
    // A blocking connect (at most 10 s); true once the connection is made
    // (OnOpen follows on a worker).
    bool Connect();
    // Sets the auto-connect flag; false tries Connect first. The connect
    // thread starts when that fails or when the argument is true.
    void AutoConnect(bool on);
    // The halves of an asynchronous connect: start (false when it failed at
    // once), and check once `event` is set (true once connected).
    bool AsyncConnect(void* event);
    bool CheckAsyncConnect(void* event);
    // Gives up an asynchronous attempt that has not ended.
    void AbandonConnect();
    // Queues an overlapped send of the buffer's data; false when there is
    // no socket.
    bool Send(const CIOBuffer& buffer);
    // Ends the connection (no OnClose) and stops the connect thread.
    void Close();
    // Makes this an accepted child of `parent`: no auto-connect, connected,
    // OnOpen, first receive.
    void SetParent(CWSASocket* parent);

    void SetSink(CWSASink* sink) { m_sink.store(sink, std::memory_order_release); }
    CWSASink* GetSink() const { return m_sink.load(std::memory_order_acquire); }
    CCritSec* GetLock() const { return m_lock; }
    CIOCP& GetIOCP() const { return m_iocp; }
    int GetPort() const;
    std::string GetHostname() const;
    SOCKET Socket() const { return m_socket.load(std::memory_order_acquire); }
    bool Connected() const { return m_connected.load(std::memory_order_acquire); }
    bool IsAutoConnect() const { return m_autoConnect.load(std::memory_order_acquire); }
    long OutstandingOverlapped() const { return m_outstanding.load(std::memory_order_acquire); }
    CWSASocket* GetParent() const { return m_parent.load(std::memory_order_acquire); }
    // "host:port".
    std::string GetAddress() const;
    // The port the socket is bound to (a listener on port 0), or 0.
    int GetLocalPort() const;

    // Ends the connection and every call to this socket's handlers, waiting
    // for any that runs on another thread; later records have no owner. The
    // destructor does it; a class derived from a socket calls it first in
    // its own destructor, so that no handler runs while it is taken apart.
    // Not from one of the socket's own handlers.
    void StopCompletions();
    bool CompletionsStopped() const { return m_completionsStopped.load(std::memory_order_acquire); }

protected:
    friend class CIOCP;
    friend class CWSAListener;

    // Ends the connection: OnClose when it was connected, pending records
    // dropped, handle closed, the connect thread started again when the
    // socket had been connected and auto-connects.
    virtual void Cleanup();
    virtual void OnReceiveComplete(COverlapped* record);
    virtual void OnSendComplete(COverlapped* record);
    virtual void OnConnectComplete(COverlapped* record);
    virtual void OnErrorComplete(COverlapped* record);
    virtual void OnCloseChild(CWSASocket* child);
    virtual void OnAcceptComplete(COverlapped* record);
    virtual void OnDeferredComplete(COverlapped* record);

    // Under the lock: a fresh overlapped TCP socket on the port (any held
    // one closed first).
    bool Allocate();
    // Starts a receive into the buffer's whole capacity.
    void PostReceive(const CIOBuffer& buffer);
    // A record (listed) for the current socket.
    COverlapped* NewRecord(OvAction action, const CIOBuffer& buffer);
    // Turns a record whose call failed at once into an error record and
    // posts it.
    void PostError(COverlapped* record, unsigned long code);
    // The record belongs to the connection in hand.
    bool Current(const COverlapped* record) const;
    // Closes the held handle (caller holds the lock).
    void CloseHandleLocked();
    // Ends the connection through the parent when there is one.
    void EndConnection();
    void SpawnConnectThread();
    void StopConnectThread();
    // Sink calls with exceptions dropped.
    void NotifyOpen();
    void NotifyClose();

    CIOCP& m_iocp;
    CCritSec* m_lock;
    std::atomic<SOCKET> m_socket{INVALID_SOCKET};
    std::atomic<bool> m_connected{false};
    sockaddr_in m_address{};
    bool m_addressBuilt = false;
    char m_host[MaxHostLength + 1] = {};
    int m_port = 0;
    std::atomic<CWSASink*> m_sink;
    std::atomic<CWSASocket*> m_parent{nullptr};
    std::atomic<bool> m_autoConnect{false};
    std::atomic<long> m_outstanding{0};
    std::atomic<bool> m_completionsStopped{false};

private:
    // Resolves the stored host unless its address is built already.
    bool ResolveStoredHost();
    // Serialises starting and stopping the connect thread (never the port's
    // lock: the thread takes that one).
    std::mutex m_connectControl;
    std::unique_ptr<CWSAConnectProcess> m_connectProcess;
    std::unique_ptr<CThreadObject> m_connectThread;
};

} // namespace Brindle
