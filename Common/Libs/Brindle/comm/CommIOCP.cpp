#include "Brindle/comm/CommIOCP.h"

#include "Brindle/base/Exception.h"
#include "Brindle/base/Timestamp.h"
#include "Brindle/comm/CommLog.h"
#include "Brindle/comm/CommObject.h"
#include "Platform/KernelObjects.h"

#include <algorithm>

namespace Brindle {

namespace {
// The running slot of the worker cycle this thread is in, with its port.
struct WorkerSlot {
    const void* port = nullptr;
    void* slot = nullptr;
    // Handlers pinned in the port's list instead, by a cycle run inside a
    // handler of this thread: they are unpinned first (last in, first out).
    unsigned listed = 0;
};
thread_local WorkerSlot t_worker;
} // namespace

// ---------------------------------------------------------------- record

CCommOverlapped::~CCommOverlapped()
{
    if (m_release != nullptr && m_userData != 0)
        m_release(m_userData);
}

void CCommOverlapped::SetUserData(ULONG_PTR data, USERDATA_RELEASE release)
{
    if (m_release != nullptr && m_userData != 0 && m_userData != data)
        m_release(m_userData);
    m_userData = data;
    m_release = release;
}

ULONG_PTR CCommOverlapped::DetachUserData()
{
    m_release = nullptr;
    return std::exchange(m_userData, 0);
}

bool CCommOverlapped::HasCompleted() const
{
    auto& status = const_cast<ULONG_PTR&>(m_overlapped.Internal);
    return std::atomic_ref<ULONG_PTR>(status).load(std::memory_order_acquire) != STATUS_PENDING;
}

// ---------------------------------------------------------------- callbacks

int CUserCallback::Execute() const
{
    if (m_function == nullptr)
        return -1;
    try {
        return m_function(m_argument);
    } catch (...) {
        return -1;
    }
}

void CCallbackMgr::Register(const CUserCallback& callback)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_callbacks.push_back(callback);
}

void CCallbackMgr::Unregister(const CUserCallback& callback)
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::erase(m_callbacks, callback);
}

void CCallbackMgr::Execute()
{
    std::vector<CUserCallback> pass;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_callbacks.empty())
            return;
        pass = m_callbacks;
    }
    for (const CUserCallback& callback : pass)
        callback.Execute();
}

std::size_t CCallbackMgr::size() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_callbacks.size();
}

// ---------------------------------------------------------------- port

CCommIOCP::CCommIOCP() : m_lastCallback(CTimestamp().GetTimestamp())
{
    HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    if (port == nullptr)
        throw CException("Unable to create IO completion port", GetLastError());
    m_port.store(port, std::memory_order_release);
}

CCommIOCP::~CCommIOCP()
{
    RequestShutdown();
    CloseIOCP();
    {
        std::unique_lock<std::mutex> lk(m_lock);
        m_workerLeft.wait(lk, [this] { return m_workers == 0; });
    }
    // The records (and their data) go outside the locks.
    for (Shard& shard : m_shards) {
        std::unordered_map<const OVERLAPPED*, CRefCountedPtr<CCommOverlapped>> dropped;
        std::lock_guard<std::mutex> guard(shard.lock);
        dropped.swap(shard.records);
    }
}

void CCommIOCP::CloseIOCP()
{
    HANDLE port = m_port.exchange(INVALID_HANDLE_VALUE, std::memory_order_acq_rel);
    if (port != INVALID_HANDLE_VALUE)
        CloseIoCompletionPort(port);
}

void CCommIOCP::AttachIOCP(HANDLE handle, ULONG_PTR key)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        throw CException("Cannot attach to IO completion port, bad handle", 0);
    HANDLE port = GetHandle();
    if (port == INVALID_HANDLE_VALUE)
        throw CException("Cannot attach to IO completion port, not created", 0);
    if (CreateIoCompletionPort(handle, port, key, 0) == nullptr)
        throw CException("Cannot attach to IO completion port", GetLastError());
}

void CCommIOCP::DetachIOCP(HANDLE handle)
{
    CancelIo(handle);
}

