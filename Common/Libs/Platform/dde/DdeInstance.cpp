#include "Platform/dde/DdeInstance.h"

#include "Platform/dde/DdeRuntimeDir.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <shared_mutex>
#include <utility>

namespace Platform::Dde {

namespace {

using Clock = std::chrono::steady_clock;

// The process's instances and the conversations they own. Looking an
// instance up (every call) takes the lock shared, and not even that while
// the set of instances is as it was at the thread's last look-up.
struct Registry {
    std::shared_mutex lock;
    std::unordered_map<DWORD, std::shared_ptr<Instance>> instances;
    std::atomic<std::uint64_t> generation{0};  // bumped under the lock by every change
    DWORD nextInstance = 1;
    std::uint32_t nextConversation = 1;
    std::atomic<int> monitors{0};
};

Registry& GetRegistry()
{
    static Registry* registry = new Registry();  // outlives every static user at exit
    return *registry;
}

thread_local DWORD t_current = 0;
// The instance whose sockets this thread reads just before running its queue.
thread_local const void* t_reading = nullptr;

constexpr std::uint64_t QUEUE_TOKEN = 0;  // m_eventFd in m_readPoll; ids are never 0

// Marks the instance whose sockets this thread reads.
class ReadingScope {
public:
    explicit ReadingScope(const void* instance) : m_previous(t_reading) { t_reading = instance; }
    ~ReadingScope() { t_reading = m_previous; }
    ReadingScope(const ReadingScope&) = delete;
    ReadingScope& operator=(const ReadingScope&) = delete;

private:
    const void* m_previous;
};

// Marks the instance whose call-back runs on this thread.
class CurrentScope {
public:
    explicit CurrentScope(DWORD id) : m_previous(t_current) { t_current = id; }
    ~CurrentScope() { t_current = m_previous; }
    CurrentScope(const CurrentScope&) = delete;
    CurrentScope& operator=(const CurrentScope&) = delete;

private:
    DWORD m_previous;
};

DWORD TickMs()
{
    return static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
}

void Signal(int fd)
{
    const std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(fd, &one, sizeof one);
}

void Drain(int fd)
{
    std::uint64_t value;
    [[maybe_unused]] auto ignored = ::read(fd, &value, sizeof value);
}

HSZ AsHsz(std::uintptr_t id)
{
    return reinterpret_cast<HSZ>(id);
}

template <typename Record>
std::vector<BYTE> RecordBytes(const Record& record)
{
    std::vector<BYTE> bytes(sizeof record);
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}

} // namespace

// A conversation handle names its instance in the high half, so a call on
// an ended conversation still finds whom to report to.
std::uintptr_t Instance::NewConversationId(DWORD instance)
{
    Registry& registry = GetRegistry();
    std::lock_guard guard(registry.lock);
    std::uint32_t serial = registry.nextConversation++;
    if (serial == 0)
        serial = registry.nextConversation++;
    return (std::uintptr_t(instance) << 32) | serial;
}

UINT Instance::BaseType(UINT type)
{
    return type & ~(XTYPF_NODATA | XTYPF_ACKREQ);
}

// ------------------------------------------------------------ the registry

UINT Instance::Create(PFNCALLBACK callback, DWORD flags, std::shared_ptr<Instance>& made)
{
    Registry& registry = GetRegistry();
    DWORD id;
    {
        std::lock_guard guard(registry.lock);
        id = registry.nextInstance++;
    }
    std::shared_ptr<Instance> instance(new Instance(id, callback, flags));
    if (!PrepareRuntimeDirectory(instance->m_dir))
        return DMLERR_SYS_ERROR;
    instance->m_eventFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    instance->m_replyFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    instance->m_readPoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (instance->m_eventFd < 0 || instance->m_replyFd < 0 || instance->m_readPoll < 0)
        return DMLERR_SYS_ERROR;
    // The owner's one descriptor: readable for the queue and for sockets,
    // which sit in it directly (a send wakes one poll, not a chain).
    epoll_event queue{};
    queue.events = EPOLLIN;
    queue.data.u64 = QUEUE_TOKEN;
    if (::epoll_ctl(instance->m_readPoll, EPOLL_CTL_ADD, instance->m_eventFd, &queue) != 0)
        return DMLERR_SYS_ERROR;
    instance->m_reactor = Reactor::Acquire();
    instance->m_reactor->WatchDirectory(instance->m_dir, &Instance::OnServiceFile);
    {
        std::lock_guard guard(registry.lock);
        registry.instances[id] = instance;
        registry.generation.fetch_add(1, std::memory_order_release);
    }
    if ((flags & APPCLASS_MASK) == APPCLASS_MONITOR)
        ++registry.monitors;
    made = instance;
    return DMLERR_NO_ERROR;
}

std::shared_ptr<Instance> Instance::Find(DWORD id)
{
    // The thread's last answer; weak, so it never keeps an ended instance.
    struct LastFound {
        std::uint64_t generation = ~std::uint64_t(0);
        DWORD id = 0;
        std::weak_ptr<Instance> instance;
    };
    thread_local LastFound t_last;
    Registry& registry = GetRegistry();
    if (t_last.id == id && t_last.generation == registry.generation.load(std::memory_order_acquire)) {
        if (auto instance = t_last.instance.lock())
            return instance;
    }
    std::shared_lock guard(registry.lock);
    auto found = registry.instances.find(id);
    if (found == registry.instances.end())
        return nullptr;
    t_last.generation = registry.generation.load(std::memory_order_relaxed);
    t_last.id = id;
    t_last.instance = found->second;
    return found->second;
}

std::shared_ptr<Instance> Instance::FindByConversation(std::uintptr_t conv)
{
    return Find(static_cast<DWORD>(std::uint64_t(conv) >> 32));
}

DWORD Instance::Current()
{
    return t_current;
}

Instance::Instance(DWORD id, PFNCALLBACK callback, DWORD flags)
    : m_id(id),
      m_name(std::to_string(::getpid()) + "." + std::to_string(id)),
      m_owner(std::this_thread::get_id()),
      m_callback(callback),
      m_flags(flags)
{
}

Instance::~Instance()
{
    if (m_eventFd >= 0)
        ::close(m_eventFd);
    if (m_replyFd >= 0)
        ::close(m_replyFd);
    if (m_readPoll >= 0)
        ::close(m_readPoll);
}

void Instance::SetError(UINT code)
{
    {
        std::lock_guard guard(m_lock);
        m_lastError = code;
    }
    if (code != DMLERR_NO_ERROR && GetRegistry().monitors.load() > 0) {
        MONERRSTRUCT record{};
        record.cb = sizeof record;
        record.wLastError = code;
        record.dwTime = TickMs();
        record.idInst = m_id;
        Monitor(MF_ERRORS, RecordBytes(record), {});
    }
}

UINT Instance::TakeError()
{
    std::lock_guard guard(m_lock);
    return std::exchange(m_lastError, DMLERR_NO_ERROR);
}

void Instance::Reinitialize(PFNCALLBACK callback, DWORD flags)
{
    const bool wasMonitor = (m_flags.load() & APPCLASS_MASK) == APPCLASS_MONITOR;
    const bool isMonitor = (flags & APPCLASS_MASK) == APPCLASS_MONITOR;
    if (callback != nullptr)
        m_callback = callback;
    m_flags = flags;
    if (wasMonitor != isMonitor)
        GetRegistry().monitors += isMonitor ? 1 : -1;
}

void Instance::Uninitialize()
{
    if (m_dead.exchange(true))
        return;
    Registry& registry = GetRegistry();
    if ((m_flags.load() & APPCLASS_MASK) == APPCLASS_MONITOR)
        --registry.monitors;
    UnregisterService(0);
    std::unordered_map<std::uintptr_t, std::shared_ptr<ConvState>> convs;
    std::vector<Pending> pending;
    std::unordered_map<std::uintptr_t, long> strings;
    std::unordered_map<std::uintptr_t, std::shared_ptr<Conversation>> reading;
    {
        std::lock_guard guard(m_lock);
        convs.swap(m_convs);
        reading.swap(m_reading);
        pending.swap(m_pending);
        m_links.clear();
        strings.swap(m_stringRefs);
    }
    {
        std::lock_guard guard(registry.lock);
        registry.instances.erase(m_id);
        registry.generation.fetch_add(1, std::memory_order_release);
    }
    for (const auto& [id, state] : convs) {
        state->removed = true;
        state->conv->Shutdown(0);
    }
    // Nobody reads these sockets any more: they close here.
    for (const auto& [id, conv] : reading)
        conv->CloseNow(0);
    reading.clear();
    convs.clear();
    pending.clear();
    for (const auto& [id, count] : strings) {
        for (long i = 0; i < count; ++i)
            StringTable::Get().Release(id);
    }
    DataTable::Get().RemoveOwnedBy(m_id);
    // Last: the reactor may stop here, and it must never be stopped from its
    // own thread.
    m_reactor.reset();
}

// ---------------------------------------------------------- the call-backs

HDDEDATA Instance::Call(UINT type, UINT format, std::uintptr_t conv, std::uintptr_t hsz1, std::uintptr_t hsz2,
                        std::uintptr_t data, ULONG_PTR data1, ULONG_PTR data2)
{
    PFNCALLBACK callback = m_callback.load();
    if (callback == nullptr || m_dead)
        return nullptr;
    HDDEDATA result;
    {
        CurrentScope scope(m_id);
        result = callback(type, format, reinterpret_cast<HCONV>(conv), AsHsz(hsz1), AsHsz(hsz2),
                          reinterpret_cast<HDDEDATA>(data), data1, data2);
    }
    if (type != XTYP_MONITOR && GetRegistry().monitors.load() > 0) {
        MONCBSTRUCT record{};
        record.cb = sizeof record;
        record.dwTime = TickMs();
        record.idInst = m_id;
        record.dwRet = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(result));
        record.wType = type;
        record.wFmt = format;
        record.hConv = reinterpret_cast<HCONV>(conv);
        std::vector<StringRef> held{StringRef::Share(hsz1), StringRef::Share(hsz2)};
        record.hsz1 = AsHsz(held[0].id());
        record.hsz2 = AsHsz(held[1].id());
        record.dwData1 = data1;
        record.dwData2 = data2;
        Monitor(MF_CALLBACKS, RecordBytes(record), std::move(held));
    }
    return result;
}

