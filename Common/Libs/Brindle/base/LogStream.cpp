#include "Brindle/base/LogStream.h"

#include "Brindle/base/Log.h"

#include <locale>

namespace Brindle {

log_stream lstr;

log_stream::log_stream() : m_record(CLogData::NoIdentity{})
{
    m_ostr.imbue(std::locale::classic());
}

log_stream::~log_stream() = default;

void log_stream::TakeIdentity()
{
    if (!m_identityTaken) {
        m_record.FillIdentity();
        m_identityTaken = true;
    }
}

CLogData& log_stream::GetLogData()
{
    CSystemLock lock;
    TakeIdentity();
    return m_record;
}

log_stream& log_stream::Log()
{
    CSystemLock lock;
    TakeIdentity();
    m_record.SetCounter(m_record.GetCounter() + 1);
    m_record.SetNow();
    m_record.SetText(m_ostr.str());
    // The next record starts clean even when a logger throws.
    struct Reset {
        log_stream& s;
        ~Reset()
        {
            s.m_record.SetSeverity(SEVERITY_INFORMATION);
            s.m_record.SetLastError(0);
            s.m_ostr.str(std::string());
            s.m_ostr.clear();
        }
    } reset{*this};
    CLog::Log(m_record);
    return *this;
}

} // namespace Brindle
