#include "zph/ZPHController.h"

#include "Brindle/base/Exception.h"
#include "Brindle/base/RegSection.h"
#include "protocol/FieldIds.h"
#include "Platform/WinError.h"

namespace ZPH {

using namespace ZPHWire;

ZPHController* ZPHController::m_instance = nullptr;

namespace {
std::mutex g_instanceLock;
}

ZPHController::ZPHController() : m_pendingMark(ZPH_MAX_KEY + 1, false)
{
    std::lock_guard guard(g_instanceLock);
    if (m_instance != nullptr)
        throw Brindle::CException("ZPHController: a controller exists already", ERROR_ALREADY_EXISTS);
    m_instance = this;
}

ZPHController::~ZPHController()
{
    std::lock_guard guard(g_instanceLock);
    if (m_instance == this)
        m_instance = nullptr;
}

int ZPHController::SlotOf(unsigned key)
{
    int page = 0, line = 0;
    if (!ParseZPHKey(key, page, line))
        return -1;
    return (page - 1) * MAX_LINE + (line - 1);
}

int ZPHController::AddRef(unsigned key)
{
    const int slot = SlotOf(key);
    if (slot < 0)
        return 0;
    const int count = m_refs[slot].fetch_add(1) + 1;
    if (count == 1)
        RequestObject(key);
    return count;
}

int ZPHController::Release(unsigned key)
{
    const int slot = SlotOf(key);
    if (slot < 0)
        return 0;
    int count = m_refs[slot].load();
    // An unbalanced release must not drive the count below 0.
    while (count > 0 && !m_refs[slot].compare_exchange_weak(count, count - 1)) {
    }
    if (count <= 0)
        return 0;
    if (count == 1)
        ReleaseObject(key);
    return count - 1;
}

int ZPHController::RefCount(int page, int line) const
{
    const int slot = SlotOf(CreateZPHKey(page, line));
    return slot < 0 ? 0 : m_refs[slot].load();
}

void ZPHController::RequestObject(unsigned) {}
void ZPHController::ReleaseObject(unsigned) {}

bool ZPHController::LoadSettings(Brindle::CRegSection& section, const char*)
{
    if (!section.IsOpen())
        return false;
    std::string permissions;
    section.GetStr("Permissions", permissions, MAX_PAGE + 2, std::string());
    if (!SetPermissions(permissions))
        SetPermissions(std::string_view());
    return true;
}

bool ZPHController::SaveSettings(Brindle::CRegSection& section, const char*)
{
    return section.IsOpen() && section.SetStr("Permissions", GetPermissionText()) != 0;
}

void ZPHController::OnLoadUsersMessage(const ZPHMessage& msg)
{
    int value = 0;
    if (msg.GetInt(F_USER_LEVEL, value))
        m_userLevel = value;
    if (msg.GetInt(F_ORDER_ENTRY, value))
        m_orderEntry = value != 0;
}

void ZPHController::OnFeedSettings(const ZPHMessage& msg) { OnLoadUsersMessage(msg); }

void ZPHController::AddDispatch(unsigned key)
{
    if (key == 0 || key > ZPH_MAX_KEY)
        return;
    std::lock_guard guard(m_pendingLock);
    if (m_pendingMark[key])
        return;
    m_pendingMark[key] = true;
    m_pending.push_back(key);
}

void ZPHController::Dispatch()
{
    std::vector<unsigned> keys;
    {
        std::lock_guard guard(m_pendingLock);
        keys.swap(m_pending);
        for (unsigned key : keys)
            m_pendingMark[key] = false;
    }
    if (keys.empty())
        return;
    m_keyClients.ForEach([&](KeyClient* client, unsigned) {
        for (unsigned key : keys)
            client->OnKeyUpdate(key);
    });
}

bool ZPHController::Register(KeyClient* client) { return m_keyClients.Register(client); }
bool ZPHController::Unregister(KeyClient* client) { return m_keyClients.Unregister(client); }
bool ZPHController::Register(MsgClient* client, bool flag) { return m_msgClients.Register(client, flag ? 1 : 0); }
bool ZPHController::Unregister(MsgClient* client, bool flag) { return m_msgClients.Unregister(client, flag ? 1 : 0); }
bool ZPHController::Register(TimestampClient* client) { return m_timeClients.Register(client); }
bool ZPHController::Unregister(TimestampClient* client) { return m_timeClients.Unregister(client); }

bool ZPHController::GetPermission(int page) const
{
    if (page < 1 || page > MAX_PAGE)
        return false;
    std::lock_guard guard(m_permissionLock);
    return m_permissions.test(static_cast<std::size_t>(page));
}

bool ZPHController::SetPermissions(std::string_view text)
{
    if (text.size() > static_cast<std::size_t>(MAX_PAGE))
        return false;
    std::bitset<MAX_PAGE + 1> next;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '0' && text[i] != '1')
            return false;
        next.set(i + 1, text[i] == '1');
    }
    std::lock_guard guard(m_permissionLock);
    m_permissions = next;
    return true;
}