void Instance::Push(Pending&& item)
{
    std::lock_guard guard(m_lock);
    if (m_dead)
        return;
    const bool wasEmpty = m_pending.empty();
    m_pending.push_back(std::move(item));
    SignalQueueLocked(wasEmpty);
}

void Instance::SignalQueueLocked(bool wasEmpty)
{
    if (wasEmpty && !m_signalled && t_reading != this) {
        m_signalled = true;
        Signal(m_eventFd);
    }
}

void Instance::SignalReply()
{
    Signal(m_replyFd);
}

int Instance::ProcessPending(DWORD timeoutMs)
{
    if (!IsOwnerThread()) {
        SetError(DMLERR_DLL_USAGE);
        return -1;
    }
    if (timeoutMs != 0) {
        pollfd wait{m_readPoll, POLLIN, 0};
        const int ms = timeoutMs == INFINITE ? -1 : static_cast<int>(std::min<DWORD>(timeoutMs, 0x7FFFFFFF));
        ::poll(&wait, 1, ms);
    }
    {
        // What is read now is run now: the queue needs no wake-up for it.
        ReadingScope scope(this);
        ReadSockets();
    }
    std::vector<Pending> items;
    {
        std::lock_guard guard(m_lock);
        if (m_signalled) {
            Drain(m_eventFd);
            m_signalled = false;
        }
        items.swap(m_pending);
    }
    auto self = shared_from_this();
    int count = 0;
    ++m_dispatchDepth;
    for (auto& item : items) {
        if (m_dead)
            break;
        Handle(item);
        ++count;
    }
    --m_dispatchDepth;
    // Frames not handled (the instance ended meanwhile) still count as done,
    // so their sockets are never left paused.
    for (std::size_t i = static_cast<std::size_t>(count); i < items.size(); ++i) {
        if (items[i].kind == Pending::FRAME && items[i].state)
            items[i].state->conv->FrameDone();
    }
    // The queue keeps its room for the next round.
    items.clear();
    {
        std::lock_guard guard(m_lock);
        if (m_pending.empty() && m_pending.capacity() < items.capacity())
            m_pending.swap(items);
    }
    return count;
}

