#include "Brindle/base/Logger.h"

#include <cstdio>

namespace Brindle {

void CSimpleLogger::Log(const CLogData& record)
{
    std::string line;
    line.reserve(64 + record.GetText().size());
    AppendRecordLine(line, record);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

void CMultiLogger::RegisterLogger(CLogger* logger)
{
    if (logger != nullptr)
        m_loggers.push_back(logger);
}

void CMultiLogger::Log(const CLogData& record)
{
    for (CLogger* logger : m_loggers)
        logger->Log(record);
}

} // namespace Brindle
