#include "Brindle/service/ServiceEvents.h"

#include <cstdio>

#if __has_include("Brindle/base/EventLog.h")
#include "Brindle/base/EventLog.h"
#define BRINDLE_SERVICE_HAS_EVENT_LOG 1
#endif

namespace Brindle {

#ifdef BRINDLE_SERVICE_HAS_EVENT_LOG
struct CServiceEvents::Log {
    explicit Log(const std::string& source) : log(source.c_str()) {}
    CEventLog log;
};
#else
struct CServiceEvents::Log {
    explicit Log(const std::string&) {}
};
#endif

CServiceEvents::CServiceEvents(std::string source) : m_source(std::move(source)) {}

CServiceEvents::~CServiceEvents() = default;

void CServiceEvents::Register()
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_log)
        return;
#ifdef BRINDLE_SERVICE_HAS_EVENT_LOG
    CEventLog::AddSource(m_source.c_str());
#endif
    try {
        m_log = std::make_unique<Log>(m_source);
    } catch (const std::exception&) {
        // No event log: the service runs without one.
    }
}

bool CServiceEvents::IsOpen() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_log != nullptr;
}

bool CServiceEvents::Write(WORD type, DWORD id, const char* text1, const char* text2, const char* text3)
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_log)
        return false;
#ifdef BRINDLE_SERVICE_HAS_EVENT_LOG
    return m_log->log.Log(type, 0, id, text1, text2, text3) != 0;
#else
    (void)type, (void)id, (void)text1, (void)text2, (void)text3;
    return false;
#endif
}

void CServiceEvents::LogText(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
}

} // namespace Brindle
