// CLog: the process-wide logger registry. Library code hands every record to
// CLog::Log, which passes it to the one logger the application registered.
//
// Contract
// - No logger is registered at start: records are dropped.
// - RegisterLogger replaces the registered logger (null switches logging
//   off) under the same system lock that Log holds while it calls the
//   logger: once RegisterLogger has returned, no record reaches the logger it
//   replaced, so the application may destroy that logger at once. The library
//   never deletes a logger.
// - Log calls the registered logger's Log under the system lock; nothing is
//   thrown except what that logger throws.
// - Verbose adds the timestamp, counter, application and host name to every
//   record line; EnableLogTrace is stored and reported only.
//
// Thread-safety: every call may be made from any thread. A logger's Log must
// not wait for another thread that needs the system lock.
#pragma once

#include "Brindle/base/LogData.h"

#include <atomic>

namespace Brindle {

class CLogger;

class CLog {
public:
    CLog() = delete;

    static void RegisterLogger(CLogger* logger);
    static CLogger* GetLog();
    static void Log(const CLogData& record);

    static void Verbose(bool verbose) { m_verbose.store(verbose, std::memory_order_relaxed); }
    static bool Verbose() { return m_verbose.load(std::memory_order_relaxed); }
    static void EnableLogTrace(bool enable) { m_logtrace.store(enable, std::memory_order_relaxed); }
    static bool EnableLogTrace() { return m_logtrace.load(std::memory_order_relaxed); }

private:
    static CLogger* m_pLogger;
    static std::atomic<bool> m_verbose;
    static std::atomic<bool> m_logtrace;
};

} // namespace Brindle
