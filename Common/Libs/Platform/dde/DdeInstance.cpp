#include "Platform/dde/DdeInstance.h"

#include "Platform/dde/DdeRuntimeDir.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace Platform::Dde {

namespace {

using Clock = std::chrono::steady_clock;

// The process's instances and the conversations they own.
struct Registry {
    std::mutex lock;
    std::unordered_map<DWORD, std::shared_ptr<Instance>> instances;
    DWORD nextInstance = 1;
    std::uint32_t nextConversation = 1;
    std::atomic<int> monitors{0};
    std::atomic<unsigned> nextTemp{0};
};

Registry& GetRegistry()
{
    static Registry* registry = new Registry();  // outlives every static user at exit
    return *registry;
}

// A conversation handle names its instance in the high half, so a call on
// an ended conversation still finds whom to report to.
std::uintptr_t NewConversationId(DWORD instance)
{
    Registry& registry = GetRegistry();
    std::lock_guard guard(registry.lock);
    std::uint32_t serial = registry.nextConversation++;
    if (serial == 0)
        serial = registry.nextConversation++;
    return (std::uintptr_t(instance) << 32) | serial;
}

thread_local DWORD t_current = 0;

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

UINT BaseType(UINT type)
{
    return type & ~(XTYPF_NODATA | XTYPF_ACKREQ);
}

UINT TimeoutError(UINT type)
{
    switch (BaseType(type)) {
    case XTYP_REQUEST:
        return DMLERR_DATAACKTIMEOUT;
    case XTYP_ADVSTART:
        return DMLERR_ADVACKTIMEOUT;
    case XTYP_ADVSTOP:
        return DMLERR_UNADVACKTIMEOUT;
    case XTYP_POKE:
        return DMLERR_POKEACKTIMEOUT;
    default:
        return DMLERR_EXECACKTIMEOUT;
    }
}

} // namespace

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
    if (instance->m_eventFd < 0 || instance->m_replyFd < 0)
        return DMLERR_SYS_ERROR;
    instance->m_reactor = Reactor::Acquire();
    instance->m_reactor->WatchDirectory(instance->m_dir, &Instance::OnServiceFile);
    {
        std::lock_guard guard(registry.lock);
        registry.instances[id] = instance;
    }
    if ((flags & APPCLASS_MASK) == APPCLASS_MONITOR)
        ++registry.monitors;
    made = instance;
    return DMLERR_NO_ERROR;
}

std::shared_ptr<Instance> Instance::Find(DWORD id)
{
    Registry& registry = GetRegistry();
    std::lock_guard guard(registry.lock);
    auto found = registry.instances.find(id);
    return found == registry.instances.end() ? nullptr : found->second;
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
    std::deque<Pending> pending;
    std::unordered_map<std::uintptr_t, long> strings;
    {
        std::lock_guard guard(m_lock);
        convs.swap(m_convs);
        pending.swap(m_pending);
        m_links.clear();
        strings.swap(m_stringRefs);
    }
    {
        std::lock_guard guard(registry.lock);
        registry.instances.erase(m_id);
    }
    for (const auto& [id, state] : convs) {
        state->removed = true;
        state->conv->Shutdown(0);
    }
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
    if (wasEmpty)
        Signal(m_eventFd);
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
        pollfd wait{m_eventFd, POLLIN, 0};
        const int ms = timeoutMs == INFINITE ? -1 : static_cast<int>(std::min<DWORD>(timeoutMs, 0x7FFFFFFF));
        ::poll(&wait, 1, ms);
    }
    std::deque<Pending> items;
    {
        std::lock_guard guard(m_lock);
        Drain(m_eventFd);
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

// ------------------------------------------------------------- the server

bool Instance::RegisterService(std::uintptr_t service)
{
    if (m_flags.load() & APPCMD_CLIENTONLY) {
        SetError(DMLERR_DLL_USAGE);
        return false;
    }
    StringRef name = StringRef::Share(service);
    if (!name) {
        SetError(DMLERR_INVALIDPARAMETER);
        return false;
    }
    const std::string text = name.Text();
    {
        std::lock_guard guard(m_lock);
        for (const auto& existing : m_services) {
            if (EqualNoCase(existing.name.Text(), text))
                return true;
        }
    }
    const std::string path = m_dir + "/" + SocketFileName(text, m_name);
    const std::string temp =
        m_dir + "/.tmp-" + m_name + "-" + std::to_string(GetRegistry().nextTemp.fetch_add(1));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path || temp.size() >= sizeof address.sun_path) {
        SetError(DMLERR_INVALIDPARAMETER);
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetError(DMLERR_SYS_ERROR);
        return false;
    }
    std::memcpy(address.sun_path, temp.c_str(), temp.size() + 1);
    ::unlink(temp.c_str());
    // Bound and listening under a temporary name first, then renamed: a
    // client never finds a socket that refuses it because it is not ready.
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(temp.c_str(), 0600) != 0 || ::listen(fd, 128) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::close(fd);
        ::unlink(temp.c_str());
        SetError(DMLERR_SYS_ERROR);
        return false;
    }
    std::weak_ptr<Instance> weak = weak_from_this();
    const std::uint64_t token = m_reactor->AddListener(fd, [weak, name](int client) {
        if (auto instance = weak.lock())
            instance->Accept(client, name);
        else
            ::close(client);
    });
    if (token == 0) {
        ::close(fd);
        ::unlink(path.c_str());
        SetError(DMLERR_SYS_ERROR);
        return false;
    }
    std::lock_guard guard(m_lock);
    m_services.push_back(Service{std::move(name), path, token});
    return true;
}

