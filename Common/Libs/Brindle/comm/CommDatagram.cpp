#include "Brindle/comm/CommDatagram.h"

#include "Brindle/base/CritSec.h"
#include "Brindle/base/Exception.h"
#include "Brindle/comm/CommAddress.h"
#include "Brindle/comm/CommLog.h"

#include <arpa/inet.h>

#include <memory>

namespace Brindle {

// ---------------------------------------------------------------- sender

CCommDatagram::CCommDatagram(CCommIOCP& iocp) : CCommObject(iocp)
{
    m_address.sin_family = AF_INET;
}

CCommDatagram::~CCommDatagram()
{
    StopCompletions();
    Deallocate();
}

bool CCommDatagram::SetAddress(int port, const char* host, bool resolve)
{
    if (!resolve) {
        CSystemLock lock;
        CommCopyHost(m_host, host);
        if (port > 0)
            m_port = port;
        return true;
    }
    in_addr address{};
    if (!CommResolveHost(host, address))
        return false; // the old address and text stay
    CSystemLock lock;
    CommCopyHost(m_host, host);
    if (port > 0)
        m_port = port;
    m_address.sin_family = AF_INET;
    m_address.sin_addr = address;
    m_address.sin_port = htons(static_cast<std::uint16_t>(m_port));
    return true;
}

std::string CCommDatagram::GetAddress() const
{
    CSystemLock lock;
    return "UDP:" + std::string(m_host) + ":" + std::to_string(m_port);
}

std::string CCommDatagram::GetHostname() const
{
    CSystemLock lock;
    return m_host;
}

int CCommDatagram::GetPort() const
{
    CSystemLock lock;
    return m_port;
}

bool CCommDatagram::Allocate()
{
    CSystemLock lock;
    Deallocate();
    SOCKET s = CommOpenSocket(GetIOCP(), this, SOCK_DGRAM, SocketBufferSize);
    if (s == INVALID_SOCKET)
        return false;
    m_socket.store(s, std::memory_order_release);
    return true;
}

void CCommDatagram::Deallocate()
{
    CSystemLock lock;
    SOCKET s = m_socket.exchange(INVALID_SOCKET, std::memory_order_acq_rel);
    if (s == INVALID_SOCKET)
        return;
    CommCloseSocket(GetIOCP(), this, s);
    m_outstanding.store(0, std::memory_order_release);
}

bool CCommDatagram::Connect()
{
    CSystemLock lock;
    if (!Allocate()) {
        Deallocate();
        return false;
    }
    m_maxMsgSize.store(MaxDatagramSize, std::memory_order_release);
    return true;
}

bool CCommDatagram::Close()
{
    Deallocate();
    return true;
}

bool CCommDatagram::SetTTL(int ttl)
{
    return setsockopt(Socket(), IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) == 0;
}

bool CCommDatagram::SetLoopback(bool loopback)
{
    const int on = loopback ? 1 : 0;
    return setsockopt(Socket(), IPPROTO_IP, IP_MULTICAST_LOOP, &on, sizeof on) == 0;
}

CRefCountedPtr<CCommOverlapped> CCommDatagram::CreateOverlapped(CCommWSA::WSA_TYPE type, CCommWSA* reuse)
{
    std::unique_ptr<CCommWSA> fresh;
    CCommWSA* wsa = reuse;
    if (wsa == nullptr) {
        fresh = std::make_unique<CCommWSA>(type);
        wsa = fresh.get();
    }
    wsa->SetType(type);
    *wsa->GetpFlags() = 0;
    CRefCountedPtr<CCommOverlapped> record = GetIOCP().CreateOverlapped(this);
    record->SetKey(reinterpret_cast<ULONG_PTR>(this));
    wsa->AttachTo(record);
    fresh.release();
    m_outstanding.fetch_add(1, std::memory_order_acq_rel);
    return record;
}

CRefCountedPtr<CCommOverlapped> CCommDatagram::CreateOverlapped(CCommWSA::WSA_TYPE type, const std::string& data)
{
    auto wsa = std::make_unique<CCommWSA>(type, data);
    CRefCountedPtr<CCommOverlapped> record = CreateOverlapped(type, wsa.get());
    wsa.release();
    return record;
}

void CCommDatagram::OverlappedComplete(CRefCountedPtr<CCommOverlapped>& record)
{
    if (!record.IsNull() && GetWSA(record) != nullptr) {
        m_outstanding.fetch_sub(1, std::memory_order_acq_rel);
        record->SetUserData(0);
    }
}

void CCommDatagram::Discard(CRefCountedPtr<CCommOverlapped>& record)
{
    OverlappedComplete(record);
    // Never started: posted empty, so the port's registry lets go of it.
    try {
        GetIOCP().PutIOCP(record);
    } catch (const CException&) {
        // The port is gone, and its registry with it.
    }
}

void CCommDatagram::PostError(CRefCountedPtr<CCommOverlapped>& record, const char* prefix, DWORD code)
{
    CCommWSA* wsa = GetWSA(record);
    wsa->SetString(std::string(prefix) + std::to_string(code) + " - " + GetErrorMsg(code));
    wsa->SetType(CCommWSA::WSA_ERROR);
    record->SetError(code);
    GetIOCP().PutIOCP(record);
}

bool CCommDatagram::Send(const std::string& data)
{
    const SOCKET s = Socket();
    if (s == INVALID_SOCKET)
        return false;
    if (data.size() > static_cast<std::size_t>(MaxMsgSize()))
        return false;
    sockaddr_in to;
    {
        CSystemLock lock;
        to = m_address;
    }
    CRefCountedPtr<CCommOverlapped> record = CreateOverlapped(CCommWSA::WSA_SEND, data);
    CCommWSA* wsa = GetWSA(record);
    DWORD sent = 0;
    if (WSASendTo(s, wsa->GetWSABuf(), 1, &sent, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to,
                  record->GetOverlapped(), nullptr) == 0)
        return true;
    const DWORD code = static_cast<DWORD>(WSAGetLastError());
    if (code == WSA_IO_PENDING)
        return true;
    if (code == WSAENOTSOCK) {
        Discard(record);
        return false;
    }
    PostError(record, "CCommDatagram::Send() error: ", code);
    return false;
}

bool CCommDatagram::Receive(CCommWSA* buffer)
{
    delete buffer;
    return false;
}

void CCommDatagram::OnComplete(CRefCountedPtr<CCommOverlapped> record)
{
    CCommWSA* wsa = GetWSA(record);
    if (wsa == nullptr)
        return;
    try {
        // A failure the system reported with the operation becomes the
        // error completion it would have been had it failed at once.
        if (record->IsError() && wsa->GetType() != CCommWSA::WSA_ERROR) {
            const DWORD code = static_cast<DWORD>(record->GetError());
            if (code == ERROR_OPERATION_ABORTED) {
                OverlappedComplete(record);
                return;
            }
            const char* prefix = wsa->GetType() == CCommWSA::WSA_RECEIVE ? "CCommDatagramFrom::Receive() error: "
                                                                           : "CCommDatagram::Send() error: ";
            wsa->SetString(std::string(prefix) + std::to_string(code) + " - " + GetErrorMsg(code));
            wsa->SetType(CCommWSA::WSA_ERROR);
        }
        switch (wsa->GetType()) {
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
            OverlappedComplete(record);
            break;
        }
    } catch (...) {
    }
}

void CCommDatagram::OnReceiveComplete(CRefCountedPtr<CCommOverlapped> record)
{
    OverlappedComplete(record);
}

void CCommDatagram::OnSendComplete(CRefCountedPtr<CCommOverlapped> record)
{
    OverlappedComplete(record);
}

void CCommDatagram::OnErrorComplete(CRefCountedPtr<CCommOverlapped> record)
{
    CCommWSA* wsa = GetWSA(record);
    CallUpError(GetSource(), record->GetError(), wsa != nullptr ? wsa->GetString() : std::string());
    OverlappedComplete(record);
    Close();
}

// ---------------------------------------------------------------- receiver

CCommDatagramFrom::CCommDatagramFrom(CCommIOCP& iocp) : CCommDatagram(iocp)
{
}

CCommDatagramFrom::~CCommDatagramFrom()
{
    StopCompletions();
    CCommDatagramFrom::Close();
}

namespace {
void LogFailure(const char* text, DWORD code)
{
    CommLog::Stream(std::string(text) + GetErrorMsg(code));
}
} // namespace

bool CCommDatagramFrom::Bind(bool multicast)
{
    m_member.store(false, std::memory_order_release);
    if (!Allocate())
        return false;
    const SOCKET s = Socket();
    sockaddr_in address;
    {
        CSystemLock lock;
        address = m_address;
    }
    if (multicast) {
        const int one = 1;
        if (setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
            LogFailure("CCommDatagramFrom::Bind() - ::setsockopt SO_REUSEADDR error - ", GetLastError());
            return false;
        }
        sockaddr_in any = address;
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        if (bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
            LogFailure("CCommDatagramFrom::Bind() - ::bind error - ", GetLastError());
            return false;
        }
        m_request.imr_multiaddr = address.sin_addr;
        m_request.imr_interface.s_addr = htonl(INADDR_ANY);
        if (setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m_request, sizeof m_request) != 0) {
            LogFailure("CCommDatagramFrom::Bind() - ::setsockopt IP_ADD_MEMBERSHIP error - ", GetLastError());
            return false;
        }
        m_member.store(true, std::memory_order_release);
        return true;
    }
    if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        LogFailure("CCommDatagramFrom::Bind() - ::bind error - ", GetLastError());
        return false;
    }
    return true;
}

