#include "core/DDEServer.h"

#include "core/DdeItems.h"

#include "Brindle/base/Exception.h"
#include "core/FeedLibrary.h"
#include "zph/ZPHController.h"
#include "zph/ZPHKey.h"

#include <cerrno>

namespace mavo {

namespace {

constexpr int kFullViewLevel = 999;

} // namespace

std::atomic<CDDEServer*> CDDEServer::s_running{nullptr};

CDDEServer::CDDEServer(ZPHController& controller, LogFn log, std::function<void()> wake)
    : m_controller(controller), m_log(std::move(log)), m_updates(std::move(wake))
{
}

CDDEServer::~CDDEServer()
{
    Stop();
}

void CDDEServer::Start()
{
    if (IsRunning())
        return;
    CDDEServer* none = nullptr;
    if (!s_running.compare_exchange_strong(none, this))
        throw Brindle::CException("DDEServer instantiated", EEXIST);
    DWORD inst = 0;
    if (DdeInitialize(&inst, &CDDEServer::CALLBACK_Transaction, APPCLASS_STANDARD | CBF_FAIL_SELFCONNECTIONS, 0) !=
        DMLERR_NO_ERROR) {
        s_running = nullptr;
        throw Brindle::CException("Cannot initialize DDE", EIO);
    }
    m_inst = inst;
    m_service = DdeCreateStringHandle(m_inst, kServiceName, CP_WINANSI);
    if (m_service == nullptr || DdeNameService(m_inst, m_service, nullptr, DNS_REGISTER) == nullptr) {
        DdeUninitialize(m_inst);
        m_inst = 0;
        m_service = nullptr;
        s_running = nullptr;
        throw Brindle::CException("Cannot initialize DDE", EIO);
    }
    Log(std::string("DDE Server Initialized, servername = ") + kServiceName);
    m_controller.Register(this, true);
    m_controller.Register(this, false);
    m_registered = true;
}

void CDDEServer::Stop()
{
    if (m_registered) {
        m_controller.Unregister(this, true);
        m_controller.Unregister(this, false);
        m_registered = false;
    }
    if (!IsRunning())
        return;
    for (const auto& [text, handle] : m_handles)
        DdeFreeStringHandle(m_inst, handle);
    m_handles.clear();
    DdeNameService(m_inst, m_service, nullptr, DNS_UNREGISTER);
    DdeFreeStringHandle(m_inst, m_service);
    m_service = nullptr;
    DdeUninitialize(m_inst);
    m_inst = 0;
    m_updates.Take();
    s_running = nullptr;
}

int CDDEServer::EventFd() const
{
    return IsRunning() ? DdeGetEventFd(m_inst) : -1;
}

void CDDEServer::ProcessDde()
{
    if (IsRunning())
        DdeProcessPending(m_inst, 0);
}

void CDDEServer::ProcessUpdates()
{
    const auto updates = m_updates.Take();
    if (!IsRunning())
        return;
    for (const auto& [key, field] : updates) {
        if (!IsRunning())
            return;
        if (key == 0 && field == 0) {
            PostAdvise(kDdeAppTopic, kDdeTimestampItem);
            PostAdvise(kDdeAppTopic, kDdePacketsItem);
            continue;
        }
        const DdeItem* item = FindDdeItemByField(field);
        int page = 0;
        int line = 0;
        if (item == nullptr || !ParseZPHKey(key, page, line))
            continue;
        m_updates.MarkAsked(page);
        PostAdvise(MakeDdeTopic(key), item->name);
    }
}

void CDDEServer::PostAdvise(const std::string& topic, const std::string& item)
{
    DdePostAdvise(m_inst, Handle(topic), Handle(item));
    if (++m_advisePosts % 1000 == 0)
        Log("DDE Update #" + std::to_string(m_advisePosts));
}

bool CDDEServer::GetValue(const std::string& topic, const std::string& item, std::string& value)
{
    if (topic == kDdeAppTopic) {
        const Timestamp time = m_updates.GetFeedTime();
        std::string text;
        if (DdeNameEquals(item, kDdeTimestampItem))
            text = time.GetFeedTime();
        else if (DdeNameEquals(item, kDdePacketsItem))
            text = std::to_string(time.GetPackets());
        else
            return false;
        value = text.empty() ? std::string(" ") : text;
        return true;
    }
    unsigned key = 0;
    const DdeItem* found = FindDdeItem(item);
    if (!ParseDdeTopic(topic, key) || found == nullptr)
        return false;
    LineRef line = m_controller.GetLineCache().GetForRead(key);
    m_updates.MarkAsked(static_cast<int>(key / 100));
    if (!line)
        return false;
    return DdeLineValue(*line, found->field, m_controller.GetUserLevel() == kFullViewLevel, value);
}

void CDDEServer::OnMessage(ZPHMessage* msg, unsigned /*flag*/)
{
    if (msg != nullptr)
        m_updates.OnMessage(*msg);
}

HDDEDATA CDDEServer::CALLBACK_Transaction(UINT type, UINT format, HCONV, HSZ hsz1, HSZ hsz2, HDDEDATA,
                                          ULONG_PTR data1, ULONG_PTR data2)
{
    CDDEServer* server = s_running.load();
    if (server == nullptr || !server->IsRunning())
        return nullptr;
    return server->OnTransaction(type, format, hsz1, hsz2, data1, data2);
}

HDDEDATA CDDEServer::OnTransaction(UINT type, UINT format, HSZ hsz1, HSZ hsz2, ULONG_PTR data1, ULONG_PTR data2)
{
    if (++m_callbacks % 1000 == 0)
        Log("DDE Callback #" + std::to_string(m_callbacks));
    switch (type) {
    case XTYP_CONNECT:
        return !Text(hsz1).empty() && !Text(hsz2).empty() ? reinterpret_cast<HDDEDATA>(TRUE) : nullptr;
    case XTYP_CONNECT_CONFIRM:
    case XTYP_ADVSTOP:
        return nullptr;
    case XTYP_ADVSTART:
        return format == CF_TEXT ? reinterpret_cast<HDDEDATA>(TRUE) : nullptr;
    case XTYP_REQUEST:
    case XTYP_ADVREQ:
        return ValueData(hsz1, hsz2);
    case XTYP_POKE:
        Log("DDE Poke " + Text(hsz1) + "!" + Text(hsz2));
        return reinterpret_cast<HDDEDATA>(static_cast<std::uintptr_t>(DDE_FNOTPROCESSED));
    case XTYP_EXECUTE:
        Log("DDE Execute not processed");
        return reinterpret_cast<HDDEDATA>(static_cast<std::uintptr_t>(DDE_FNOTPROCESSED));
    case XTYP_ADVDATA:
        Log("DDE AdvData not processed");
        return reinterpret_cast<HDDEDATA>(static_cast<std::uintptr_t>(DDE_FNOTPROCESSED));
    case XTYP_WILDCONNECT:
        Log("DDE Wild Connect not processed");
        return nullptr;
    case XTYP_XACT_COMPLETE:
        Log("DDE XactComplete not processed");
        return nullptr;
    case XTYP_ERROR:
        Log("DDE Error " + std::to_string(static_cast<int>(data1 & 0xFFFF)));
        return nullptr;
    case XTYP_REGISTER:
        Log("DDE Register base service " + Text(hsz1) + " instance service " + Text(hsz2));
        return nullptr;
    case XTYP_UNREGISTER:
        Log("DDE Unregister base service " + Text(hsz1) + " instance service " + Text(hsz2));
        return nullptr;
    case XTYP_MONITOR:
        Log("DDE Monitor event " + std::to_string(static_cast<long long>(data2)));
        return nullptr;
    default:
        return nullptr;
    }
}

HDDEDATA CDDEServer::ValueData(HSZ topic, HSZ item)
{
    std::string value;
    if (!GetValue(Text(topic), Text(item), value))
        return nullptr;
    return DdeCreateDataHandle(m_inst, reinterpret_cast<LPBYTE>(value.data()), static_cast<DWORD>(value.size() + 1), 0,
                               item, CF_TEXT, 0);
}

std::string CDDEServer::Text(HSZ hsz) const
{
    char buffer[256] = {};
    if (hsz == nullptr || DdeQueryString(m_inst, hsz, buffer, sizeof buffer, CP_WINANSI) == 0)
        return {};
    return buffer;
}

HSZ CDDEServer::Handle(const std::string& text)
{
    auto found = m_handles.find(text);
    if (found != m_handles.end())
        return found->second;
    HSZ handle = DdeCreateStringHandle(m_inst, text.c_str(), CP_WINANSI);
    if (handle != nullptr)
        m_handles.emplace(text, handle);
    return handle;
}

void CDDEServer::Log(const std::string& text)
{
    if (m_log)
        m_log(text);
}

} // namespace mavo