bool Instance::UnregisterService(std::uintptr_t service)
{
    std::string text;
    if (service != 0 && !StringTable::Get().Text(service, text)) {
        SetError(DMLERR_INVALIDPARAMETER);
        return false;
    }
    std::vector<Service> gone;
    {
        std::lock_guard guard(m_lock);
        for (auto it = m_services.begin(); it != m_services.end();) {
            if (service == 0 || EqualNoCase(it->name.Text(), text)) {
                gone.push_back(std::move(*it));
                it = m_services.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& entry : gone) {
        ::unlink(entry.path.c_str());
        if (m_reactor)
            m_reactor->RemoveListener(entry.token);
    }
    if (service != 0 && gone.empty()) {
        SetError(DMLERR_INVALIDPARAMETER);
        return false;
    }
    return true;
}

void Instance::Accept(int fd, const StringRef& service)
{
    if (m_dead) {
        ::close(fd);
        return;
    }
    auto conv = std::make_shared<Conversation>(NewConversationId(m_id), fd, true, weak_from_this());
    auto state = std::make_shared<ConvState>();
    state->conv = conv;
    state->service = service;
    AddState(state);
    if (!m_reactor->Add(conv))
        RemoveState(conv->Id());
}

void Instance::Refuse(const std::shared_ptr<ConvState>& state, UINT error)
{
    Frame reply;
    reply.kind = FrameKind::CONNECT_REPLY;
    reply.error = error;
    reply.instance = m_name;
    Send(state, reply);
    RemoveState(state->conv->Id());
    state->conv->CloseWhenFlushed();
}

void Instance::HandleConnect(const std::shared_ptr<ConvState>& state, const Frame& frame)
{
    const DWORD flags = m_flags.load();
    const bool same = frame.instance == m_name;
    const std::string serviceText = state->service.Text();
    if (frame.version != WIRE_VERSION || (flags & CBF_FAIL_CONNECTIONS) || (flags & APPCMD_CLIENTONLY) ||
        (same && (flags & CBF_FAIL_SELFCONNECTIONS)) ||
        (!frame.service.empty() && !EqualNoCase(frame.service, serviceText))) {
        Refuse(state, DMLERR_NO_CONV_ESTABLISHED);
        return;
    }
    CONVCONTEXT context;
    StringRef topic;
    if (frame.topic.empty() || frame.service.empty() || (frame.flags & CONNECT_WILD)) {
        StringRef asked = frame.topic.empty() ? StringRef() : StringRef::Make(frame.topic);
        const std::uintptr_t answer =
            reinterpret_cast<std::uintptr_t>(Call(XTYP_WILDCONNECT, 0, 0, asked.id(),
                                                  frame.service.empty() ? 0 : state->service.id(), 0,
                                                  reinterpret_cast<ULONG_PTR>(&context), same ? 1 : 0));
        if (auto data = DataTable::Get().Find(answer)) {
            const std::size_t pairs = data->bytes.size() / sizeof(HSZPAIR);
            for (std::size_t i = 0; i < pairs && !topic; ++i) {
                HSZPAIR pair;
                std::memcpy(&pair, data->bytes.data() + i * sizeof(HSZPAIR), sizeof pair);
                if (pair.hszSvc == nullptr && pair.hszTopic == nullptr)
                    break;
                topic = StringRef::Share(reinterpret_cast<std::uintptr_t>(pair.hszTopic));
            }
            if (!data->appOwned)
                DataTable::Get().Remove(answer);
        }
    } else {
        topic = StringRef::Make(frame.topic);
        if (topic && Call(XTYP_CONNECT, 0, 0, topic.id(), state->service.id(), 0,
                          reinterpret_cast<ULONG_PTR>(&context), same ? 1 : 0) == nullptr)
            topic = StringRef();
    }
    if (!topic || m_dead) {
        Refuse(state, DMLERR_NO_CONV_ESTABLISHED);
        return;
    }
    {
        std::lock_guard guard(m_lock);
        state->phase = ConvState::CONNECTED;
        state->topic = topic;
        state->partner = frame.instance;
        state->sameInstance = same;
    }
    Frame reply;
    reply.kind = FrameKind::CONNECT_REPLY;
    reply.instance = m_name;
    reply.service = serviceText;
    reply.topic = topic.Text();
    if (!Send(state, reply))
        return;
    if (!(flags & CBF_SKIP_CONNECT_CONFIRMS))
        Call(XTYP_CONNECT_CONFIRM, 0, state->conv->Id(), topic.id(), state->service.id(), 0, 0, same ? 1 : 0);
    MonitorConversation(*state, true);
}

void Instance::HandleTransact(const std::shared_ptr<ConvState>& state, const Frame& frame)
{
    const DWORD flags = m_flags.load();
    const std::uintptr_t conv = state->conv->Id();
    const UINT type = BaseType(frame.type);
    StringRef item = frame.item.empty() ? StringRef() : StringRef::Make(frame.item);
    Frame reply;
    reply.kind = FrameKind::REPLY;
    reply.id = frame.id;
    reply.format = frame.format;
    reply.error = DMLERR_NOTPROCESSED;
    const bool needsItem = type != XTYP_EXECUTE;
    if (needsItem && !item) {
        reply.error = DMLERR_INVALIDPARAMETER;
        Send(state, reply);
        return;
    }
    switch (type) {
    case XTYP_REQUEST: {
        if (flags & CBF_FAIL_REQUESTS)
            break;
        const auto answer = reinterpret_cast<std::uintptr_t>(
            Call(XTYP_REQUEST, frame.format, conv, state->topic.id(), item.id(), 0, 0, 0));
        if (auto data = DataTable::Get().Find(answer)) {
            if (data->bytes.size() <= MAX_DATA) {
                reply.error = 0;
                reply.status = DDE_FACK;
                reply.hasData = true;
                reply.data.assign(data->bytes.begin(), data->bytes.end());
                if (data->format != 0)
                    reply.format = data->format;
            }
            if (!data->appOwned)
                DataTable::Get().Remove(answer);
        }
        break;
    }
    case XTYP_ADVSTART: {
        if (flags & CBF_FAIL_ADVISES)
            break;
        if (Call(XTYP_ADVSTART, frame.format, conv, state->topic.id(), item.id(), 0, 0, 0) == nullptr || m_dead)
            break;
        Link link{item, frame.format, (frame.type & XTYPF_NODATA) != 0};
        {
            std::lock_guard guard(m_lock);
            auto& links = state->links;
            links.erase(std::remove_if(links.begin(), links.end(),
                                       [&](const Link& l) { return l.item.id() == item.id() && l.format == frame.format; }),
                        links.end());
            links.push_back(link);
            auto& entries = m_links[LinkKey{state->topic.id(), item.id()}];
            entries.erase(std::remove_if(entries.begin(), entries.end(),
                                         [&](const LinkEntry& e) { return e.state == state && e.format == frame.format; }),
                          entries.end());
            entries.push_back(LinkEntry{state, frame.format, link.noData});
        }
        reply.error = 0;
        reply.status = DDE_FACK;
        MonitorLink(*state, link, true);
        break;
    }
    case XTYP_ADVSTOP: {
        Link removed;
        bool found = false;
        {
            std::lock_guard guard(m_lock);
            auto& links = state->links;
            for (auto it = links.begin(); it != links.end(); ++it) {
                if (it->item.id() == item.id() && it->format == frame.format) {
                    removed = std::move(*it);
                    links.erase(it);
                    found = true;
                    break;
                }
            }
            if (found) {
                const LinkKey key{state->topic.id(), item.id()};
                auto& entries = m_links[key];
                entries.erase(std::remove_if(entries.begin(), entries.end(),
                                             [&](const LinkEntry& e) { return e.state == state && e.format == frame.format; }),
                              entries.end());
                if (entries.empty())
                    m_links.erase(key);
            }
        }
        if (!found)
            break;
        Call(XTYP_ADVSTOP, frame.format, conv, state->topic.id(), item.id(), 0, 0, 0);
        reply.error = 0;
        reply.status = DDE_FACK;
        MonitorLink(*state, removed, false);
        break;
    }
    case XTYP_POKE:
    case XTYP_EXECUTE: {
        if ((type == XTYP_POKE && (flags & CBF_FAIL_POKES)) || (type == XTYP_EXECUTE && (flags & CBF_FAIL_EXECUTES)))
            break;
        const std::uintptr_t data =
            CreateData(reinterpret_cast<const BYTE*>(frame.data.data()), static_cast<DWORD>(frame.data.size()), 0,
                       item.id(), frame.format, 0);
        const auto answer = reinterpret_cast<std::uintptr_t>(
            Call(type, type == XTYP_EXECUTE ? 0 : frame.format, conv, state->topic.id(), item.id(), data, 0, 0));
        DataTable::Get().Remove(data);
        reply.status = static_cast<std::uint32_t>(answer & (DDE_FACK | DDE_FBUSY));
        if (reply.status & DDE_FACK)
            reply.error = 0;
        else if (reply.status & DDE_FBUSY)
            reply.error = DMLERR_BUSY;
        break;
    }
    default:
        reply.error = DMLERR_INVALIDPARAMETER;
        break;
    }
    Send(state, reply);
}

bool Instance::PostAdvise(std::uintptr_t topic, std::uintptr_t item)
{
    if (!IsOwnerThread()) {
        SetError(DMLERR_DLL_USAGE);
        return false;
    }
    if ((topic != 0 && !StringTable::Get().Exists(topic)) || (item != 0 && !StringTable::Get().Exists(item))) {
        SetError(DMLERR_INVALIDPARAMETER);
        return false;
    }
    struct Target {
        LinkEntry entry;
        std::uintptr_t topic;
        std::uintptr_t item;
    };
    std::vector<Target> targets;
    {
        std::lock_guard guard(m_lock);
        if (topic != 0 && item != 0) {
            if (auto found = m_links.find(LinkKey{topic, item}); found != m_links.end()) {
                for (const auto& entry : found->second)
                    targets.push_back({entry, topic, item});
            }
        } else {
            for (const auto& [key, entries] : m_links) {
                if ((topic == 0 || key.topic == topic) && (item == 0 || key.item == item)) {
                    for (const auto& entry : entries)
                        targets.push_back({entry, key.topic, key.item});
                }
            }
        }
    }
    std::size_t remaining = targets.size();
    std::string itemText;
    std::uintptr_t itemTextOf = 0;
    std::string bytes;
    for (const auto& target : targets) {
        --remaining;
        if (m_dead)
            break;
        const auto& state = target.entry.state;
        if (state->removed)
            continue;
        if (itemTextOf != target.item) {
            itemText.clear();
            StringTable::Get().Text(target.item, itemText);
            itemTextOf = target.item;
        }
        Frame frame;
        frame.kind = FrameKind::ADVISE;
        frame.format = target.entry.format;
        frame.item = itemText;
        if (!target.entry.noData) {
            const auto answer = reinterpret_cast<std::uintptr_t>(
                Call(XTYP_ADVREQ, target.entry.format, state->conv->Id(), target.topic, target.item, 0,
                     std::min<std::size_t>(remaining, 0xFFFF), 0));
            // Handed over: freed here unless the application owns it.
            auto data = DataTable::Get().TakeUnlessAppOwned(answer);
            if (!data)
                continue;
            if (data->bytes.size() > MAX_DATA)
                continue;
            frame.hasData = true;
            frame.data.assign(data->bytes.begin(), data->bytes.end());
            if (data->format != 0)
                frame.format = data->format;
        }
        bytes.clear();
        if (EncodeFrame(frame, bytes))
            state->conv->Send(bytes, m_queueLimit.load());
    }
    return true;
}

// ------------------------------------------------------------- the client

std::uintptr_t Instance::Connect(std::uintptr_t service, std::uintptr_t topic)
{
    if (!IsOwnerThread()) {
        SetError(DMLERR_DLL_USAGE);
        return 0;
    }
    if (m_syncBusy) {
        SetError(DMLERR_REENTRANCY);
        return 0;
    }
    std::string serviceText;
    std::string topicText;
    if ((service != 0 && !StringTable::Get().Text(service, serviceText)) ||
        (topic != 0 && !StringTable::Get().Text(topic, topicText))) {
        SetError(DMLERR_INVALIDPARAMETER);
        return 0;
    }
    m_syncBusy = true;
    std::uintptr_t connected = 0;
    for (const auto& file : ListServiceFiles(m_dir, serviceText)) {
        if (m_dead)
            break;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (file.path.size() >= sizeof address.sun_path)
            continue;
        std::memcpy(address.sun_path, file.path.c_str(), file.path.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            break;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            const int error = errno;
            ::close(fd);
            // Nobody listens: the server ended without removing its socket.
            if (error == ECONNREFUSED)
                ::unlink(file.path.c_str());
            continue;
        }
        auto conv = std::make_shared<Conversation>(NewConversationId(m_id), fd, false, weak_from_this());
        auto state = std::make_shared<ConvState>();
        state->conv = conv;
        AddState(state);
        if (!m_reactor->Add(conv)) {
            RemoveState(conv->Id());
            continue;
        }
        Frame hello;
        hello.kind = FrameKind::CONNECT;
        hello.flags = (serviceText.empty() || topicText.empty()) ? CONNECT_WILD : 0;
        hello.instance = m_name;
        hello.service = serviceText;
        hello.topic = topicText;
        bool answered = Send(state, hello) && WaitUntil(
                                                  [&] {
                                                      std::lock_guard guard(m_lock);
                                                      return state->connectDone;
                                                  },
                                                  Clock::now() + CONNECT_TIMEOUT);
        Frame reply;
        {
            std::lock_guard guard(m_lock);
            answered = answered && !state->connectFailed && state->connectReply.error == 0;
            reply = state->connectReply;
        }
        StringRef replyService = answered ? StringRef::Make(reply.service) : StringRef();
        StringRef replyTopic = answered ? StringRef::Make(reply.topic) : StringRef();
        if (!answered || !replyService || !replyTopic) {
            RemoveState(conv->Id());
            conv->Shutdown(0);
            continue;
        }
        {
            std::lock_guard guard(m_lock);
            state->phase = ConvState::CONNECTED;
            state->service = std::move(replyService);
            state->topic = std::move(replyTopic);
            state->partner = reply.instance;
            state->sameInstance = reply.instance == m_name;
        }
        MonitorConversation(*state, true);
        connected = conv->Id();
        break;
    }
    m_syncBusy = false;
    if (connected == 0)
        SetError(DMLERR_NO_CONV_ESTABLISHED);
    return connected;
}

bool Instance::Disconnect(std::uintptr_t conv)
{
    auto state = RemoveState(conv);
    if (!state) {
        SetError(DMLERR_NO_CONV_ESTABLISHED);
        return false;
    }
    RemoveLinks(state);
    {
        std::lock_guard guard(m_lock);
        for (auto& [id, transaction] : state->transactions) {
            transaction.done = true;
            transaction.failed = true;
        }
    }
    state->conv->Shutdown(0);
    if (state->phase == ConvState::CONNECTED)
        MonitorConversation(*state, false);
    return true;
}

HDDEDATA Instance::Transact(std::uintptr_t conv, std::uintptr_t item, UINT format, UINT type, const BYTE* data,
                            DWORD size, DWORD timeout, LPDWORD result)
{
    if (result != nullptr)
        *result = 0;
    const UINT base = BaseType(type);
    if (base != XTYP_REQUEST && base != XTYP_ADVSTART && base != XTYP_ADVSTOP && base != XTYP_POKE &&
        base != XTYP_EXECUTE) {
        SetError(DMLERR_INVALIDPARAMETER);
        return nullptr;
    }
    auto state = FindState(conv);
    if (!state || state->conv->IsServer() || state->phase != ConvState::CONNECTED) {
        SetError(DMLERR_NO_CONV_ESTABLISHED);
        return nullptr;
    }
    StringRef itemRef;
    if (base != XTYP_EXECUTE) {
        itemRef = StringRef::Share(item);
        if (!itemRef) {
            SetError(DMLERR_INVALIDPARAMETER);
            return nullptr;
        }
    }
    Frame frame;
    frame.kind = FrameKind::TRANSACT;
    frame.type = type;
    frame.format = format;
    frame.item = itemRef.Text();
    if (base == XTYP_POKE || base == XTYP_EXECUTE) {
        if (size == 0xFFFFFFFF) {
            // The data comes as a data handle, which the transaction frees.
            const auto handle = reinterpret_cast<std::uintptr_t>(data);
            auto object = DataTable::Get().Find(handle);
            if (!object) {
                SetError(DMLERR_INVALIDPARAMETER);
                return nullptr;
            }
            frame.data.assign(object->bytes.begin(), object->bytes.end());
            DataTable::Get().Remove(handle);
        } else if (data != nullptr) {
            frame.data.assign(reinterpret_cast<const char*>(data), size);
        }
        frame.hasData = true;
        if (frame.data.size() > MAX_DATA) {
            SetError(DMLERR_MEMORY_ERROR);
            return nullptr;
        }
    }
    const bool async = timeout == TIMEOUT_ASYNC;
    if (!async) {
        if (!IsOwnerThread()) {
            SetError(DMLERR_DLL_USAGE);
            return nullptr;
        }
        if (m_syncBusy) {
            SetError(DMLERR_REENTRANCY);
            return nullptr;
        }
    }
    std::uint32_t id;
    {
        std::lock_guard guard(m_lock);
        id = ++state->nextTransaction;
        if (id == 0)
            id = ++state->nextTransaction;
        Transaction& transaction = state->transactions[id];
        transaction.type = type;
        transaction.format = format;
        transaction.item = itemRef;
        transaction.async = async;
    }
    frame.id = id;
    if (!Send(state, frame)) {
        std::lock_guard guard(m_lock);
        state->transactions.erase(id);
        SetError(DMLERR_NO_CONV_ESTABLISHED);
        return nullptr;
    }
    if (async) {
        if (result != nullptr)
            *result = id;
        return reinterpret_cast<HDDEDATA>(1);
    }
    m_syncBusy = true;
    WaitUntil(
        [&] {
            std::lock_guard guard(m_lock);
            auto found = state->transactions.find(id);
            return found == state->transactions.end() || found->second.done;
        },
        Clock::now() + std::chrono::milliseconds(timeout));
    m_syncBusy = false;
    Transaction done;
    bool finished = false;
    {
        std::lock_guard guard(m_lock);
        auto found = state->transactions.find(id);
        if (found != state->transactions.end()) {
            finished = found->second.done;
            done = std::move(found->second);
            state->transactions.erase(found);
        }
    }
    if (!finished) {
        SetError(TimeoutError(type));
        return nullptr;
    }
    if (done.failed) {
        SetError(DMLERR_NO_CONV_ESTABLISHED);
        return nullptr;
    }
    if (result != nullptr)
        *result = done.reply.status;
    if (done.reply.error != 0) {
        SetError(done.reply.error);
        return nullptr;
    }
    if (base == XTYP_REQUEST) {
        if (!done.reply.hasData) {
            SetError(DMLERR_NOTPROCESSED);
            return nullptr;
        }
        return reinterpret_cast<HDDEDATA>(CreateData(reinterpret_cast<const BYTE*>(done.reply.data.data()),
                                                     static_cast<DWORD>(done.reply.data.size()), 0, itemRef.id(),
                                                     done.reply.format, 0));
    }
    if (base == XTYP_ADVSTART || base == XTYP_ADVSTOP) {
        Link link{itemRef, format, (type & XTYPF_NODATA) != 0};
        {
            std::lock_guard guard(m_lock);
            auto& links = state->links;
            links.erase(std::remove_if(links.begin(), links.end(),
                                       [&](const Link& l) { return l.item.id() == itemRef.id() && l.format == format; }),
                        links.end());
            if (base == XTYP_ADVSTART)
                links.push_back(link);
        }
        MonitorLink(*state, link, base == XTYP_ADVSTART);
    }
    return reinterpret_cast<HDDEDATA>(1);
}

bool Instance::Abandon(std::uintptr_t conv, DWORD transaction)
{
    std::lock_guard guard(m_lock);
    bool any = false;
    for (auto& [id, state] : m_convs) {
        if (conv != 0 && id != conv)
            continue;
        for (auto it = state->transactions.begin(); it != state->transactions.end();) {
            if (it->second.async && (transaction == 0 || it->first == transaction)) {
                it = state->transactions.erase(it);
                any = true;
            } else {
                ++it;
            }
        }
    }
    if (!any) {
        m_lastError = DMLERR_UNFOUND_QUEUE_ID;
        return false;
    }
    return true;
}

void Instance::HandleAdvise(const std::shared_ptr<ConvState>& state, const Frame& frame)
{
    // Advises of one loop come again and again: its item's handle is kept.
    if (!state->adviseItem || state->adviseItemText != frame.item) {
        state->adviseItem = StringRef::Make(frame.item);
        state->adviseItemText = frame.item;
    }
    const StringRef& item = state->adviseItem;
    if (!item)
        return;
    std::uintptr_t data = 0;
    if (frame.hasData)
        data = CreateData(reinterpret_cast<const BYTE*>(frame.data.data()), static_cast<DWORD>(frame.data.size()), 0,
                          item.id(), frame.format, 0);
    Call(XTYP_ADVDATA, frame.format, state->conv->Id(), state->topic.id(), item.id(), data, 0, 0);
    if (data != 0)
        DataTable::Get().Remove(data);
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
    // Queued under the lock already held: one lock per frame on this path.
    conv->FrameTaken();
    Pending item;
    item.kind = Pending::FRAME;
    item.conv = conv->Id();
    item.state = found->second;
    item.frame = std::move(frame);
    const bool wasEmpty = m_pending.empty();
    m_pending.push_back(std::move(item));
    if (wasEmpty)
        Signal(m_eventFd);
}

void Instance::OnClosed(const std::shared_ptr<Conversation>& conv, UINT reason)
{
    std::vector<Pending> failures;
    {
        std::lock_guard guard(m_lock);
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

void Instance::AddState(const std::shared_ptr<ConvState>& state)
{
    std::lock_guard guard(m_lock);
    m_convs[state->conv->Id()] = state;
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

bool Instance::WaitUntil(const std::function<bool()>& done, Clock::time_point deadline)
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
        {
            std::lock_guard guard(registry.lock);
            for (const auto& [id, instance] : registry.instances) {
                // Instances whose call-back is running are not entered again.
                if (instance->m_owner == self && instance->m_dispatchDepth == 0) {
                    fds.push_back(pollfd{instance->m_eventFd, POLLIN, 0});
                    owned.push_back(instance);
                }
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        ::poll(fds.data(), fds.size(), static_cast<int>(std::clamp<long long>(left + 1, 1, 1000)));
        if (fds[0].revents != 0)
            Drain(m_replyFd);
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents != 0)
                owned[i - 1]->ProcessPending(0);
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
        std::lock_guard guard(registry.lock);
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
        std::lock_guard guard(registry.lock);
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
