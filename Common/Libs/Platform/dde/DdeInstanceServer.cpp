// The server's side of an instance: registering a service (its socket file
// in the runtime folder), accepting and answering connects, transactions
// and advise loops.
#include "Platform/dde/DdeInstance.h"

#include "Platform/dde/DdeRuntimeDir.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace Platform::Dde {

namespace {

// Temporary socket names of this process never repeat: a service file is
// bound under one and renamed into place.
unsigned NextTempNumber()
{
    static std::atomic<unsigned> next{0};
    return next.fetch_add(1);
}

} // namespace

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
        m_dir + "/.tmp-" + m_name + "-" + std::to_string(NextTempNumber());
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
    auto conv = std::make_shared<Conversation>(NewConversationId(m_id), fd, true, weak_from_this(), m_readPoll);
    auto state = std::make_shared<ConvState>();
    state->conv = conv;
    state->service = service;
    if (!Register(state))
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

void Instance::AddLink(const std::shared_ptr<ConvState>& state, const Link& link)
{
    const StringRef& item = link.item;
    const UINT format = link.format;
    std::lock_guard guard(m_lock);
    auto& links = state->links;
    links.erase(std::remove_if(links.begin(), links.end(),
                               [&](const Link& l) { return l.item.id() == item.id() && l.format == format; }),
                links.end());
    links.push_back(link);
    auto& entries = m_links[LinkKey{state->topic.id(), item.id()}];
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const LinkEntry& e) { return e.state == state && e.format == format; }),
                  entries.end());
    entries.push_back(LinkEntry{state, format, link.noData});
}

bool Instance::TakeLink(const std::shared_ptr<ConvState>& state, const StringRef& item, UINT format, Link& removed)
{
    std::lock_guard guard(m_lock);
    auto& links = state->links;
    bool found = false;
    for (auto it = links.begin(); it != links.end(); ++it) {
        if (it->item.id() == item.id() && it->format == format) {
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
                                     [&](const LinkEntry& e) { return e.state == state && e.format == format; }),
                      entries.end());
        if (entries.empty())
            m_links.erase(key);
    }
    return found;
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
        AddLink(state, link);
        reply.error = 0;
        reply.status = DDE_FACK;
        MonitorLink(*state, link, true);
        break;
    }
    case XTYP_ADVSTOP: {
        Link removed;
        if (!TakeLink(state, item, frame.format, removed))
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
    // One frame and one buffer for every target: their room is reused.
    std::string bytes;
    Frame frame;
    frame.kind = FrameKind::ADVISE;
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
        frame.format = target.entry.format;
        frame.item = itemText;
        frame.hasData = false;
        frame.data.clear();
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

} // namespace Platform::Dde