CCommIOCP::Shard& CCommIOCP::ShardOf(const OVERLAPPED* ov)
{
    // Records are heap blocks: the low bits say little.
    const auto bits = reinterpret_cast<std::uintptr_t>(ov) >> 6;
    return m_shards[(bits ^ (bits >> 4)) % kShards];
}

CCommIOCP::RunningSlot* CCommIOCP::MySlot() const
{
    return t_worker.port == this ? static_cast<RunningSlot*>(t_worker.slot) : nullptr;
}

bool CCommIOCP::RunsElsewhere(CCommObject* owner) const
{
    const std::thread::id me = std::this_thread::get_id();
    for (const RunningSlot& slot : m_slots)
        if (slot.thread != me && slot.owner.load() == owner)
            return true;
    return std::any_of(m_running.begin(), m_running.end(),
                       [&](const Running& r) { return r.owner == owner && r.thread != me; });
}

CRefCountedPtr<CCommOverlapped> CCommIOCP::CreateOverlapped(CCommObject* owner)
{
    CRefCountedPtr<CCommOverlapped> record(new CCommOverlapped(nullptr));
    Shard& shard = ShardOf(record->GetOverlapped());
    std::lock_guard<std::mutex> guard(shard.lock);
    // Checked under the shard's lock: StopCompletions sets the flag before
    // it takes each shard's lock to clear the records, so no record keeps a
    // stopped owner.
    if (owner != nullptr && !owner->CompletionsStopped())
        record->m_owner.store(owner, std::memory_order_release);
    shard.records.emplace(record->GetOverlapped(), record);
    return record;
}

void CCommIOCP::Post(CRefCountedPtr<CCommOverlapped>& record, const unsigned long* delayMs)
{
    HANDLE port = GetHandle();
    if (port == INVALID_HANDLE_VALUE)
        throw CException("Cannot put on IO completion port, not created", 0);
    if (record.IsNull())
        throw CException("Cannot put a NULL overlapped on completion port", 0);
    BOOL posted = delayMs != nullptr
                      ? PostQueuedCompletionStatusAfter(port, static_cast<DWORD>(*delayMs), record->m_bytes,
                                                        record->m_key, record->GetOverlapped())
                      : PostQueuedCompletionStatus(port, record->m_bytes, record->m_key, record->GetOverlapped());
    if (!posted)
        throw CException("Error posting on IO completion port", GetLastError());
}

void CCommIOCP::PutIOCP(CRefCountedPtr<CCommOverlapped> record)
{
    Post(record, nullptr);
}

void CCommIOCP::PutIOCPAfter(CRefCountedPtr<CCommOverlapped> record, unsigned long delayMs)
{
    Post(record, &delayMs);
}

CRefCountedPtr<CCommOverlapped> CCommIOCP::Dequeue(unsigned long milliseconds, CCommObject** owner)
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
        if (InShutdown() || error == WAIT_TIMEOUT)
            return nullptr;
        throw CException("Error waiting on IO completion port", error);
    }
    CRefCountedPtr<CCommOverlapped> record;
    {
        Shard& shard = ShardOf(ov);
        std::lock_guard<std::mutex> guard(shard.lock);
        auto it = shard.records.find(ov);
        if (it == shard.records.end())
            return nullptr;
        record = std::move(it->second);
        shard.records.erase(it);
        if (InShutdown())
            return nullptr; // dropped: the workers are stopping
        record->m_bytes = bytes;
        record->m_key = key;
        if (!ok)
            record->m_error = error;
        if (owner != nullptr) {
            // Marked running before the shard's lock goes: RemoveOwner,
            // having cleared this shard, finds the mark.
            *owner = record->GetOwner();
            if (*owner != nullptr) {
                RunningSlot* slot = MySlot();
                if (slot != nullptr && slot->owner.load() == nullptr) {
                    slot->owner.store(*owner);
                } else {
                    if (slot != nullptr)
                        ++t_worker.listed;
                    std::lock_guard<std::mutex> running(m_lock);
                    m_running.push_back({*owner, std::this_thread::get_id()});
                }
            }
        }
    }
    return record;
}

CRefCountedPtr<CCommOverlapped> CCommIOCP::WaitIOCP(unsigned long milliseconds)
{
    return Dequeue(milliseconds, nullptr);
}