bool CCommDatagramFrom::BeginReceive(bool multicast)
{
    if (!Bind(multicast)) {
        Close();
        return false;
    }
    return Receive(nullptr);
}

bool CCommDatagramFrom::Close()
{
    if (m_member.exchange(false, std::memory_order_acq_rel)) {
        if (setsockopt(Socket(), IPPROTO_IP, IP_DROP_MEMBERSHIP, &m_request, sizeof m_request) != 0)
            LogFailure("CCommDatagramFrom::Close() - ::setsockopt IP_DROP_MEMBERSHIP error - ", GetLastError());
    }
    Deallocate();
    return true;
}

bool CCommDatagramFrom::Receive(CCommWSA* buffer)
{
    CRefCountedPtr<CCommOverlapped> record = CreateOverlapped(CCommWSA::WSA_RECEIVE, buffer);
    CCommWSA* wsa = GetWSA(record);
    DWORD received = 0;
    m_fromLength = sizeof m_from;
    if (WSARecvFrom(Socket(), wsa->GetWSABuf(), 1, &received, wsa->GetpFlags(), reinterpret_cast<sockaddr*>(&m_from),
                    &m_fromLength, record->GetOverlapped(), nullptr) == 0)
        return true;
    const DWORD code = static_cast<DWORD>(WSAGetLastError());
    if (code == WSA_IO_PENDING)
        return true;
    if (code == WSAENOTSOCK) {
        Discard(record);
        return false;
    }
    PostError(record, "CCommDatagramFrom::Receive() error: ", code);
    return false;
}

void CCommDatagramFrom::OnReceiveComplete(CRefCountedPtr<CCommOverlapped> record)
{
    CCommWSA* wsa = GetWSA(record);
    const unsigned long n = record->GetBytes();
    record->DetachUserData(); // the buffer serves the next receive
    std::unique_ptr<CCommWSA> buffer(wsa);
    if (n > 0 && UpLink() != nullptr)
        CallUpData(GetSource(), wsa->GetString(static_cast<unsigned>(n)));
    Uncount();
    // An empty datagram is a datagram like any other, not the end.
    Receive(buffer.release());
}

} // namespace Brindle
