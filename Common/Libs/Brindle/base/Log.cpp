#include "Brindle/base/Log.h"

#include "Brindle/base/CritSec.h"
#include "Brindle/base/Logger.h"

namespace Brindle {

CLogger* CLog::m_pLogger = nullptr;
std::atomic<bool> CLog::m_verbose{false};
std::atomic<bool> CLog::m_logtrace{false};

void CLog::RegisterLogger(CLogger* logger)
{
    CSystemLock lock;
    m_pLogger = logger;
}

CLogger* CLog::GetLog()
{
    CSystemLock lock;
    return m_pLogger;
}

void CLog::Log(const CLogData& record)
{
    CSystemLock lock;
    if (m_pLogger != nullptr)
        m_pLogger->Log(record);
}

} // namespace Brindle
