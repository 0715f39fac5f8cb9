#include "Brindle/comm/CommListener.h"

#include "Brindle/base/CritSec.h"
#include "Brindle/base/Exception.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace Brindle {

CCommListener::CCommListener(CCommIOCP& iocp, SOCKET s) : CCommSocket(iocp, s)
{
}

CCommListener::~CCommListener()
{
    StopCompletions();
    Deallocate();
    CloseAll();
}

bool CCommListener::Listen(int backlog)
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
    if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(s, backlog) != 0) {
        const DWORD code = GetLastError();
        Cleanup();
        SetLastError(code);
        return false;
    }
    Accept();
    return true;
}

void CCommListener::Cleanup()
{
    Deallocate();
}

void CCommListener::Accept()
{
    const SOCKET listening = Socket();
    if (listening == INVALID_SOCKET)
        return;
    SOCKET s = WSASocket(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s == INVALID_SOCKET) {
        PostErrorText("CCommListener::Accept - invalid socket", static_cast<DWORD>(WSAGetLastError()));
        return;
    }
    const int size = SocketBufferSize;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    CRefCountedPtr<CCommOverlapped> record = CreateOverlapped(CCommWSA::WSA_ACCEPT);
    CCommWSA* wsa = GetWSA(record);
    wsa->SetSocket(s); // owned by the operation until a child takes it
    DWORD received = 0;
    if (AcceptEx(listening, s, wsa->GetBuffer(), 0, ACCEPT_ADDRESS_LENGTH, ACCEPT_ADDRESS_LENGTH, &received,
                 record->GetOverlapped()))
        return;
    const DWORD code = static_cast<DWORD>(WSAGetLastError());
    if (code == WSA_IO_PENDING)
        return;
    if (code == WSAENOTSOCK && Socket() == INVALID_SOCKET) {
        Discard(record); // the listener closed meanwhile
        return;
    }
    PostError(record, "CCommSocket::Accept() error: ", code);
}

void CCommListener::Rearm()
{
    GetIOCP().PutIOCPAfter(CreateOverlapped(CCommWSA::WSA_REARM), RearmDelayMs);
}

void CCommListener::OnAcceptComplete(CRefCountedPtr<CCommOverlapped> record)
{
    CCommWSA* wsa = GetWSA(record);
    if (record->IsError()) {
        const DWORD code = static_cast<DWORD>(record->GetError());
        OverlappedComplete(record); // closes the unused handle
        if (code == ERROR_OPERATION_ABORTED || Socket() == INVALID_SOCKET)
            return;
        CallUpError(GetSource(), code,
                    "CCommSocket::Accept() error: " + std::to_string(code) + " - " + GetErrorMsg(code));
        // Out of descriptors and the like: try again after a pause rather
        // than spin or give up listening.
        Rearm();
        return;
    }
    const SOCKET s = wsa->GetSocket();
    sockaddr* local = nullptr;
    sockaddr* remote = nullptr;
    int localSize = 0;
    int remoteSize = 0;
    GetAcceptExSockaddrs(wsa->GetBuffer(), 0, ACCEPT_ADDRESS_LENGTH, ACCEPT_ADDRESS_LENGTH, &local, &localSize,
                         &remote, &remoteSize);
    sockaddr_in peer{};
    if (remote != nullptr && remote->sa_family == AF_INET)
        std::memcpy(&peer, remote, sizeof peer);
    std::unique_ptr<CCommSocket> child;
    try {
        child = std::make_unique<CCommSocket>(GetIOCP(), s);
        wsa->SetSocket(INVALID_SOCKET); // the child owns it now
    } catch (...) {
        OverlappedComplete(record);
        Accept();
        return;
    }
    child->SetChain(UpLink());
    char dotted[INET_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET, &peer.sin_addr, dotted, sizeof dotted);
    child->SetAddress(ntohs(peer.sin_port), dotted, true);
    OverlappedComplete(record);
    Accept();
    CCommSocket* c = child.release();
    {
        // Listed before its first receive is posted: a close that follows
        // at once finds it.
        CSystemLock lock;
        m_children.push_back(c);
    }
    c->SetParent(this);
}

void CCommListener::OnErrorComplete(CRefCountedPtr<CCommOverlapped> record)
{
    CCommWSA* wsa = GetWSA(record);
    CallUpError(GetSource(), record->GetError(), wsa != nullptr ? wsa->GetString() : std::string());
    OverlappedComplete(record);
    // Failed accepts start again after a pause; the listening handle and
    // the children stay.
    if (Socket() != INVALID_SOCKET)
        Rearm();
}

void CCommListener::OnCloseChild(CCommSocket* child)
{
    bool found = false;
    {
        CSystemLock lock;
        auto it = std::find(m_children.begin(), m_children.end(), child);
        if (it != m_children.end()) {
            m_children.erase(it);
            found = true;
        }
    }
    // Outside the lock: the child's destructor waits for its handlers.
    if (found)
        delete child;
}

void CCommListener::OnChildClosed(CCommSocket* child)
{
    bool post = false;
    {
        CSystemLock lock;
        auto it = std::find(m_children.begin(), m_children.end(), child);
        if (it == m_children.end())
            return;
        m_children.erase(it);
        m_reaping.push_back(child);
        post = !m_reapPosted;
        m_reapPosted = true;
    }
    // The caller may still be inside one of the child's handlers: the child
    // is deleted on a worker, where its destructor waits for them.
    if (post)
        GetIOCP().PutIOCP(CreateOverlapped(CCommWSA::WSA_REAP));
}

void CCommListener::OnTaskComplete(CRefCountedPtr<CCommOverlapped> record)
{
    CCommWSA* wsa = GetWSA(record);
    const CCommWSA::WSA_TYPE type = wsa != nullptr ? wsa->GetType() : CCommWSA::WSA_ERROR;
    OverlappedComplete(record);
    if (type == CCommWSA::WSA_REARM) {
        Accept();
        return;
    }
    if (type == CCommWSA::WSA_REAP) {
        std::vector<CCommSocket*> reaped;
        {
            CSystemLock lock;
            reaped.swap(m_reaping);
            m_reapPosted = false;
        }
        for (CCommSocket* child : reaped)
            delete child;
    }
}

bool CCommListener::IsList(void* source)
{
    return source == GetSource();
}

bool CCommListener::GetSourceList(void* source, std::list<void*>& sources)
{
    if (source != GetSource())
        return false;
    CSystemLock lock;
    for (CCommSocket* child : m_children)
        sources.push_back(child->GetSource());
    return true;
}

int CCommListener::CheckAllOutstandingOverlapped(int limit, bool close)
{
    // Under the lock, so no child is deleted while it is looked at; Close
    // only moves a child to the list of those deleted later.
    CSystemLock lock;
    const std::list<CCommSocket*> children = m_children;
    int count = 0;
    for (CCommSocket* child : children) {
        if (child->OutstandingOverlapped() < limit)
            continue;
        ++count;
        if (close)
            child->Close();
    }
    return count;
}

void CCommListener::CloseAll()
{
    std::list<CCommSocket*> children;
    std::vector<CCommSocket*> reaped;
    {
        CSystemLock lock;
        children.swap(m_children);
        reaped.swap(m_reaping);
    }
    for (CCommSocket* child : children)
        delete child;
    for (CCommSocket* child : reaped)
        delete child;
}

std::size_t CCommListener::size() const
{
    CSystemLock lock;
    return m_children.size();
}

} // namespace Brindle
