#include "zphsource/Controller.h"

#include "Brindle/base/RegSection.h"
#include "protocol/FieldIds.h"
#include "zphsource/SerialSource.h"
#include "zphsource/SocketSource.h"

#include <pwd.h>
#include <unistd.h>

namespace ZPH {

using namespace ZPHWire;

CController::CController()
{
    m_settings[ROLE_BACKUP].kind = SOURCE_DATABASE;
    SelectActive();
}

CController::~CController() { Shutdown(); }

void CController::Shutdown()
{
    std::array<ZPHSource*, 8> sources{};
    std::size_t count = 0;
    {
        std::lock_guard guard(m_sourceLock);
        for (auto& role : m_sources)
            for (auto& source : role)
                if (source)
                    sources[count++] = source.get();
    }
    for (std::size_t i = 0; i < count; ++i)
        sources[i]->Disconnect();
}

// ------------------------------------------------------------ call-backs

int CController::GetClientVersion() { return 0; }
void CController::OnFeedNotice(int) {}
void CController::OnSourceLog(const char*) {}
void CController::OnSourceLog(int, const char* text) { OnSourceLog(text); }
void CController::OnPermissionsLoaded() {}
void CController::OnLoginFailed(const char*) {}
void CController::OnPageTitle(int) {}
void CController::OnFeedState(FeedState) {}
void CController::OnWaitBegin() {}
void CController::OnWaitEnd() {}
bool CController::IsLineLogging() { return false; }
void CController::OnNotification(const char*) {}

const char* CController::GetUserName()
{
    std::call_once(m_namesRead, [this] {
        char buffer[1024];
        passwd entry{};
        passwd* found = nullptr;
        if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
            m_userName = std::string(found->pw_name).substr(0, 256);
        char host[257] = {};
        if (::gethostname(host, sizeof host - 1) == 0)
            m_hostName = host;
    });
    return m_userName.c_str();
}

const char* CController::GetHostName()
{
    GetUserName();
    return m_hostName.c_str();
}

// ----------------------------------------------------------- sources

std::unique_ptr<ZPHSource> CController::MakeSource(int role, int kind)
{
    switch (kind) {
    case SOURCE_SOCKET: return std::make_unique<CSocketSource>(*this, role);
    case SOURCE_SERIAL: return std::make_unique<CSerialSource>(*this, role);
    case SOURCE_DATABASE: return std::make_unique<CDatabaseSource>(*this, role);
    default: return nullptr;
    }
}

ZPHSource* CController::GetSource(int role, int kind)
{
    if ((role != ROLE_PRIMARY && role != ROLE_BACKUP) || kind < SOURCE_SOCKET || kind > SOURCE_DATABASE)
        return nullptr;
    std::lock_guard guard(m_sourceLock);
    auto& slot = m_sources[static_cast<std::size_t>(role)][static_cast<std::size_t>(kind)];
    if (!slot) {
        slot = MakeSource(role, kind);
        slot->Configure(m_settings[static_cast<std::size_t>(role)]);
    }
    return slot.get();
}

SourceSettings CController::GetSourceSettings(int role) const
{
    std::lock_guard guard(m_sourceLock);
    return m_settings[role == ROLE_BACKUP ? 1 : 0];
}

void CController::SetSourceSettings(int role, const SourceSettings& settings)
{
    if (role != ROLE_PRIMARY && role != ROLE_BACKUP)
        return;
    {
        std::lock_guard guard(m_sourceLock);
        m_settings[static_cast<std::size_t>(role)] = settings;
        for (auto& source : m_sources[static_cast<std::size_t>(role)])
            if (source)
                source->Configure(settings);
    }
    SelectActive();
}

void CController::SetFailover(int failover)
{
    m_failover = failover == 1 ? 1 : 0;
    SelectActive();
}

void CController::SelectActive()
{
    const int role = m_failover;
    int kind = 0;
    {
        std::lock_guard guard(m_sourceLock);
        kind = m_settings[static_cast<std::size_t>(role)].kind;
    }
    ZPHSource* next = GetSource(role, kind);
    if (next == nullptr)
        next = GetSource(role, SOURCE_DATABASE);
    ZPHSource* previous = m_active.exchange(next);
    // A source that is no longer the active one must not go on feeding.
    if (previous != nullptr && previous != next)
        previous->Disconnect();
}

bool CController::LoadFeedSettings(Brindle::CRegSection& section, const char* machine)
{
    if (!section.IsOpen())
        return false;
    const DatabaseDefaults defaults{m_defaultHost, m_defaultPort,
                                    m_defaultUser.empty() ? std::string(GetUserName()) : m_defaultUser};
    const SourceSettings primary = LoadSourceSettings(section, machine, defaults);
    Brindle::CRegSection backupSection(section, "Backup");
    const SourceSettings backup = LoadSourceSettings(backupSection, machine, defaults);
    int failover = 0;
    section.GetInt("Failover", failover, 0);
    {
        std::lock_guard guard(m_sourceLock);
        m_settings[ROLE_PRIMARY] = primary;
        m_settings[ROLE_BACKUP] = backup;
        for (int role : {ROLE_PRIMARY, ROLE_BACKUP})
            for (auto& source : m_sources[static_cast<std::size_t>(role)])
                if (source)
                    source->Configure(m_settings[static_cast<std::size_t>(role)]);
    }
    m_failover = failover == 1 ? 1 : 0;
    SelectActive();
    return true;
}

bool CController::SaveFeedSettings(Brindle::CRegSection& section, const char* machine)
{
    if (!section.IsOpen())
        return false;
    const SourceSettings primary = GetSourceSettings(ROLE_PRIMARY);
    const SourceSettings backup = GetSourceSettings(ROLE_BACKUP);
    bool ok = SaveSourceSettings(section, machine, primary);
    ok = section.SetInt("Failover", m_failover) != 0 && ok;
    Brindle::CRegSection backupSection(section, "Backup");
    ok = SaveSourceSettings(backupSection, machine, backup) && ok;
    return ok;
}

// ------------------------------------------------------ from the sources

bool CController::HandleInbound(ZPHSource& source, ZPHMessage& msg)
{
    if (!IsActive(source))
        return true;  // a source on its way out: its data is not the feed's
    if (!ApplyMessage(msg))
        return false;
    switch (msg.m_type) {
    case MSG_TITLE:
        OnPageTitle(msg.m_page);
        break;
    case MSG_PERMISSIONS:
        OnPermissionsLoaded();
        break;
    case MSG_NOTIFICATION: {
        const char* text = msg.GetValue(F_NOTIFICATION);
        OnNotification(text != nullptr ? text : "");
        break;
    }
    case MSG_NOTICE: {
        int value = 0;
        msg.GetInt(F_NOTICE, value);
        OnFeedNotice(value);
        break;
    }
    default:
        if (IsLineData(msg.m_type) && IsLineLogging()) {
            const std::string text = std::string("Line ") + msg.m_type + " page " + std::to_string(msg.m_page) +
                                     " line " + std::to_string(msg.m_line) + ", " +
                                     std::to_string(msg.GetFieldCount()) + " fields";
            OnSourceLog(text.c_str());
        }
        break;
    }
    DispatchMessage(msg);
    return true;
}

void CController::SourceLog(ZPHSource& source, const char* text)
{
    if (IsActive(source))
        OnSourceLog(text);
}

void CController::SourceError(ZPHSource& source, int code, const char* text)
{
    if (IsActive(source))
        OnSourceLog(code, text);
}

void CController::SourceFeedState(ZPHSource& source, int state)
{
    if (IsActive(source))
        OnFeedState(FeedStateFromWire(state));
}

void CController::SourceWaitBegin(ZPHSource& source)
{
    if (!IsActive(source))
        return;
    m_waiting = &source;
    OnWaitBegin();
}

void CController::SourceWaitEnd(ZPHSource& source)
{
    // Ends a wait the client was told of, even when the source has stopped
    // being the active one meanwhile.
    ZPHSource* expected = &source;
    if (m_waiting.compare_exchange_strong(expected, nullptr))
        OnWaitEnd();
}

void CController::SourceLoginFailed(ZPHSource& source, const char* reason)
{
    if (IsActive(source))
        OnLoginFailed(reason);
}

} // namespace ZPH
