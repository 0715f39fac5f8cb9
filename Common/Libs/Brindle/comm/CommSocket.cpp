#include "Brindle/comm/CommSocket.h"

#include "Brindle/base/CritSec.h"
#include "Brindle/base/Exception.h"
#include "Brindle/base/ThreadObject.h"
#include "Brindle/comm/CommConnectProcess.h"
#include "Brindle/comm/CommAddress.h"
#include "Brindle/comm/CommLog.h"
#include "Brindle/comm/CommTimeout.h"

#include <arpa/inet.h>

#include <cstring>

namespace Brindle {

CCommSocket::CCommSocket(CCommIOCP& iocp, SOCKET s) : CCommObject(iocp)
{
    m_address.sin_family = AF_INET;
    if (s != INVALID_SOCKET) {
        GetIOCP().AttachIOCP(SocketHandle(s), reinterpret_cast<ULONG_PTR>(this));
        m_socket.store(s, std::memory_order_release);
    }
}

CCommSocket::~CCommSocket()
{
    // No handler of this socket runs on another thread from here on.
    StopCompletions();
    m_autoConnect.store(0);
    StopConnectThread();
    CCommSocket::Cleanup();
    std::lock_guard<std::mutex> guard(m_connectLock);
    m_connectThread.reset();
    m_connectProcess.reset();
}

// ---------------------------------------------------------------- address

bool CCommSocket::SetAddress(int port, const char* host, bool resolve)
{
    if (!resolve) {
        CSystemLock lock;
        CommCopyHost(m_host, host);
        if (port > 0)
            m_port = port;
        return true;
    }
    // The lookup runs without the lock; only a found address replaces the
    // old one, so a failed lookup leaves the socket as it was.
    in_addr address{};
    if (!CommResolveHost(host, address))
        return false;
    CSystemLock lock;
    CommCopyHost(m_host, host);
    if (port > 0)
        m_port = port;
    m_address.sin_family = AF_INET;
    m_address.sin_addr = address;
    m_address.sin_port = htons(static_cast<std::uint16_t>(m_port));
    return true;
}

std::string CCommSocket::GetAddress() const
{
    CSystemLock lock;
    if (m_host[0] == '\0')
        return "listen:" + std::to_string(m_port);
    return std::string(m_host) + ":" + std::to_string(m_port);
}

std::string CCommSocket::GetHostname() const
{
    CSystemLock lock;
    return m_host;
}

int CCommSocket::GetPort() const
{
    CSystemLock lock;
    return m_port;
}

sockaddr_in CCommSocket::GetSockAddr() const
{
    CSystemLock lock;
    return m_address;
}

// ---------------------------------------------------------------- handle

bool CCommSocket::Allocate()
{
    CSystemLock lock;
    Deallocate();
    SOCKET s = CommOpenSocket(GetIOCP(), this, SOCK_STREAM, SocketBufferSize);
    if (s == INVALID_SOCKET)
        return false;
    m_socket.store(s, std::memory_order_release);
    return true;
}

void CCommSocket::Deallocate()
{
    CSystemLock lock;
    SOCKET s = m_socket.exchange(INVALID_SOCKET, std::memory_order_acq_rel);
    if (s == INVALID_SOCKET)
        return;
    // The operations still in flight complete aborted and reach nobody;
    // their data goes with their records once dequeued, after the close
    // has made the system let go of the buffers.
    CommCloseSocket(GetIOCP(), this, s);
    ResetOutstanding();
}

void CCommSocket::AbandonConnect()
{
    Deallocate();
}

void CCommSocket::Cleanup()
{
    const bool wasConnected = m_connected.exchange(0, std::memory_order_acq_rel) != 0;
    if (wasConnected)
        CallUpClose(GetSource());
    Deallocate();
    if (wasConnected && IsAutoConnect())
        SpawnConnectThread(true);
}

// ---------------------------------------------------------------- records

CRefCountedPtr<CCommOverlapped> CCommSocket::CreateOverlapped(CCommWSA::WSA_TYPE type, CCommWSA* reuse)
{
    std::unique_ptr<CCommWSA> fresh;
    CCommWSA* wsa = reuse;
    if (wsa == nullptr) {
        fresh = std::make_unique<CCommWSA>(type);
        wsa = fresh.get();
    }
    wsa->SetType(type);
    *wsa->GetpFlags() = 0;
    const bool counted = type != CCommWSA::WSA_RECEIVE || m_countReceive.load(std::memory_order_acquire);
    wsa->SetCounted(counted);
    CRefCountedPtr<CCommOverlapped> record = GetIOCP().CreateOverlapped(this);
    record->SetKey(reinterpret_cast<ULONG_PTR>(this));
    wsa->AttachTo(record);
    fresh.release();
    if (counted)
        m_outstanding.fetch_add(1, std::memory_order_acq_rel);
    return record;
}

CRefCountedPtr<CCommOverlapped> CCommSocket::CreateOverlapped(CCommWSA::WSA_TYPE type, const std::string& data)
{
    auto wsa = std::make_unique<CCommWSA>(type, data);
    CRefCountedPtr<CCommOverlapped> record = CreateOverlapped(type, wsa.get());
    wsa.release();
    return record;
}

void CCommSocket::OverlappedComplete(CRefCountedPtr<CCommOverlapped>& record)
{
    if (record.IsNull())
        return;
    if (CCommWSA* wsa = GetWSA(record)) {
        if (wsa->IsCounted())
            m_outstanding.fetch_sub(1, std::memory_order_acq_rel);
        record->SetUserData(0);
    }
}

void CCommSocket::Discard(CRefCountedPtr<CCommOverlapped>& record)
{
    OverlappedComplete(record);
    // Never started: posted empty, so the port's registry lets go of it.
    try {
        GetIOCP().PutIOCP(record);
    } catch (const CException&) {
        // The port is gone, and its registry with it.
    }
}

void CCommSocket::PostError(CRefCountedPtr<CCommOverlapped>& record, const char* prefix, DWORD code)
{
    CCommWSA* wsa = GetWSA(record);
    wsa->SetString(std::string(prefix) + std::to_string(code) + " - " + GetErrorMsg(code));
    wsa->SetType(CCommWSA::WSA_ERROR);
    record->SetError(code);
    GetIOCP().PutIOCP(record);
}

void CCommSocket::PostErrorText(const std::string& text, DWORD code, unsigned long delayMs)
{
    CRefCountedPtr<CCommOverlapped> record = CreateOverlapped(CCommWSA::WSA_ERROR, text);
    record->SetError(code);
    if (delayMs != 0)
        GetIOCP().PutIOCPAfter(record, delayMs);
    else
        GetIOCP().PutIOCP(record);
}

// ---------------------------------------------------------------- I/O

bool CCommSocket::Receive(CCommWSA* buffer)
{
    CRefCountedPtr<CCommOverlapped> record = CreateOverlapped(CCommWSA::WSA_RECEIVE, buffer);
    CCommWSA* wsa = GetWSA(record);
    DWORD received = 0;
    if (WSARecv(Socket(), wsa->GetWSABuf(), 1, &received, wsa->GetpFlags(), record->GetOverlapped(), nullptr) == 0)
        return true;
    const DWORD code = static_cast<DWORD>(WSAGetLastError());
    if (code == WSA_IO_PENDING)
        return true; // the completion may already run: `this` is not touched again
    if (code == WSAENOTSOCK) {
        // Closed meanwhile: nothing to report, the close went up already.
        Discard(record);
        return false;
    }
    PostError(record, "CCommSocket::Receive() error: ", code);
    return false;
}

bool CCommSocket::Send(const std::string& data)
{
    if (!Connected())
        return false;
    if (data.empty())
        return true;
    CRefCountedPtr<CCommOverlapped> record = CreateOverlapped(CCommWSA::WSA_SEND, data);
    CCommWSA* wsa = GetWSA(record);
    DWORD sent = 0;
    if (WSASend(Socket(), wsa->GetWSABuf(), 1, &sent, 0, record->GetOverlapped(), nullptr) == 0)
        return true;
    const DWORD code = static_cast<DWORD>(WSAGetLastError());
    if (code == WSA_IO_PENDING)
        return true;
    if (code == WSAENOTSOCK) {
        Discard(record);
        return false;
    }
    PostError(record, "CCommSocket::Send() error: ", code);
    return false;
}

// ---------------------------------------------------------------- dialling

bool CCommSocket::Connect()
{
    SOCKET s;
    sockaddr_in address;
    {
        CSystemLock lock;
        if (!Allocate())
            return false;
        s = Socket();
        address = m_address;
    }
    // Bounded by the transport (10 s), without the lock.
    const int result = ::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    CSystemLock lock;
    if (Socket() != s)
        return false; // closed meanwhile
    if (result == 0) {
        GetIOCP().PutIOCP(CreateOverlapped(CCommWSA::WSA_CONNECT));
        return true;
    }
    Deallocate();
    return false;
}

bool CCommSocket::AsyncConnect(HANDLE event)
{
    CSystemLock lock;
    if (!Allocate())
        return false;
    const SOCKET s = Socket();
    const sockaddr_in address = m_address;
    if (WSAEventSelect(s, event, FD_CONNECT) != 0) {
        Deallocate();
        return false;
    }
    if (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return true; // the event is set already
    if (static_cast<DWORD>(WSAGetLastError()) != WSAEWOULDBLOCK) {
        Deallocate();
        return false;
    }
    return true;
}

bool CCommSocket::CheckAsyncConnect(HANDLE event)
{
    CSystemLock lock;
    const SOCKET s = Socket();
    if (s == INVALID_SOCKET)
        return false;
    WSANETWORKEVENTS events;
    const int result = WSAEnumNetworkEvents(s, event, &events);
    WSAEventSelect(s, nullptr, 0);
    if (result != 0)
        return false;
    if (events.lNetworkEvents & FD_CONNECT) {
        const int code = events.iErrorCode[FD_CONNECT_BIT];
        if (code == 0) {
            GetIOCP().PutIOCP(CreateOverlapped(CCommWSA::WSA_CONNECT));
            return true;
        }
        if (static_cast<DWORD>(code) != WSAEWOULDBLOCK)
            Deallocate();
    }
    return false;
}

void CCommSocket::AutoConnect(bool skipConnect, bool autoConnect)
{
    if (autoConnect)
        m_autoConnect.store(1, std::memory_order_release);
    if (!skipConnect && Connect())
        return;
    SpawnConnectThread();
}

void CCommSocket::StopConnectThreadLocked()
{
    if (!m_connectThread)
        return;
    m_connectProcess->RequestShutdown();
    m_connectThread->StopThread();
    // A thread that outlived the stop's wait still runs the process: it must
    // have ended before the process is handed to another.
    m_connectThread->Join(INFINITE);
}

void CCommSocket::SpawnConnectThread(bool redial)
{
    std::lock_guard<std::mutex> guard(m_connectLock);
    // Re-checked under the lock: a Close that cleared auto-connect and
    // stopped the thread is not undone by a redial decided before it.
    if (redial && !IsAutoConnect())
        return;
    if (!m_connectThread) {
        m_connectThread = std::make_unique<CThreadObject>("Connect Thread");
        m_connectProcess = std::make_unique<CCommConnectProcess>(m_timeout);
    }
    if (m_connectThread->GetThreadId() == GetCurrentThreadId() &&
        m_connectThread->GetState() == THREAD_RUNNING)
        return; // asked from the dialling loop itself: it goes on dialling
    StopConnectThreadLocked();
    {
        CSystemLock lock;
        m_connectProcess->SetTimeout(m_timeout);
        m_connectProcess->SetSocket(this);
    }
    m_connectThread->StartThread(m_connectProcess.get());
}

void CCommSocket::StopConnectThread()
{
    std::lock_guard<std::mutex> guard(m_connectLock);
    StopConnectThreadLocked();
    if (m_connectProcess) {
        CSystemLock lock;
        m_connectProcess->SetSocket(nullptr);
    }
}

bool CCommSocket::Close()
{
    m_autoConnect.store(0, std::memory_order_release);
    StopConnectThread();
    CCommSocket* parent = GetParent();
    Cleanup();
    if (parent != nullptr)
        parent->OnChildClosed(this);
    return true;
}

bool CCommSocket::CheckOutstandingOverlapped(int limit, bool close)
{
    if (OutstandingOverlapped() < limit)
        return false;
    if (close)
        Close();
    return true;
}

void CCommSocket::Open(bool countReceive)
{
    m_countReceive.store(countReceive, std::memory_order_release);
    SetConnected(true);
    // Open goes up before the first receive can complete, so no layer sees
    // data or a close before the open.
    CallUpOpen(GetSource());
    Receive(nullptr);
}

void CCommSocket::SetParent(CCommSocket* parent)
{
    m_autoConnect.store(0, std::memory_order_release);
    if (parent == nullptr)
        return;
    m_parent.store(parent, std::memory_order_release);
    Open(true);
}

// ---------------------------------------------------------------- completions

void CCommSocket::OnComplete(CRefCountedPtr<CCommOverlapped> record)
{
    CCommWSA* wsa = GetWSA(record);
    if (wsa == nullptr)
        return;
    try {
        switch (wsa->GetType()) {
        case CCommWSA::WSA_ACCEPT:
            OnAcceptComplete(record);
            break;
        case CCommWSA::WSA_CONNECT:
            OnConnectComplete(record);
            break;
        case CCommWSA::WSA_RECEIVE:
            OnReceiveComplete(record);
            break;
        case CCommWSA::WSA_SEND:
            OnSendComplete(record);
            break;
        case CCommWSA::WSA_ERROR:
            OnErrorComplete(record);
            break;
        default:
            OnTaskComplete(record);
            break;
        }
    } catch (...) {
        // A handler's fault ends nothing but its own call.
    }
}

void CCommSocket::OnReceiveComplete(CRefCountedPtr<CCommOverlapped> record)
{
    CCommWSA* wsa = GetWSA(record);
    const unsigned long n = record->GetBytes();
    if (!record->IsError() && n > 0) {
        std::string data = wsa->GetString(static_cast<unsigned>(n));
        const bool counted = wsa->IsCounted();
        record->DetachUserData(); // the buffer serves the next receive
        std::unique_ptr<CCommWSA> buffer(wsa);
        if (UpLink() != nullptr)
            CallUpData(GetSource(), data);
        if (counted)
            m_outstanding.fetch_sub(1, std::memory_order_acq_rel);
        Receive(buffer.release());
        return;
    }
    // The peer closed, or the receive failed: both end the connection.
    OverlappedComplete(record);
    if (CCommSocket* parent = GetParent())
        parent->OnCloseChild(this); // may delete this
    else
        Cleanup();
}

void CCommSocket::OnSendComplete(CRefCountedPtr<CCommOverlapped> record)
{
    OverlappedComplete(record);
}

void CCommSocket::OnConnectComplete(CRefCountedPtr<CCommOverlapped> record)
{
    OverlappedComplete(record);
    {
        CSystemLock lock;
        // Closed while the completion was on its way: nothing opens.
        if (Socket() == INVALID_SOCKET)
            return;
        ResetOutstanding();
    }
    Open(false);
}

void CCommSocket::OnErrorComplete(CRefCountedPtr<CCommOverlapped> record)
{
    CCommWSA* wsa = GetWSA(record);
    CallUpError(GetSource(), record->GetError(), wsa != nullptr ? wsa->GetString() : std::string());
    OverlappedComplete(record);
    if (CCommSocket* parent = GetParent())
        parent->OnCloseChild(this); // may delete this
    else
        Cleanup();
}

void CCommSocket::OnCloseChild(CCommSocket* /*child*/)
{
}

void CCommSocket::OnChildClosed(CCommSocket* /*child*/)
{
}

void CCommSocket::OnAcceptComplete(CRefCountedPtr<CCommOverlapped> record)
{
    OverlappedComplete(record);
}

void CCommSocket::OnTaskComplete(CRefCountedPtr<CCommOverlapped> record)
{
    OverlappedComplete(record);
}

} // namespace Brindle