void CCommIOCP::Unpin(CCommObject* owner)
{
    RunningSlot* slot = MySlot();
    if (slot != nullptr && t_worker.listed == 0 && slot->owner.load() == owner) {
        // The store and the remover's count are both sequentially
        // consistent: either a remover sees the slot empty, or this sees the
        // remover and wakes it.
        slot->owner.store(nullptr);
        if (m_removers.load() == 0)
            return;
        std::lock_guard<std::mutex> guard(m_lock);
        m_handlerDone.notify_all();
        return;
    }
    if (slot != nullptr && t_worker.listed > 0)
        --t_worker.listed;
    std::lock_guard<std::mutex> guard(m_lock);
    const std::thread::id me = std::this_thread::get_id();
    auto it = std::find_if(m_running.begin(), m_running.end(),
                           [&](const Running& r) { return r.owner == owner && r.thread == me; });
    if (it != m_running.end()) {
        *it = m_running.back();
        m_running.pop_back();
    }
    if (m_removers.load() > 0)
        m_handlerDone.notify_all();
}

void CCommIOCP::DetachOwner(CCommObject* owner)
{
    for (Shard& shard : m_shards) {
        std::lock_guard<std::mutex> guard(shard.lock);
        for (auto& [ov, record] : shard.records) {
            CCommObject* expected = owner;
            record->m_owner.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
        }
    }
}

void CCommIOCP::RemoveOwner(CCommObject* owner)
{
    if (owner == nullptr)
        return;
    DetachOwner(owner);
    std::unique_lock<std::mutex> lk(m_lock);
    m_removers.fetch_add(1);
    m_handlerDone.wait(lk, [&] { return !RunsElsewhere(owner); });
    m_removers.fetch_sub(1);
}

std::size_t CCommIOCP::InFlight() const
{
    std::size_t n = 0;
    for (const Shard& shard : m_shards) {
        std::lock_guard<std::mutex> guard(shard.lock);
        n += shard.records.size();
    }
    return n;
}

void CCommIOCP::Run()
{
    std::list<RunningSlot>::iterator slot;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_workers;
        slot = m_slots.emplace(m_slots.end());
        slot->thread = std::this_thread::get_id();
    }
    const WorkerSlot outer = t_worker;
    t_worker = {this, &*slot};
    {
        // Completions this worker's handlers cause wait for it rather than
        // wake another thread, unless one is idle.
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
    t_worker = outer;
    // Last touch of this object: the destructor may go on once it is done.
    std::lock_guard<std::mutex> guard(m_lock);
    m_slots.erase(slot);
    --m_workers;
    m_workerLeft.notify_all();
}

void CCommIOCP::RequestShutdown()
{
    CThreadProcess::RequestShutdown();
    unsigned workers;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        workers = m_workers;
    }
    // One empty completion per worker: each wakes, sees the request, ends.
    HANDLE port = GetHandle();
    for (unsigned i = 0; i < workers && port != INVALID_HANDLE_VALUE; ++i)
        PostQueuedCompletionStatus(port, 0, 0, nullptr);
}

int CCommIOCP::ThreadExecuteFcn()
{
    CCommObject* owner = nullptr;
    try {
        CRefCountedPtr<CCommOverlapped> record = Dequeue(WaitMs, &owner);
        if (owner != nullptr) {
            try {
                owner->OnComplete(record);
            } catch (...) {
                // A handler's fault must not end the worker.
            }
            Unpin(owner);
            owner = nullptr;
        }
        record.Reset();
        const long now = CTimestamp().GetTimestamp();
        long last = m_lastCallback.load(std::memory_order_acquire);
        if (now > last && m_lastCallback.compare_exchange_strong(last, now, std::memory_order_acq_rel))
            m_callbacks.Execute();
    } catch (const std::exception& e) {
        if (owner != nullptr)
            Unpin(owner);
        if (!InShutdown()) {
            CommLog::Write(CommLog::SEVERITY_COMM, "CCommIOCP", std::string("Worker cycle: ") + e.what());
            Sleep(100);
        }
    } catch (...) {
        if (owner != nullptr)
            Unpin(owner);
        if (!InShutdown())
            Sleep(100);
    }
    return 1;
}

} // namespace Brindle
