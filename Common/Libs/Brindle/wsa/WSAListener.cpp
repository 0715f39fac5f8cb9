#include "Brindle/wsa/WSAListener.h"

#include "Brindle/base/Exception.h"

#include <arpa/inet.h>

#include <algorithm>

namespace Brindle {

namespace {
// Bytes of an accept record's buffer (no data, two address areas) and of
// the text of an accept that could not start.
constexpr unsigned long kAcceptBuffer = 192;
constexpr unsigned long kErrorText = 512;
} // namespace

CWSAListener::CWSAListener(CIOCP& iocp, CWSASink* sink) : CWSASocket(iocp, sink) {}

CWSAListener::~CWSAListener()
{
    // The base destructor would only reach the base Cleanup.
    CloseAll();
    CWSASocket::Close();
    m_iocp.RemoveOwner(this);
    Children retired;
    {
        CSyncLock<CCritSec> guard(m_lock);
        retired.swap(m_retired);
    }
}

bool CWSAListener::Listen(int backlog)
{
    {
        CSyncLock<CCritSec> guard(m_lock);
        if (!Allocate())
            return false;
        SOCKET s = Socket();
        if (bind(s, reinterpret_cast<const sockaddr*>(&m_address), sizeof m_address) != 0 ||
            listen(s, backlog) != 0) {
            CloseHandleLocked();
            return false;
        }
    }
    PostAccept();
    return true;
}

void CWSAListener::PostAccept()
{
    CSyncLock<CCritSec> guard(m_lock);
    SOCKET s = Socket();
    if (s == INVALID_SOCKET)
        return;
    SOCKET client = WSASocket(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (client == INVALID_SOCKET) {
        const DWORD code = GetLastError();
        COverlapped* record = NewRecord(OV_ERROR, CIOBuffer(kErrorText));
        PostError(record, code);
        return;
    }
    const int size = BufferSize;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    // The accepted connection takes its sizes from the accept socket.
    setsockopt(client, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    setsockopt(client, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    COverlapped* record = NewRecord(OV_ACCEPT, CIOBuffer(kAcceptBuffer));
    record->SetAcceptSocket(client);
    if (!AcceptEx(s, client, record->GetBuffer().GetData(), 0, ACCEPT_ADDRESS_LENGTH, ACCEPT_ADDRESS_LENGTH,
                  nullptr, record->GetOverlapped())) {
        const DWORD code = GetLastError();
        if (code != WSA_IO_PENDING)
            PostError(record, code);
    }
}

void CWSAListener::OnAcceptComplete(COverlapped* record)
{
    if (!Current(record))
        return;
    m_outstanding.fetch_sub(1, std::memory_order_acq_rel);
    if (record->GetError() != 0) {
        AcceptFailed(record);
        return;
    }
    SOCKET accepted = record->TakeAcceptSocket();
    std::unique_ptr<CWSASocket> child;
    try {
        child = std::make_unique<CWSASocket>(m_iocp, GetSink(), accepted);
    } catch (...) {
        closesocket(accepted);
        PostAccept();
        return;
    }
    sockaddr* local = nullptr;
    sockaddr* remote = nullptr;
    int localSize = 0, remoteSize = 0;
    GetAcceptExSockaddrs(record->GetBuffer().GetData(), 0, ACCEPT_ADDRESS_LENGTH, ACCEPT_ADDRESS_LENGTH, &local,
                         &localSize, &remote, &remoteSize);
    if (remote != nullptr && remote->sa_family == AF_INET) {
        const auto* peer = reinterpret_cast<const sockaddr_in*>(remote);
        char dotted[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer->sin_addr, dotted, sizeof dotted);
        child->SetAddress(ntohs(peer->sin_port), dotted, false);
    }
    PostAccept();
    CWSASocket* raw = child.get();
    {
        CSyncLock<CCritSec> guard(m_lock);
        if (Socket() == INVALID_SOCKET)
            return; // closed meanwhile: the child goes with this frame
        // In the list before OnOpen can run, so an end that follows at once
        // finds it.
        m_children.push_back(std::move(child));
    }
    raw->SetParent(this);
}

void CWSAListener::AcceptFailed(COverlapped* record)
{
    if (CWSASink* sink = GetSink()) {
        try {
            sink->OnError(this, record->GetError(), record->GetBuffer());
        } catch (...) {
        }
    }
    // Try again after a pause rather than give up listening, and without a
    // busy loop when the failure persists (out of descriptors).
    PostDeferred(REARM_ACCEPT, RearmDelayMs);
}

void CWSAListener::OnErrorComplete(COverlapped* record)
{
    if (!Current(record))
        return;
    m_outstanding.fetch_sub(1, std::memory_order_acq_rel);
    AcceptFailed(record);
}

void CWSAListener::PostDeferred(DeferredTag tag, unsigned long delayMs)
{
    CSyncLock<CCritSec> guard(m_lock);
    COverlapped* record = m_iocp.CreateOverlapped(OV_DEFERRED, this, CIOBuffer());
    record->SetTag(tag);
    record->SetSocket(Socket());
    try {
        if (delayMs > 0)
            m_iocp.PutIOCPAfter(record, delayMs);
        else
            m_iocp.PutIOCP(record);
    } catch (...) {
        m_iocp.FreeOverlapped(record);
    }
}

void CWSAListener::OnDeferredComplete(COverlapped* record)
{
    if (record->GetTag() == RELEASE_CHILDREN) {
        Children gone;
        {
            CSyncLock<CCritSec> guard(m_lock);
            gone.swap(m_retired);
        }
        // Destroyed outside the lock: each waits for its own handlers.
        gone.clear();
    } else if (record->GetTag() == REARM_ACCEPT && Current(record)) {
        PostAccept();
    }
}

void CWSAListener::Retire(CWSASocket* child)
{
    {
        CSyncLock<CCritSec> guard(m_lock);
        auto it = std::find_if(m_children.begin(), m_children.end(),
                               [&](const std::unique_ptr<CWSASocket>& c) { return c.get() == child; });
        if (it == m_children.end())
            return;
        m_retired.push_back(std::move(*it));
        m_children.erase(it);
    }
    PostDeferred(RELEASE_CHILDREN, 0);
}

void CWSAListener::OnCloseChild(CWSASocket* child)
{
    child->Cleanup();
    Retire(child);
}

std::size_t CWSAListener::Broadcast(const CIOBuffer& buffer)
{
    CSyncLock<CCritSec> guard(m_lock);
    std::size_t sent = 0;
    for (const auto& child : m_children)
        if (child->Send(buffer))
            ++sent;
    return sent;
}

void CWSAListener::CloseAll()
{
    Children children;
    {
        CSyncLock<CCritSec> guard(m_lock);
        children.swap(m_children);
    }
    bool deferred = false;
    for (auto& child : children) {
        if (m_iocp.RunningHere(child.get())) {
            // Called from the child's own handler: close now, destroy later.
            child->Close();
            CSyncLock<CCritSec> guard(m_lock);
            m_retired.push_back(std::move(child));
            deferred = true;
        } else {
            child.reset();
        }
    }
    if (deferred)
        PostDeferred(RELEASE_CHILDREN, 0);
}

std::size_t CWSAListener::size() const
{
    CSyncLock<CCritSec> guard(m_lock);
    return m_children.size();
}

std::size_t CWSAListener::CheckAllOutstandingOverlapped(int limit, bool close)
{
    Children over;
    std::size_t count = 0;
    {
        CSyncLock<CCritSec> guard(m_lock);
        for (auto it = m_children.begin(); it != m_children.end();) {
            if ((*it)->OutstandingOverlapped() <= limit) {
                ++it;
                continue;
            }
            ++count;
            if (!close) {
                ++it;
                continue;
            }
            // Out of the list first: nobody else destroys it meanwhile.
            over.push_back(std::move(*it));
            it = m_children.erase(it);
        }
    }
    if (over.empty())
        return count;
    for (auto& child : over)
        child->Cleanup();
    {
        CSyncLock<CCritSec> guard(m_lock);
        for (auto& child : over)
            m_retired.push_back(std::move(child));
    }
    PostDeferred(RELEASE_CHILDREN, 0);
    return count;
}

void CWSAListener::Cleanup()
{
    CloseAll();
    CWSASocket::Cleanup();
}

} // namespace Brindle