void Instance::Handle(Pending& item)
{
    switch (item.kind) {
    case Pending::FRAME: {
        const auto state = item.state;
        if (!state || state->removed)
            return;
        if (state->conv->IsServer()) {
            if (state->phase == ConvState::OPENING && item.frame.kind == FrameKind::CONNECT)
                HandleConnect(state, item.frame);
            else if (state->phase == ConvState::CONNECTED && item.frame.kind == FrameKind::TRANSACT)
                HandleTransact(state, item.frame);
            else
                state->conv->Shutdown(DMLERR_POSTMSG_FAILED);
        } else {
            if (state->phase == ConvState::CONNECTED && item.frame.kind == FrameKind::ADVISE)
                HandleAdvise(state, item.frame);
            else
                state->conv->Shutdown(DMLERR_POSTMSG_FAILED);
        }
        state->conv->FrameDone();
        return;
    }
    case Pending::CLOSED:
        HandleClosed(item.conv, item.reason);
        return;
    case Pending::REGISTER:
        if (!(m_flags.load() & CBF_SKIP_REGISTRATIONS))
            Call(XTYP_REGISTER, 0, 0, item.name1.id(), item.name2.id(), 0, 0, 0);
        return;
    case Pending::UNREGISTER:
        if (!(m_flags.load() & CBF_SKIP_UNREGISTRATIONS))
            Call(XTYP_UNREGISTER, 0, 0, item.name1.id(), item.name2.id(), 0, 0, 0);
        return;
    case Pending::MONITOR: {
        const std::uintptr_t data = CreateData(item.record.data(), static_cast<DWORD>(item.record.size()), 0, 0, 0, 0);
        Call(XTYP_MONITOR, 0, 0, 0, 0, data, 0, item.monitorFlag);
        DataTable::Get().Remove(data);
        return;
    }
    case Pending::XACT: {
        auto state = FindState(item.conv);
        std::uintptr_t data = 0;
        const Frame& reply = item.xact.reply;
        if (!item.xact.failed && reply.error == 0 && reply.hasData) {
            data = CreateData(reinterpret_cast<const BYTE*>(reply.data.data()), static_cast<DWORD>(reply.data.size()),
                              0, item.xact.item.id(), reply.format, 0);
        } else if (!item.xact.failed && reply.error == 0 && BaseType(item.xact.type) != XTYP_REQUEST) {
            data = 1;  // TRUE: the transaction succeeded
        }
        Call(XTYP_XACT_COMPLETE, item.xact.format, item.conv, state ? state->topic.id() : 0, item.xact.item.id(),
             data, item.transaction, item.xact.failed ? 0 : reply.status);
        if (data > 1)
            DataTable::Get().Remove(data);
        return;
    }
    }
}