std::string ZPHController::GetPermissionText() const
{
    std::string text(static_cast<std::size_t>(MAX_PAGE), '0');
    std::lock_guard guard(m_permissionLock);
    for (int page = 1; page <= MAX_PAGE; ++page) {
        if (m_permissions.test(static_cast<std::size_t>(page)))
            text[static_cast<std::size_t>(page - 1)] = '1';
    }
    return text;
}

void ZPHController::Clear()
{
    std::vector<unsigned> gone;
    m_lineCache.Clear(&gone);
    for (unsigned key : gone)
        AddDispatch(key);
    Dispatch();
}

bool ZPHController::IsLineData(char type)
{
    switch (type) {
    case MSG_DATA: case MSG_REFRESH: case MSG_INSERT: case MSG_ERASE: case MSG_CLEAR:
        return true;
    default:
        return false;
    }
}

bool ZPHController::ApplyMessage(const ZPHMessage& msg)
{
    int number = 0;
    switch (msg.m_type) {
    case MSG_DATA: case MSG_REFRESH: case MSG_INSERT: case MSG_ERASE: case MSG_CLEAR: {
        std::vector<unsigned> changed;
        if (!m_lineCache.Apply(msg, changed))
            return false;
        for (unsigned key : changed)
            AddDispatch(key);
        return true;
    }
    case MSG_TITLE: {
        const char* title = msg.GetValue(F_TITLE);
        return m_lineCache.SetTitle(msg.m_page, title != nullptr ? title : "");
    }
    case MSG_PAGE_COUNT:
        return msg.GetInt(F_PAGE_COUNT, number) && m_lineCache.SetPageCount(msg.m_page, number);
    case MSG_PERMISSIONS: {
        const char* text = msg.GetValue(F_PERMISSIONS);
        return text != nullptr && SetPermissions(text);
    }
    case MSG_USER:
    case MSG_WELCOME: {
        for (int id : {F_USER_LEVEL, F_ORDER_ENTRY}) {
            if (msg.HasField(id) && !msg.GetInt(id, number))
                return false;
        }
        if (msg.m_type == MSG_USER)
            OnLoadUsersMessage(msg);
        else
            OnFeedSettings(msg);
        return true;
    }
    case MSG_TIME: {
        std::int64_t sent = 0;
        return !msg.HasField(F_SEND_TIME) || msg.GetInt64(F_SEND_TIME, sent);
    }
    case MSG_NOTICE:
        return msg.GetInt(F_NOTICE, number);
    default:
        // Kinds this side does not act on reach the message clients as they are.
        return msg.m_type > ' ' && msg.m_type < 0x7f;
    }
}

void ZPHController::DispatchMessage(ZPHMessage& msg)
{
    const unsigned flag = IsLineData(msg.m_type) ? 1 : 0;
    m_msgClients.ForEach([&](MsgClient* client, unsigned registered) { client->OnMessage(&msg, registered); },
                         [flag](unsigned registered) { return registered == flag; });
    Timestamp timestamp;
    if (msg.GetTimeStamp(timestamp))
        m_timeClients.ForEach([&](TimestampClient* client, unsigned) { client->OnTimestamp(timestamp); });
}

unsigned long ZPHController::GetClientFailures() const
{
    return m_keyClients.Failures() + m_msgClients.Failures() + m_timeClients.Failures();
}

} // namespace ZPH
