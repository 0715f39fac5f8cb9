// CLogger, the logger interface, and the simple loggers: CSimpleLogger (the
// record line on standard output) and CMultiLogger (several loggers at once).
//
// Contract
// - CLogger::Log does nothing; every logger overrides it. A logger
//   registered with CLog is called under the system lock, one record at a
//   time, so its Log must not wait for a thread that needs that lock.
// - CSimpleLogger writes each record line to standard output and flushes it;
//   write failures are ignored.
// - CMultiLogger passes each record to every added logger, in the order
//   they were added. It does not own them: each must outlive its use here.
// - CBatchLogger: an optional second interface of a logger, for many
//   records in one call.
// - The other loggers: CFileLogger (FileLogger.h), CThreadLogger
//   (ThreadLogger.h); CSocketLogger, the record line to every TCP client of a
//   port, belongs with the overlapped socket framework and is declared there.
//
// Thread-safety: CSimpleLogger::Log may be called from any thread.
// CMultiLogger: RegisterLogger, copy and assignment while no record is being
// logged through it (under the system lock when it is registered with CLog).
#pragma once

#include "Brindle/base/LogData.h"

#include <vector>

namespace Brindle {

class CLogger {
public:
    CLogger() = default;
    CLogger(const CLogger&) = default;
    CLogger& operator=(const CLogger&) = default;
    virtual ~CLogger() = default;
    virtual void Log(const CLogData& /*record*/) {}
};

// A target that can take many records in one call: CThreadLogger hands such
// a target everything it took off its queue at once, in order, instead of
// one Log call per record, so a file sees one write for many lines. A
// separate interface keeps CLogger's own virtual operations as they are.
class CBatchLogger {
public:
    virtual ~CBatchLogger() = default;
    // The same as Log for each record in order; the records have reached
    // their output when it returns.
    virtual void LogBatch(const std::vector<CLogData>& records) = 0;
};

class CSimpleLogger : public CLogger {
public:
    void Log(const CLogData& record) override;
};

class CMultiLogger : public CLogger {
public:
    CMultiLogger() = default;
    CMultiLogger(const CMultiLogger&) = default;
    CMultiLogger& operator=(const CMultiLogger&) = default;

    // Appends a logger; null is ignored.
    void RegisterLogger(CLogger* logger);
    void Log(const CLogData& record) override;

    const std::vector<CLogger*>& GetLoggers() const { return m_loggers; }

private:
    std::vector<CLogger*> m_loggers;
};

} // namespace Brindle