// ------------------------------------------------ ends of conversations

void Instance::HandleClosed(std::uintptr_t conv, UINT reason)
{
    auto state = RemoveState(conv);
    if (!state)
        return;  // already ended here (DdeDisconnect, a refused connect)
    RemoveLinks(state);
    if (state->phase != ConvState::CONNECTED)
        return;
    if (reason != 0)
        Call(XTYP_ERROR, 0, conv, 0, 0, 0, reason, 0);
    if (!(m_flags.load() & CBF_SKIP_DISCONNECTS))
        Call(XTYP_DISCONNECT, 0, conv, 0, 0, 0, 0, state->sameInstance ? 1 : 0);
    MonitorConversation(*state, false);
}

void Instance::OnFrame(const std::shared_ptr<Conversation>& conv, Frame&& frame)
{
    std::unique_lock guard(m_lock);
    auto found = m_convs.find(conv->Id());
    if (found == m_convs.end() || m_dead)
        return;
    ConvState& state = *found->second;
    if (!conv->IsServer() && frame.kind == FrameKind::CONNECT_REPLY) {
        if (state.phase == ConvState::OPENING && !state.connectDone) {
            state.connectReply = std::move(frame);
            state.connectDone = true;
            guard.unlock();
            SignalReply();
        }
        return;
    }
    if (!conv->IsServer() && frame.kind == FrameKind::REPLY) {
        auto transaction = state.transactions.find(frame.id);
        if (transaction == state.transactions.end())
            return;  // abandoned or timed out
        if (!transaction->second.async) {
            transaction->second.reply = std::move(frame);
            transaction->second.done = true;
            guard.unlock();
            SignalReply();
            return;
        }
        Pending item;
        item.kind = Pending::XACT;
        item.conv = conv->Id();
        item.transaction = transaction->first;
        item.xact = std::move(transaction->second);
        item.xact.reply = std::move(frame);
        state.transactions.erase(transaction);
        guard.unlock();
        Push(std::move(item));
        return;
    }
    // Queued under the lock already held, built in place: one lock and no
    // copy per frame on this path.
    conv->FrameTaken();
    const bool wasEmpty = m_pending.empty();
    Pending& item = m_pending.emplace_back();
    item.kind = Pending::FRAME;
    item.conv = conv->Id();
    item.state = found->second;
    item.frame = std::move(frame);
    SignalQueueLocked(wasEmpty);
}

