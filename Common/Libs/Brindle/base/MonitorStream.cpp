#include "Brindle/base/MonitorStream.h"

#include "Brindle/base/CritSec.h"
#include "Brindle/base/Identity.h"
#include "Brindle/base/RegSection.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace Brindle {

// Built without touching the registry or the identity: both are looked up
// on first use.
monitor_stream mstr;

namespace {

constexpr int kNameScratch = 260;
constexpr long kDefaultInterval = 60;

std::string SectionPath()
{
    return std::string("/Software/Halvern/") + GetLocalApplicationName();
}

// Every missing directory of `dir`.
void MakeDirectories(const std::string& dir)
{
    if (dir.empty())
        return;
    std::string path;
    std::size_t start = 0;
    while (start <= dir.size()) {
        const std::size_t cut = dir.find('/', start);
        path = dir.substr(0, cut);
        if (!path.empty())
            ::mkdir(path.c_str(), 0755);
        if (cut == std::string::npos)
            break;
        start = cut + 1;
    }
}

std::string FallbackDirectory()
{
    if (::geteuid() == 0)
        return "/var/log/brindle";
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/')
        return std::string(state) + "/brindle/monitor";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr && home[0] == '/' ? home : "/tmp") + "/.local/state/brindle/monitor";
}

// A stored name, with its directories made; empty when none is stored.
std::string StoredName(HKEY root)
{
    CRegSection section;
    if (!section.Open(root, SectionPath().c_str()))
        return {};
    std::string name;
    section.GetStr("Monitor Log File", name, kNameScratch, "");
    for (char& c : name)
        if (c == '\\')
            c = '/';
    if (!name.empty()) {
        const std::size_t slash = name.rfind('/');
        if (slash != std::string::npos)
            MakeDirectories(name.substr(0, slash));
    }
    return name;
}

} // namespace

monitor_stream::monitor_stream() = default;

monitor_stream::~monitor_stream() = default;

void monitor_stream::SetUp()
{
    if (m_setUp)
        return;
    m_setUp = true;
    m_nextHeartbeat.SetNow();
    m_fileName = FindFileName();
    if (!m_fileName.empty())
        m_enabled = true;
}

void monitor_stream::Reset()
{
    CSystemLock lock;
    m_setUp = false;
    m_enabled = false;
    m_interval = 0;
    m_fileName.clear();
    m_stream.str(std::string());
}

void monitor_stream::enable()
{
    CSystemLock lock;
    SetUp();
    m_enabled = true;
    m_fileName = FindFileName();
}

void monitor_stream::disable()
{
    CSystemLock lock;
    SetUp();
    m_enabled = false;
}

bool monitor_stream::enabled()
{
    CSystemLock lock;
    SetUp();
    return m_enabled;
}

std::string monitor_stream::GetFileName()
{
    CSystemLock lock;
    SetUp();
    return m_fileName;
}

monitor_stream& monitor_stream::Append(const std::string& text)
{
    CSystemLock lock;
    SetUp();
    if (m_enabled)
        m_stream << text;
    return *this;
}

monitor_stream& monitor_stream::operator<<(const std::string& text)
{
    return Append(text);
}

monitor_stream& monitor_stream::operator<<(const char* text)
{
    return Append(text != nullptr ? text : "");
}

monitor_stream& monitor_stream::operator<<(char c)
{
    return Append(std::string(1, c));
}

monitor_stream& monitor_stream::WriteLog()
{
    CSystemLock lock;
    try {
        SetUp();
        if (!m_enabled)
            return *this;
        {
            std::ofstream out(m_fileName, std::ios::app | std::ios::binary);
            if (out)
                out << CTimestamp().Format("%Y/%m/%d %H:%M:%S") << " - " << GetLocalApplicationName() << " - "
                    << m_stream.str() << '\n';
        }
        m_stream.str(std::string());
    } catch (...) {
        m_stream.str(std::string());
    }
    return *this;
}

bool monitor_stream::heartbeat(const CTimestamp& now)
{
    CSystemLock lock;
    SetUp();
    if (!m_enabled)
        return false;
    if (m_interval == 0) {
        m_interval = GetHeartbeatInterval();
        m_nextHeartbeat = now;
        m_nextHeartbeat += m_interval;
        return true;
    }
    if (!now.IsPast(m_nextHeartbeat))
        return false;
    m_nextHeartbeat = now;
    m_nextHeartbeat += m_interval - 1;
    return true;
}

long monitor_stream::GetHeartbeatInterval()
{
    const std::string path = SectionPath();
    long interval = 0;
    {
        CRegSection user;
        if (user.Open(HKEY_CURRENT_USER, path.c_str())) {
            user.GetLong("Monitor Heartbeat", interval, 0);
            if (interval > 0)
                return interval;
        }
    }
    CRegSection machine;
    if (machine.Open(HKEY_LOCAL_MACHINE, path.c_str())) {
        machine.GetLong("Monitor Heartbeat", interval, 0);
        if (interval > 0)
            return interval;
        machine.SetLong("Monitor Heartbeat", kDefaultInterval);
    }
    return kDefaultInterval;
}

std::string monitor_stream::FindFileName()
{
    std::string name = StoredName(HKEY_CURRENT_USER);
    if (!name.empty())
        return name;
    name = StoredName(HKEY_LOCAL_MACHINE);
    if (!name.empty())
        return name;
    if (!m_enabled)
        return {};
    const std::string dir = FallbackDirectory();
    MakeDirectories(dir);
    CRegSection machine;
    if (machine.Open(HKEY_LOCAL_MACHINE, SectionPath().c_str())) {
        name = dir + "/" + GetLocalApplicationName() + "_Monitor.Log";
        machine.SetStr("Monitor Log File", name);
        return name;
    }
    return dir + "/Monitor.Log";
}

void status_text::Write(monitor_stream& stream) const
{
    static const char* const openers[] = {"(Service Listen|", "(Service Open|",  "(Service Close|",
                                          "(Service Status|", "(Client Open|", "(Client Close|"};
    // One insertion: the status stays whole when other threads write too.
    if (m_type < 0 || m_type > STATUS_CLIENT_CLOSE)
        stream << std::string("unknown service status");
    else
        stream << std::string(openers[m_type]) + m_name + "|" + m_value + ")";
}

void status_text::Write(monitor_stream& stream, STATUS_TEXT which)
{
    const std::string tail = std::string(GetLocalVersion()) + "|" + GetLocalBuildDate() + ")";
    if (which == STATUS_APPLICATION_START)
        stream << "(Application Start|" + tail;
    else if (which == STATUS_APPLICATION_SHUTDOWN)
        stream << "(Application Shutdown|" + tail;
    else
        stream << std::string("unknown status text");
}

} // namespace Brindle
