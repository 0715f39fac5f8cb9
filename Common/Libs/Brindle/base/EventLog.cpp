#include "Brindle/base/EventLog.h"

#include "Brindle/base/Exception.h"
#include "Platform/Registry.h"

#include <cstdlib>
#include <cstring>

#include <dlfcn.h>

namespace Brindle {

namespace {

struct MessageEntry {
    DWORD code;
    const char* text;
};

const MessageEntry MessageTable[] = {
    {1, "Service %1 has been installed.\r\n"},
    {2, "Service %1 has been uninstalled.\r\n"},
    {3, "Service %1 has been started.\r\n"},
    {4, "Service %1 has been stopped\r\n"},
    {5, "Service %1 was unable to start\r\n%2\r\n"},
    {6, "Service %1 exception\r\n%2\r\n"},
    {7, "Description: %1\r\nData: %2, %3\r\n"},
};

} // namespace

const char* EventMessageText(DWORD eventId)
{
    const DWORD code = eventId & 0xFFFF;
    for (const MessageEntry& entry : MessageTable)
        if (entry.code == code)
            return entry.text;
    return nullptr;
}

std::string FormatEventMessage(DWORD eventId, const char* text1, const char* text2, const char* text3)
{
    const char* inserts[3] = {text1, text2, text3};
    const char* pattern = EventMessageText(eventId);
    std::string out;
    if (pattern == nullptr) {
        out = "Event " + std::to_string(eventId);
        for (const char* insert : inserts)
            if (insert != nullptr)
                out.append(" ").append(insert);
        return out;
    }
    // Inserts are copied in one pass: a "%2" inside an insert stays as text.
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] >= '1' && p[1] <= '3') {
            const char* insert = inserts[p[1] - '1'];
            if (insert != nullptr)
                out += insert;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

CEventLog::CEventLog(const char* sourceName) : m_source(sourceName != nullptr ? sourceName : "")
{
    m_socket = std::make_unique<Platform::CSyslogSocket>();
    if (!m_socket->IsOpen())
        throw CException("Cannot create event log", static_cast<DWORD>(m_socket->OpenError()));
}

CEventLog::~CEventLog() = default;

int CEventLog::Log(WORD eventType, WORD /*category*/, DWORD eventId, const char* text1, const char* text2,
                   const char* text3)
{
    if (!m_socket || !m_socket->IsOpen())
        return 0;
    int severity = Platform::SYSLOG_SEVERITY_INFO;
    if (eventType == EVENTLOG_ERROR_TYPE)
        severity = Platform::SYSLOG_SEVERITY_ERROR;
    else if (eventType == EVENTLOG_WARNING_TYPE)
        severity = Platform::SYSLOG_SEVERITY_WARNING;
    // Callers fill the inserts from the first: a null one ends them.
    if (text1 == nullptr)
        text2 = nullptr;
    if (text2 == nullptr)
        text3 = nullptr;
    const std::string text = FormatEventMessage(eventId, text1, text2, text3);
    return m_socket->Send(Platform::SYSLOG_FACILITY_DAEMON, severity, m_source, text) ? 1 : 0;
}

int CEventLog::AddSource(const char* sourceName, DWORD categoryCount, const char* messageFile)
{
    if (sourceName == nullptr || messageFile == nullptr)
        return 0;
    const std::string path = std::string("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + sourceName;
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
        return 0;
    const auto setText = [key](const char* name, const char* value) {
        return RegSetValueExA(key, name, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(value),
                              static_cast<DWORD>(std::strlen(value) + 1)) == ERROR_SUCCESS;
    };
    const auto setNumber = [key](const char* name, DWORD value) {
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
               ERROR_SUCCESS;
    };
    bool ok = setText("EventMessageFile", messageFile) && setNumber("TypesSupported", 7);
    if (ok && categoryCount != 0)
        ok = setNumber("CategoryCount", categoryCount) && setText("CategoryMessageFile", messageFile);
    RegCloseKey(key);
    return ok ? 1 : 0;
}

std::string CEventLog::LibraryPath()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&EventMessageText), &info) != 0 && info.dli_fname != nullptr) {
        char resolved[4096];
        if (::realpath(info.dli_fname, resolved) != nullptr)
            return resolved;
        return info.dli_fname;
    }
    return "Brindle";
}

int CEventLog::AddSource(const char* sourceName)
{
    return AddSource(sourceName, 0, LibraryPath().c_str());
}

} // namespace Brindle
