// CServiceEvents: where the service frame's events and failure texts go:
// the event log (one syslog line per event, source = the service name) and
// the library's log stream.
//
// Contract
// - Register makes the service an event source and opens the log on it; a
//   source that cannot be registered or opened leaves events unwritten
//   (the frame's results never depend on its log).
// - Write reports one event of the library's message table with up to three
//   inserts (null ones are left out, the rest filled from the first); false
//   when nothing was written.
// - LogText sends one text through the library's log stream.
//
// Thread-safety: every call may be made from any thread.
#pragma once

#include "Platform/WinTypes.h"

#include <memory>
#include <mutex>
#include <string>

namespace Brindle {

class CServiceEvents {
public:
    explicit CServiceEvents(std::string source);
    ~CServiceEvents();
    CServiceEvents(const CServiceEvents&) = delete;
    CServiceEvents& operator=(const CServiceEvents&) = delete;

    void Register();
    bool IsOpen() const;
    bool Write(WORD type, DWORD id, const char* text1, const char* text2, const char* text3);
    static void LogText(const std::string& text);

private:
    std::string m_source;
    mutable std::mutex m_lock;
    struct Log;
    std::unique_ptr<Log> m_log;
};

} // namespace Brindle