void Instance::OnClosed(const std::shared_ptr<Conversation>& conv, UINT reason)
{
    std::vector<Pending> failures;
    {
        std::lock_guard guard(m_lock);
        m_reading.erase(conv->Id());
        auto found = m_convs.find(conv->Id());
        if (found == m_convs.end() || m_dead)
            return;
        ConvState& state = *found->second;
        state.connectFailed = !state.connectDone;
        state.connectDone = true;
        for (auto it = state.transactions.begin(); it != state.transactions.end();) {
            if (it->second.async) {
                Pending item;
                item.kind = Pending::XACT;
                item.conv = conv->Id();
                item.transaction = it->first;
                item.xact = std::move(it->second);
                item.xact.failed = true;
                failures.push_back(std::move(item));
                it = state.transactions.erase(it);
            } else {
                it->second.done = true;
                it->second.failed = true;
                ++it;
            }
        }
    }
    SignalReply();
    for (auto& item : failures)
        Push(std::move(item));
    Pending item;
    item.kind = Pending::CLOSED;
    item.conv = conv->Id();
    item.reason = reason;
    Push(std::move(item));
}

// -------------------------------------------------------------- helpers

std::shared_ptr<Instance::ConvState> Instance::FindState(std::uintptr_t conv) const
{
    std::lock_guard guard(m_lock);
    auto found = m_convs.find(conv);
    return found == m_convs.end() ? nullptr : found->second;
}

bool Instance::Register(const std::shared_ptr<ConvState>& state)
{
    const auto& conv = state->conv;
    {
        std::lock_guard guard(m_lock);
        if (m_dead)
            return false;
        m_convs[conv->Id()] = state;
        m_reading[conv->Id()] = conv;
    }
    if (m_reactor->Add(conv))
        return true;
    std::lock_guard guard(m_lock);
    m_reading.erase(conv->Id());
    return false;
}

void Instance::ReadSockets()
{
    epoll_event events[64];
    const int count = ::epoll_wait(m_readPoll, events, 64, 0);
    for (int i = 0; i < count; ++i) {
        if (events[i].data.u64 == QUEUE_TOKEN)
            continue;  // the queue is run by the caller
        std::shared_ptr<Conversation> conv;
        {
            std::lock_guard guard(m_lock);
            auto found = m_reading.find(events[i].data.u64);
            if (found == m_reading.end())
                continue;
            conv = found->second;
        }
        conv->ReadReady(events[i].events);
    }
}

std::shared_ptr<Instance::ConvState> Instance::RemoveState(std::uintptr_t conv)
{
    std::shared_ptr<ConvState> state;
    {
        std::lock_guard guard(m_lock);
        auto found = m_convs.find(conv);
        if (found == m_convs.end())
            return nullptr;
        state = found->second;
        m_convs.erase(found);
    }
    state->removed = true;
    return state;
}

void Instance::RemoveLinks(const std::shared_ptr<ConvState>& state)
{
    std::vector<Link> links;
    {
        std::lock_guard guard(m_lock);
        links.swap(state->links);
        if (state->conv->IsServer()) {
            for (const auto& link : links) {
                const LinkKey key{state->topic.id(), link.item.id()};
                auto found = m_links.find(key);
                if (found == m_links.end())
                    continue;
                auto& entries = found->second;
                entries.erase(std::remove_if(entries.begin(), entries.end(),
                                             [&](const LinkEntry& e) { return e.state == state; }),
                              entries.end());
                if (entries.empty())
                    m_links.erase(found);
            }
        }
    }
    for (const auto& link : links)
        MonitorLink(*state, link, false);
}

bool Instance::Send(const std::shared_ptr<ConvState>& state, const Frame& frame)
{
    std::string bytes;
    if (!EncodeFrame(frame, bytes))
        return false;
    return state->conv->Send(bytes, m_queueLimit.load()) == Conversation::SendResult::SENT;
}

