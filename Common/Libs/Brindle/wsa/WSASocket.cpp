#include "Brindle/wsa/WSASocket.h"

#include "Brindle/base/Exception.h"
#include "Brindle/base/ThreadObject.h"
#include "Brindle/wsa/WSAConnectProcess.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/tcp.h>

#include <cstring>

namespace Brindle {

namespace {
// Bytes of a connect record's buffer and of an error record's text.
constexpr unsigned long kConnectBuffer = 128;
constexpr unsigned long kErrorText = 512;

// The IPv4 address of a host: dotted, "" (any), or a name looked up.
bool Resolve(const std::string& host, in_addr& out)
{
    if (host.empty()) {
        out.s_addr = htonl(INADDR_ANY);
        return true;
    }
    if (::inet_pton(AF_INET, host.c_str(), &out) == 1)
        return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    out = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}
} // namespace

CWSASocket::CWSASocket(CIOCP& iocp, CWSASink* sink, SOCKET handle)
    : m_iocp(iocp), m_lock(iocp.GetLock()), m_sink(sink)
{
    if (handle != INVALID_SOCKET) {
        const int on = 1;
        setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        m_iocp.AttachIOCP(SocketHandle(handle), reinterpret_cast<ULONG_PTR>(this));
        m_socket.store(handle, std::memory_order_release);
    }
}

CWSASocket::~CWSASocket()
{
    StopCompletions();
}

void CWSASocket::StopCompletions()
{
    Close();
    m_iocp.RemoveOwner(this);
}

bool CWSASocket::SetAddress(int port, const char* host, bool resolve)
{
    const std::string text = host != nullptr ? host : "";
    if (text.size() > MaxHostLength)
        return false;
    in_addr address{};
    // The lookup may take long: never under the port's lock.
    if (resolve && !Resolve(text, address))
        return false;
    CSyncLock<CCritSec> guard(m_lock);
    std::memcpy(m_host, text.c_str(), text.size() + 1);
    if (resolve) {
        if (port > 0)
            m_port = port;
        m_address = sockaddr_in{};
        m_address.sin_family = AF_INET;
        m_address.sin_port = htons(static_cast<unsigned short>(m_port));
        m_address.sin_addr = address;
        m_addressBuilt = true;
    } else {
        m_port = port;
        m_addressBuilt = false;
    }
    return true;
}

int CWSASocket::GetPort() const
{
    CSyncLock<CCritSec> guard(m_lock);
    return m_port;
}

std::string CWSASocket::GetHostname() const
{
    CSyncLock<CCritSec> guard(m_lock);
    return m_host;
}

std::string CWSASocket::GetAddress() const
{
    CSyncLock<CCritSec> guard(m_lock);
    return std::string(m_host) + ":" + std::to_string(m_port);
}

int CWSASocket::GetLocalPort() const
{
    sockaddr_in local{};
    int length = sizeof local;
    if (getsockname(Socket(), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

bool CWSASocket::Allocate()
{
    CSyncLock<CCritSec> guard(m_lock);
    if (Socket() != INVALID_SOCKET) {
        m_iocp.NullifyOwner(this);
        CloseHandleLocked();
    }
    SOCKET s = WSASocket(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s == INVALID_SOCKET)
        return false;
    const int size = BufferSize;
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // Each send goes out at once: a reply split over two sends must not wait
    // for the peer's delayed acknowledgement.
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    try {
        m_iocp.AttachIOCP(SocketHandle(s), reinterpret_cast<ULONG_PTR>(this));
    } catch (...) {
        closesocket(s);
        return false;
    }
    m_outstanding.store(0, std::memory_order_release);
    m_socket.store(s, std::memory_order_release);
    return true;
}

void CWSASocket::CloseHandleLocked()
{
    SOCKET s = m_socket.exchange(INVALID_SOCKET, std::memory_order_acq_rel);
    if (s != INVALID_SOCKET) {
        m_iocp.DetachIOCP(SocketHandle(s));
        closesocket(s);
    }
}

COverlapped* CWSASocket::NewRecord(OvAction action, const CIOBuffer& buffer)
{
    COverlapped* record = m_iocp.CreateOverlapped(action, this, buffer);
    record->SetSocket(Socket());
    m_outstanding.fetch_add(1, std::memory_order_acq_rel);
    return record;
}

bool CWSASocket::Current(const COverlapped* record) const
{
    return record->GetSocket() != INVALID_SOCKET && record->GetSocket() == Socket();
}

void CWSASocket::PostError(COverlapped* record, unsigned long code)
{
    record->SetAction(OV_ERROR);
    record->SetError(code);
    // A text buffer of the record's own: the failed operation's bytes may be
    // shared with other sockets (a broadcast).
    CIOBuffer text(kErrorText);
    text.SetText(CException::FormatLastError(static_cast<DWORD>(code)));
    record->SetBuffer(text);
    try {
        m_iocp.PutIOCP(record);
    } catch (...) {
        m_outstanding.fetch_sub(1, std::memory_order_acq_rel);
        m_iocp.FreeOverlapped(record);
    }
}

bool CWSASocket::ResolveStoredHost()
{
    // A host stored without resolving is looked up when first dialled; the
    // lookup runs without the lock.
    std::string host;
    {
        CSyncLock<CCritSec> guard(m_lock);
        if (m_addressBuilt)
            return true;
        host = m_host;
    }
    return SetAddress(GetPort(), host.c_str(), true);
}

bool CWSASocket::Connect()
{
    SOCKET s;
    sockaddr_in address;
    if (!ResolveStoredHost())
        return false;
    {
        CSyncLock<CCritSec> guard(m_lock);
        if (!Allocate())
            return false;
        s = Socket();
        address = m_address;
    }
    // Bounded by the platform layer (10 s); a close from another thread
    // ends it at once.
    const int result = connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    CSyncLock<CCritSec> guard(m_lock);
    if (Socket() != s)
        return false;
    if (result != 0) {
        CloseHandleLocked();
        return false;
    }
    COverlapped* record = NewRecord(OV_CONNECT, CIOBuffer(kConnectBuffer));
    try {
        m_iocp.PutIOCP(record);
    } catch (...) {
        m_outstanding.fetch_sub(1, std::memory_order_acq_rel);
        m_iocp.FreeOverlapped(record);
        CloseHandleLocked();
        return false;
    }
    return true;
}

bool CWSASocket::AsyncConnect(void* event)
{
    if (!ResolveStoredHost())
        return false;
    CSyncLock<CCritSec> guard(m_lock);
    if (!Allocate())
        return false;
    SOCKET s = Socket();
    if (WSAEventSelect(s, static_cast<HANDLE>(event), FD_CONNECT) != 0) {
        CloseHandleLocked();
        return false;
    }
    if (connect(s, reinterpret_cast<const sockaddr*>(&m_address), sizeof m_address) != 0 &&
        static_cast<DWORD>(WSAGetLastError()) != WSAEWOULDBLOCK) {
        CloseHandleLocked();
        return false;
    }
    return true;
}

bool CWSASocket::CheckAsyncConnect(void* event)
{
    CSyncLock<CCritSec> guard(m_lock);
    SOCKET s = Socket();
    if (s == INVALID_SOCKET)
        return false;
    WSANETWORKEVENTS events;
    if (WSAEnumNetworkEvents(s, static_cast<HANDLE>(event), &events) != 0) {
        CloseHandleLocked();
        return false;
    }
    if ((events.lNetworkEvents & FD_CONNECT) == 0)
        return false; // still being made
    WSAEventSelect(s, nullptr, 0);
    const int error = events.iErrorCode[FD_CONNECT_BIT];
    if (error != 0) {
        if (static_cast<DWORD>(error) != WSAEWOULDBLOCK)
            CloseHandleLocked();
        return false;
    }
    COverlapped* record = NewRecord(OV_CONNECT, CIOBuffer(kConnectBuffer));
    try {
        m_iocp.PutIOCP(record);
    } catch (...) {
        m_outstanding.fetch_sub(1, std::memory_order_acq_rel);
        m_iocp.FreeOverlapped(record);
        CloseHandleLocked();
        return false;
    }
    return true;
}

void CWSASocket::AbandonConnect()
{
    CSyncLock<CCritSec> guard(m_lock);
    if (!Connected())
        CloseHandleLocked();
}

bool CWSASocket::Send(const CIOBuffer& buffer)
{
    CSyncLock<CCritSec> guard(m_lock);
    SOCKET s = Socket();
    if (s == INVALID_SOCKET)
        return false;
    COverlapped* record = NewRecord(OV_SEND, buffer);
    // The completion may run on a worker before WSASend returns: the record
    // is touched afterwards only when nothing was queued.
    if (WSASend(s, record->GetWSABuf(), 1, nullptr, 0, record->GetOverlapped(), nullptr) != 0) {
        const DWORD code = static_cast<DWORD>(WSAGetLastError());
        if (code != WSA_IO_PENDING)
            PostError(record, code);
    }
    return true;
}

void CWSASocket::PostReceive(const CIOBuffer& buffer)
{
    CSyncLock<CCritSec> guard(m_lock);
    SOCKET s = Socket();
    if (s == INVALID_SOCKET)
        return;
    COverlapped* record = NewRecord(OV_RECEIVE, buffer);
    DWORD flags = 0;
    if (WSARecv(s, record->GetWSABuf(), 1, nullptr, &flags, record->GetOverlapped(), nullptr) != 0) {
        const DWORD code = static_cast<DWORD>(WSAGetLastError());
        if (code != WSA_IO_PENDING)
            PostError(record, code);
    }
}

void CWSASocket::NotifyOpen()
{
    if (CWSASink* sink = GetSink()) {
        try {
            sink->OnOpen(this);
        } catch (...) {
        }
    }
}

void CWSASocket::NotifyClose()
{
    if (CWSASink* sink = GetSink()) {
        try {
            sink->OnClose(this);
        } catch (...) {
        }
    }
}

void CWSASocket::AutoConnect(bool on)
{
    m_autoConnect.store(on, std::memory_order_release);
    if (!on && Connect())
        return;
    SpawnConnectThread();
}

void CWSASocket::SpawnConnectThread()
{
    std::lock_guard<std::mutex> control(m_connectControl);
    if (!m_connectThread) {
        m_connectThread = std::make_unique<CThreadObject>("Connect Thread");
        m_connectProcess = std::make_unique<CWSAConnectProcess>(nullptr, m_lock, ConnectPause);
    }
    // The thread itself never restarts itself; it is running already.
    if (m_connectThread->GetThreadId() == GetCurrentThreadId())
        return;
    m_connectProcess->RequestShutdown();
    m_connectThread->Join();
    m_connectThread->StopThread();
    m_connectProcess->SetSocket(this, m_lock);
    m_connectThread->StartThread(m_connectProcess.get());
}

void CWSASocket::StopConnectThread()
{
    std::lock_guard<std::mutex> control(m_connectControl);
    if (!m_connectThread)
        return;
    m_connectProcess->RequestShutdown();
    if (m_connectThread->GetThreadId() != GetCurrentThreadId()) {
        // Bounded: the thread sleeps 500 ms at a time and dials for at most
        // 10 s; waiting out the whole run keeps it from ever touching a
        // socket that is being destroyed.
        m_connectThread->Join();
        m_connectThread->StopThread();
    }
}

void CWSASocket::Close()
{
    m_connected.store(false, std::memory_order_release);
    StopConnectThread();
    Cleanup();
}

void CWSASocket::Cleanup()
{
    const bool wasConnected = m_connected.exchange(false, std::memory_order_acq_rel);
    if (wasConnected)
        NotifyClose();
    {
        CSyncLock<CCritSec> guard(m_lock);
        m_iocp.NullifyOwner(this);
        m_outstanding.store(0, std::memory_order_release);
        CloseHandleLocked();
    }
    if (wasConnected && IsAutoConnect())
        SpawnConnectThread();
}

void CWSASocket::EndConnection()
{
    if (CWSASocket* parent = GetParent())
        parent->OnCloseChild(this);
    else
        Cleanup();
}

void CWSASocket::SetParent(CWSASocket* parent)
{
    m_parent.store(parent, std::memory_order_release);
    m_autoConnect.store(false, std::memory_order_release);
    m_connected.store(true, std::memory_order_release);
    // OnOpen before the first receive is posted: OnData never comes first.
    NotifyOpen();
    PostReceive(CIOBuffer(static_cast<unsigned long>(BufferSize)));
}

void CWSASocket::OnConnectComplete(COverlapped* record)
{
    if (!Current(record))
        return;
    m_outstanding.fetch_sub(1, std::memory_order_acq_rel);
    m_connected.store(true, std::memory_order_release);
    NotifyOpen();
    PostReceive(CIOBuffer(static_cast<unsigned long>(BufferSize)));
}

void CWSASocket::OnReceiveComplete(COverlapped* record)
{
    if (!Current(record))
        return;
    m_outstanding.fetch_sub(1, std::memory_order_acq_rel);
    if (record->GetBytes() == 0) {
        EndConnection();
        return;
    }
    CIOBuffer block = record->GetBuffer();
    record->GetBuffer().Detach();
    {
        CIOBuffer data = block;
        data.SetLength(static_cast<long>(record->GetBytes()));
        if (CWSASink* sink = GetSink()) {
            try {
                sink->OnData(this, data);
            } catch (...) {
            }
        }
    }
    // A sink that kept the bytes keeps them: the next receive gets a block
    // of its own.
    if (block.Shared())
        block = CIOBuffer(static_cast<unsigned long>(BufferSize));
    PostReceive(block);
}

void CWSASocket::OnSendComplete(COverlapped* record)
{
    if (!Current(record))
        return;
    m_outstanding.fetch_sub(1, std::memory_order_acq_rel);
}

void CWSASocket::OnErrorComplete(COverlapped* record)
{
    if (!Current(record))
        return;
    m_outstanding.fetch_sub(1, std::memory_order_acq_rel);
    if (CWSASink* sink = GetSink()) {
        try {
            sink->OnError(this, record->GetError(), record->GetBuffer());
        } catch (...) {
        }
    }
    EndConnection();
}

void CWSASocket::OnCloseChild(CWSASocket* child)
{
    (void)child;
}

void CWSASocket::OnAcceptComplete(COverlapped* record)
{
    (void)record;
}

void CWSASocket::OnDeferredComplete(COverlapped* record)
{
    (void)record;
}

} // namespace Brindle
