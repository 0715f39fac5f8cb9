// CEventLog: a holder of an event source that reports events, with the
// texts of the library's message table, to the system log.
//
// Contract
// - Each event is one syslog line (Platform/Syslog.h), facility daemon,
//   ident = the event source name. Its severity follows the event type:
//   error (1) 3, warning (2) 4, any other type 6 (information).
// - The text is the message-table text of the event id's code (its low 16
//   bits) with %1, %2, %3 replaced by the insertion texts (a missing one by
//   nothing); its line ends and any control bytes in the inserts become
//   single spaces, the trailing one is dropped. An id that is not in the
//   table gives "Event <id in decimal>" followed by the inserts.
// - The constructor throws CException "Cannot create event log" with the
//   system's code when no socket can be made. Log returns non-zero when the
//   event was sent, 0 otherwise (no system log listening is no error to the
//   caller beyond that result).
// - AddSource writes under HKEY_LOCAL_MACHINE, key
//   SYSTEM\CurrentControlSet\Services\EventLog\Application\<source>:
//   EventMessageFile (REG_EXPAND_SZ), TypesSupported (REG_DWORD 7) and, when
//   the category count is not 0, CategoryCount (REG_DWORD) and
//   CategoryMessageFile (REG_EXPAND_SZ); 1 when every step succeeded, else
//   0. The one-argument form names the library's own file as message file.
//
// Thread-safety: Log may be called from several threads at once on one
// object; AddSource from any thread.
#pragma once

#include "Platform/Syslog.h"
#include "Platform/WinTypes.h"

#include <memory>
#include <string>

namespace Brindle {

// Event types.
inline constexpr WORD EVENTLOG_SUCCESS = 0x0000;
inline constexpr WORD EVENTLOG_ERROR_TYPE = 0x0001;
inline constexpr WORD EVENTLOG_WARNING_TYPE = 0x0002;
inline constexpr WORD EVENTLOG_INFORMATION_TYPE = 0x0004;

// The message table's event ids: severity class in the top two bits, code
// in the low bits.
inline constexpr DWORD MSG_SERVICE_INSTALLED = 0x00000001;
inline constexpr DWORD MSG_SERVICE_UNINSTALLED = 0x80000002;
inline constexpr DWORD MSG_SERVICE_STARTED = 0x00000003;
inline constexpr DWORD MSG_SERVICE_STOPPED = 0x40000004;
inline constexpr DWORD MSG_SERVICE_START_FAILED = 0xC0000005;
inline constexpr DWORD MSG_SERVICE_EXCEPTION = 0xC0000006;
inline constexpr DWORD MSG_DESCRIPTION_DATA = 0xC0000007;

// The table's text of an event id (by its code), each ending with CR LF;
// null when the code has none.
const char* EventMessageText(DWORD eventId);
// The table's text with its inserts, before line ends become spaces.
std::string FormatEventMessage(DWORD eventId, const char* text1, const char* text2, const char* text3);

class CEventLog {
public:
    explicit CEventLog(const char* sourceName);
    ~CEventLog();
    CEventLog(const CEventLog&) = delete;
    CEventLog& operator=(const CEventLog&) = delete;

    int Log(WORD eventType, WORD category, DWORD eventId, const char* text1 = nullptr,
            const char* text2 = nullptr, const char* text3 = nullptr);

    const std::string& GetSourceName() const { return m_source; }

    static int AddSource(const char* sourceName, DWORD categoryCount, const char* messageFile);
    static int AddSource(const char* sourceName);
    // The full path of the library's own file.
    static std::string LibraryPath();

private:
    std::string m_source;
    std::unique_ptr<Platform::CSyslogSocket> m_socket;
};

} // namespace Brindle
