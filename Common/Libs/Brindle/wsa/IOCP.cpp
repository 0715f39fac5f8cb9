#include "Brindle/wsa/IOCP.h"

#include "Brindle/base/Exception.h"
#include "Brindle/wsa/WSASocket.h"
#include "Platform/KernelObjects.h"

#include <algorithm>

namespace Brindle {

// ---------------------------------------------------------------- record

COverlapped::COverlapped(OvAction action, CWSASocket* owner, const CIOBuffer& buffer)
    : m_action(action), m_owner(owner), m_buffer(buffer)
{
    m_wsabuf.buf = m_buffer.GetData();
    m_wsabuf.len = static_cast<ULONG>(action == OV_SEND ? m_buffer.GetLength() : m_buffer.GetCapacity());
}

void COverlapped::SetBuffer(const CIOBuffer& buffer)
{
    m_buffer = buffer;
    m_wsabuf.buf = m_buffer.GetData();
    m_wsabuf.len = static_cast<ULONG>(m_action == OV_SEND ? m_buffer.GetLength() : m_buffer.GetCapacity());
}

COverlapped::~COverlapped()
{
    if (m_acceptSocket != INVALID_SOCKET)
        closesocket(m_acceptSocket);
}

SOCKET COverlapped::TakeAcceptSocket()
{
    return std::exchange(m_acceptSocket, INVALID_SOCKET);
}

// ---------------------------------------------------------------- port

CIOCP::CIOCP()
{
    HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    if (port == nullptr)
        throw CException("Unable to create IO completion port", GetLastError());
    m_port.store(port, std::memory_order_release);
}

CIOCP::~CIOCP()
{
    RequestShutdown();
    CloseIOCP();
    std::unordered_map<const OVERLAPPED*, std::unique_ptr<COverlapped>> dropped;
    {
        std::unique_lock<std::mutex> lk(m_recordLock);
        m_workerLeft.wait(lk, [this] { return m_workers == 0; });
        dropped.swap(m_records);
    }
}

void CIOCP::CloseIOCP()
{
    HANDLE port = m_port.exchange(INVALID_HANDLE_VALUE, std::memory_order_acq_rel);
    if (port != INVALID_HANDLE_VALUE)
        CloseIoCompletionPort(port);
}

void CIOCP::AttachIOCP(HANDLE handle, ULONG_PTR key)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        throw CException("Cannot attach to IO completion port, bad handle", 0);
    HANDLE port = GetHandle();
    if (port == INVALID_HANDLE_VALUE)
        throw CException("Cannot attach to IO completion port, not created", 0);
    if (CreateIoCompletionPort(handle, port, key, 0) == nullptr)
        throw CException("Cannot attach to IO completion port", GetLastError());
}

void CIOCP::DetachIOCP(HANDLE handle)
{
    CancelIo(handle);
}

void CIOCP::PutIOCP(COverlapped* record)
{
    HANDLE port = GetHandle();
    if (port == INVALID_HANDLE_VALUE)
        throw CException("Cannot put on IO completion port, not created", 0);
    if (!PostQueuedCompletionStatus(port, record->m_bytes, record->m_key, record->GetOverlapped()))
        throw CException("Error posting on IO completion port", GetLastError());
}

void CIOCP::PutIOCPAfter(COverlapped* record, unsigned long delayMs)
{
    HANDLE port = GetHandle();
    if (port == INVALID_HANDLE_VALUE)
        throw CException("Cannot put on IO completion port, not created", 0);
    if (!PostQueuedCompletionStatusAfter(port, static_cast<DWORD>(delayMs), record->m_bytes, record->m_key,
                                         record->GetOverlapped()))
        throw CException("Error posting on IO completion port", GetLastError());
}

COverlapped* CIOCP::CreateOverlapped(OvAction action, CWSASocket* socket, const CIOBuffer& buffer)
{
    std::unique_ptr<COverlapped> record(new COverlapped(action, socket, buffer));
    COverlapped* raw = record.get();
    std::lock_guard<std::mutex> guard(m_recordLock);
    m_records.emplace(raw->GetOverlapped(), std::move(record));
    return raw;
}

void CIOCP::FreeOverlapped(COverlapped* record)
{
    std::unique_ptr<COverlapped> gone;
    std::lock_guard<std::mutex> guard(m_recordLock);
    auto it = m_records.find(record->GetOverlapped());
    if (it != m_records.end()) {
        gone = std::move(it->second);
        m_records.erase(it);
    }
}

std::unique_ptr<COverlapped> CIOCP::Dequeue(unsigned long milliseconds, CWSASocket** owner)
{
    HANDLE port = GetHandle();
    if (port == INVALID_HANDLE_VALUE)
        throw CException("Cannot wait on IO completion port, not created", 0);
    DWORD bytes = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* ov = nullptr;
    const BOOL ok = GetQueuedCompletionStatus(port, &bytes, &key, &ov, static_cast<DWORD>(milliseconds));
    const DWORD error = ok ? 0 : GetLastError();
    if (ov == nullptr) {
        if (error == WAIT_TIMEOUT || (ok && InShutdown()))
            return nullptr;
        if (ok)
            return nullptr; // a wake-up without a record
        throw CException("Error waiting on IO completion port", error);
    }
    std::unique_ptr<COverlapped> record;
    std::lock_guard<std::mutex> guard(m_recordLock);
    auto it = m_records.find(ov);
    if (it == m_records.end())
        return nullptr;
    record = std::move(it->second);
    m_records.erase(it);
    record->m_bytes = bytes;
    record->m_key = key;
    if (!ok)
        record->m_error = error;
    if (owner != nullptr) {
        *owner = record->GetOwner();
        if (*owner != nullptr)
            m_running.push_back({*owner, std::this_thread::get_id()});
    }
    return record;
}

