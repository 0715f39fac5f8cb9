// The client's side of an instance: connecting, transactions (synchronous
// and asynchronous), abandoning them, advises as they arrive, disconnecting.
#include "Platform/dde/DdeInstance.h"

#include "Platform/dde/DdeRuntimeDir.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace Platform::Dde {

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

UINT Instance::TimeoutError(UINT type)
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
        auto conv = std::make_shared<Conversation>(NewConversationId(m_id), fd, false, weak_from_this(), m_readPoll);
        auto state = std::make_shared<ConvState>();
        state->conv = conv;
        if (!Register(state)) {
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
    Frame frame;
    StringRef itemRef;
    if (!TransactFrame(base, item, data, size, frame, itemRef))
        return nullptr;
    frame.type = type;
    frame.format = format;
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
    const std::uint32_t id = StartTransaction(state, frame, itemRef, async);
    if (id == 0)
        return nullptr;
    if (async) {
        if (result != nullptr)
            *result = id;
        return reinterpret_cast<HDDEDATA>(1);
    }
    Transaction done;
    done.type = type;  // for the time-out error when the transaction is gone
    if (!AwaitTransaction(state, id, timeout, done))
        return nullptr;
    return FinishTransaction(*state, done, itemRef, result);
}

bool Instance::TransactFrame(UINT base, std::uintptr_t item, const BYTE* data, DWORD size, Frame& frame,
                             StringRef& itemRef)
{
    if (base != XTYP_EXECUTE) {
        itemRef = StringRef::Share(item);
        if (!itemRef) {
            SetError(DMLERR_INVALIDPARAMETER);
            return false;
        }
    }
    frame.kind = FrameKind::TRANSACT;
    frame.item = itemRef.Text();
    if (base != XTYP_POKE && base != XTYP_EXECUTE)
        return true;
    if (size == 0xFFFFFFFF) {
        // The data comes as a data handle, which the transaction frees.
        const auto handle = reinterpret_cast<std::uintptr_t>(data);
        auto object = DataTable::Get().Find(handle);
        if (!object) {
            SetError(DMLERR_INVALIDPARAMETER);
            return false;
        }
        frame.data.assign(object->bytes.begin(), object->bytes.end());
        DataTable::Get().Remove(handle);
    } else if (data != nullptr) {
        frame.data.assign(reinterpret_cast<const char*>(data), size);
    }
    frame.hasData = true;
    if (frame.data.size() > MAX_DATA) {
        SetError(DMLERR_MEMORY_ERROR);
        return false;
    }
    return true;
}

std::uint32_t Instance::StartTransaction(const std::shared_ptr<ConvState>& state, Frame& frame,
                                         const StringRef& itemRef, bool async)
{
    std::uint32_t id;
    {
        std::lock_guard guard(m_lock);
        // 0 is no transaction.
        id = ++state->nextTransaction;
        if (id == 0)
            id = ++state->nextTransaction;
        Transaction& transaction = state->transactions[id];
        transaction.type = frame.type;
        transaction.format = frame.format;
        transaction.item = itemRef;
        transaction.async = async;
    }
    frame.id = id;
    if (!Send(state, frame)) {
        std::lock_guard guard(m_lock);
        state->transactions.erase(id);
        SetError(DMLERR_NO_CONV_ESTABLISHED);
        return 0;
    }
    return id;
}

bool Instance::AwaitTransaction(const std::shared_ptr<ConvState>& state, std::uint32_t id, DWORD timeout,
                                Transaction& done)
{
    m_syncBusy = true;
    WaitUntil(
        [&] {
            std::lock_guard guard(m_lock);
            auto found = state->transactions.find(id);
            return found == state->transactions.end() || found->second.done;
        },
        Clock::now() + std::chrono::milliseconds(timeout));
    m_syncBusy = false;
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
        SetError(TimeoutError(done.type));
        return false;
    }
    if (done.failed) {
        SetError(DMLERR_NO_CONV_ESTABLISHED);
        return false;
    }
    return true;
}

HDDEDATA Instance::FinishTransaction(ConvState& state, Transaction& done, const StringRef& itemRef, LPDWORD result)
{
    const UINT base = BaseType(done.type);
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
        Link link{itemRef, done.format, (done.type & XTYPF_NODATA) != 0};
        {
            std::lock_guard guard(m_lock);
            auto& links = state.links;
            std::erase_if(links, [&](const Link& l) { return l.item.id() == itemRef.id() && l.format == done.format; });
            if (base == XTYP_ADVSTART)
                links.push_back(link);
        }
        MonitorLink(state, link, base == XTYP_ADVSTART);
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
    // The handle lives for the call only, while the loop's own reference
    // keeps the item: it takes none of its own (no shared count touched per
    // advise).
    std::uintptr_t data = 0;
    if (frame.hasData)
        data = CreateData(reinterpret_cast<const BYTE*>(frame.data.data()), static_cast<DWORD>(frame.data.size()), 0,
                          0, frame.format, 0);
    Call(XTYP_ADVDATA, frame.format, state->conv->Id(), state->topic.id(), item.id(), data, 0, 0);
    if (data != 0)
        DataTable::Get().Remove(data);
}

} // namespace Platform::Dde