void Instance::MaskQueue(bool masked)
{
    // Only the owner polls the descriptor, and it is here: nobody misses it.
    if (masked ? m_queueMasked++ != 0 : --m_queueMasked != 0)
        return;
    epoll_event queue{};
    queue.events = masked ? 0u : std::uint32_t(EPOLLIN);
    queue.data.u64 = QUEUE_TOKEN;
    ::epoll_ctl(m_readPoll, EPOLL_CTL_MOD, m_eventFd, &queue);
}

bool Instance::WaitUntil(const std::function<bool()>& done, Clock::time_point deadline)
{
    // This instance's sockets carry the answer; while its call-back runs
    // they are only read (what else comes waits in the queue), so its
    // waiting queue must not wake this wait.
    const bool readOnly = m_dispatchDepth != 0;
    if (readOnly)
        MaskQueue(true);
    const bool result = WaitLoop(done, deadline, readOnly);
    if (readOnly)
        MaskQueue(false);
    return result;
}

bool Instance::WaitLoop(const std::function<bool()>& done, Clock::time_point deadline, bool readOnly)
{
    Registry& registry = GetRegistry();
    const auto self = std::this_thread::get_id();
    for (;;) {
        if (done())
            return true;
        const auto now = Clock::now();
        if (now >= deadline)
            return done();
        std::vector<pollfd> fds;
        std::vector<std::shared_ptr<Instance>> owned;
        fds.push_back(pollfd{m_replyFd, POLLIN, 0});
        fds.push_back(pollfd{readOnly ? m_readPoll : -1, POLLIN, 0});
        {
            std::shared_lock guard(registry.lock);
            for (const auto& [id, instance] : registry.instances) {
                // Instances whose call-back is running are not entered again.
                if (instance->m_owner == self && instance->m_dispatchDepth == 0) {
                    fds.push_back(pollfd{instance->m_readPoll, POLLIN, 0});
                    owned.push_back(instance);
                }
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        ::poll(fds.data(), fds.size(), static_cast<int>(std::clamp<long long>(left + 1, 1, 1000)));
        if (fds[0].revents != 0)
            Drain(m_replyFd);
        if (fds[1].revents != 0)
            ReadSockets();
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (fds[i].revents != 0)
                owned[i - 2]->ProcessPending(0);
        }
    }
}

// ---------------------------------------------------------- string handles

std::uintptr_t Instance::CreateString(std::string_view text)
{
    const std::uintptr_t id = StringTable::Get().Add(text);
    if (id == 0) {
        SetError(DMLERR_INVALIDPARAMETER);
        return 0;
    }
    {
        std::lock_guard guard(m_lock);
        ++m_stringRefs[id];
    }
    if (GetRegistry().monitors.load() > 0) {
        MONHSZSTRUCT record{};
        record.cb = sizeof record;
        record.fsAction = MH_CREATE;
        record.dwTime = TickMs();
        record.idInst = m_id;
        record.hsz = AsHsz(id);
        std::memcpy(record.str, text.data(), std::min(text.size(), sizeof record.str - 1));
        Monitor(MF_HSZ_INFO, RecordBytes(record), {StringRef::Share(id)});
    }
    return id;
}

bool Instance::KeepString(std::uintptr_t id)
{
    if (!StringTable::Get().AddRef(id)) {
        SetError(DMLERR_INVALIDPARAMETER);
        return false;
    }
    std::lock_guard guard(m_lock);
    ++m_stringRefs[id];
    return true;
}

bool Instance::FreeString(std::uintptr_t id)
{
    std::string text;
    {
        std::lock_guard guard(m_lock);
        auto found = m_stringRefs.find(id);
        if (found == m_stringRefs.end()) {
            m_lastError = DMLERR_INVALIDPARAMETER;
            return false;
        }
        if (--found->second == 0)
            m_stringRefs.erase(found);
    }
    StringTable::Get().Text(id, text);
    StringTable::Get().Release(id);
    if (GetRegistry().monitors.load() > 0) {
        MONHSZSTRUCT record{};
        record.cb = sizeof record;
        record.fsAction = MH_DELETE;
        record.dwTime = TickMs();
        record.idInst = m_id;
        record.hsz = AsHsz(id);
        std::memcpy(record.str, text.data(), std::min(text.size(), sizeof record.str - 1));
        Monitor(MF_HSZ_INFO, RecordBytes(record), {});
    }
    return true;
}

std::uintptr_t Instance::CreateData(const BYTE* source, DWORD size, DWORD offset, std::uintptr_t item, UINT format,
                                    UINT flags)
{
    const std::size_t total = std::size_t(offset) + size;
    if (total > MAX_DATA) {
        SetError(DMLERR_MEMORY_ERROR);
        return 0;
    }
    auto data = std::make_shared<DataObject>();
    data->bytes.reserve(std::max<std::size_t>(total, 1));
    data->bytes.resize(total);
    if (source != nullptr && size > 0)
        std::memcpy(data->bytes.data() + offset, source, size);
    data->format = format;
    data->item = StringRef::Share(item);
    data->appOwned = (flags & HDATA_APPOWNED) != 0;
    data->owner = m_id;
    return DataTable::Get().Add(std::move(data));
}

// --------------------------------------------------------------- monitors

void Instance::Monitor(DWORD flag, std::vector<BYTE> record, std::vector<StringRef> held)
{
    std::vector<std::shared_ptr<Instance>> targets;
    {
        Registry& registry = GetRegistry();
        std::shared_lock guard(registry.lock);
        for (const auto& [id, instance] : registry.instances) {
            const DWORD flags = instance->m_flags.load();
            if (id != m_id && (flags & APPCLASS_MASK) == APPCLASS_MONITOR && (flags & flag))
                targets.push_back(instance);
        }
    }
    for (const auto& target : targets) {
        Pending item;
        item.kind = Pending::MONITOR;
        item.monitorFlag = flag;
        item.record = record;
        item.held = held;
        target->Push(std::move(item));
    }
}

void Instance::MonitorConversation(const ConvState& state, bool connect)
{
    if (GetRegistry().monitors.load() == 0)
        return;
    MONCONVSTRUCT record{};
    record.cb = sizeof record;
    record.fConnect = connect ? TRUE : FALSE;
    record.dwTime = TickMs();
    record.idInst = m_id;
    record.hszSvc = AsHsz(state.service.id());
    record.hszTopic = AsHsz(state.topic.id());
    record.hConv = reinterpret_cast<HCONV>(state.conv->Id());
    record.fServer = state.conv->IsServer() ? TRUE : FALSE;
    Monitor(MF_CONV, RecordBytes(record), {state.service, state.topic});
}

void Instance::MonitorLink(const ConvState& state, const Link& link, bool established)
{
    if (GetRegistry().monitors.load() == 0)
        return;
    MONLINKSTRUCT record{};
    record.cb = sizeof record;
    record.dwTime = TickMs();
    record.idInst = m_id;
    record.fEstablished = established ? TRUE : FALSE;
    record.fNoData = link.noData ? TRUE : FALSE;
    record.hszSvc = AsHsz(state.service.id());
    record.hszTopic = AsHsz(state.topic.id());
    record.hszItem = AsHsz(link.item.id());
    record.wFmt = link.format;
    record.fServer = state.conv->IsServer() ? TRUE : FALSE;
    record.hConv = reinterpret_cast<HCONV>(state.conv->Id());
    Monitor(MF_LINKS, RecordBytes(record), {state.service, state.topic, link.item});
}

// ------------------------------------------------- service registrations

void Instance::OnServiceFile(const std::string& dir, const std::string& name, bool added)
{
    std::string service;
    std::string instanceName;
    if (!ParseSocketFileName(name, service, instanceName))
        return;
    std::vector<std::shared_ptr<Instance>> targets;
    {
        Registry& registry = GetRegistry();
        std::shared_lock guard(registry.lock);
        for (const auto& [id, instance] : registry.instances) {
            if (instance->m_dir == dir && instance->m_name != instanceName)
                targets.push_back(instance);
        }
    }
    if (targets.empty())
        return;
    StringRef base = StringRef::Make(service);
    StringRef specific = StringRef::Make(service + "(" + instanceName + ")");
    for (const auto& target : targets) {
        Pending item;
        item.kind = added ? Pending::REGISTER : Pending::UNREGISTER;
        item.name1 = base;
        item.name2 = specific;
        target->Push(std::move(item));
    }
}

} // namespace Platform::Dde