std::unique_ptr<COverlapped> CIOCP::WaitIOCP(unsigned long milliseconds)
{
    return Dequeue(milliseconds, nullptr);
}

void CIOCP::Unpin(CWSASocket* owner)
{
    std::lock_guard<std::mutex> guard(m_recordLock);
    const std::thread::id me = std::this_thread::get_id();
    auto it = std::find_if(m_running.begin(), m_running.end(),
                           [&](const Running& r) { return r.owner == owner && r.thread == me; });
    if (it != m_running.end()) {
        *it = m_running.back();
        m_running.pop_back();
    }
    if (m_removers > 0)
        m_handlerDone.notify_all();
}

void CIOCP::NullifyOwner(CWSASocket* socket)
{
    std::lock_guard<std::mutex> guard(m_recordLock);
    for (auto& [ov, record] : m_records) {
        CWSASocket* expected = socket;
        record->m_owner.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
    }
}

void CIOCP::RemoveOwner(CWSASocket* socket)
{
    if (socket == nullptr)
        return;
    std::unique_lock<std::mutex> lk(m_recordLock);
    for (auto& [ov, record] : m_records) {
        CWSASocket* expected = socket;
        record->m_owner.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
    }
    const std::thread::id me = std::this_thread::get_id();
    auto runsElsewhere = [&] {
        return std::any_of(m_running.begin(), m_running.end(),
                           [&](const Running& r) { return r.owner == socket && r.thread != me; });
    };
    ++m_removers;
    m_handlerDone.wait(lk, [&] { return !runsElsewhere(); });
    --m_removers;
}

bool CIOCP::RunningHere(const CWSASocket* socket) const
{
    std::lock_guard<std::mutex> guard(m_recordLock);
    const std::thread::id me = std::this_thread::get_id();
    return std::any_of(m_running.begin(), m_running.end(),
                       [&](const Running& r) { return r.owner == socket && r.thread == me; });
}

std::size_t CIOCP::InFlight() const
{
    std::lock_guard<std::mutex> guard(m_recordLock);
    return m_records.size();
}

void CIOCP::Run()
{
    {
        std::lock_guard<std::mutex> guard(m_recordLock);
        ++m_workers;
    }
    {
        IoPortHandlerScope scope(GetHandle());
        if (ThreadInit() != 0) {
            bool success = true;
            try {
                while (!InShutdown() && ThreadExecuteFcn() != 0) {
                }
            } catch (...) {
                success = false;
            }
            ThreadExit(success);
        }
    }
    // Last touch of this object: the destructor may go on once it is done.
    std::lock_guard<std::mutex> guard(m_recordLock);
    --m_workers;
    m_workerLeft.notify_all();
}

void CIOCP::RequestShutdown()
{
    CThreadProcess::RequestShutdown();
    unsigned workers;
    {
        std::lock_guard<std::mutex> guard(m_recordLock);
        workers = m_workers;
    }
    HANDLE port = GetHandle();
    for (unsigned i = 0; i < workers && port != INVALID_HANDLE_VALUE; ++i)
        PostQueuedCompletionStatus(port, 0, 0, nullptr);
}

void CIOCP::Dispatch(CWSASocket* owner, COverlapped* record)
{
    switch (record->GetAction()) {
    case OV_ERROR:
        owner->OnErrorComplete(record);
        break;
    case OV_RECEIVE:
        owner->OnReceiveComplete(record);
        break;
    case OV_SEND:
        owner->OnSendComplete(record);
        break;
    case OV_ACCEPT:
        owner->OnAcceptComplete(record);
        break;
    case OV_CONNECT:
        owner->OnConnectComplete(record);
        break;
    case OV_DEFERRED:
        owner->OnDeferredComplete(record);
        break;
    }
}

int CIOCP::ThreadExecuteFcn()
{
    CWSASocket* owner = nullptr;
    try {
        std::unique_ptr<COverlapped> record = Dequeue(WaitMs, &owner);
        if (owner != nullptr) {
            try {
                Dispatch(owner, record.get());
            } catch (...) {
                // A handler's fault must not end the worker.
            }
            Unpin(owner);
            owner = nullptr;
        } else if (!record && !InShutdown()) {
            m_callbacks.Execute();
        }
        // Freed here: the record's completion.
    } catch (...) {
        if (owner != nullptr)
            Unpin(owner);
        // A broken or closed port fails every wait at once: pause so that
        // the cycle never spins a core.
        if (!InShutdown())
            Sleep(100);
    }
    return 1;
}

} // namespace Brindle
