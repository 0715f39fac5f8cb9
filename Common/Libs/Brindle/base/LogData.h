// SEVERITY, SeverityString and CLogData: the one record type of the
// library's logging.
//
// Contract
// - A record carries, in this order: timestamp (creation time unless set),
//   counter (0 unless a stream or a network logger numbers it), severity,
//   source (the reporting component; an empty source given to a constructor
//   becomes the machine's IP address), application (the application name
//   unless given), host name, batch (a caller's number), last error (a
//   system error code) and text.
// - The text is always stored through ConvertCtrlCharsToText: control
//   characters become "<CR>", "<LF>" ..., bytes 128-255 are dropped. Only
//   AddText appends unconverted.
// - SetException: last error = the exception's code; code 0 gives its what()
//   as text, any other code "<code> = <system message>".
// - The record line (operator<< onto a stream, AppendRecordLine onto a
//   text): every field followed by the byte 0x16, then a line feed:
//     hh:mm:ss (local) [timestamp counter application host, when
//     CLog::Verbose()] severity batch source last-error text
//   Numbers are decimal and never follow the process locale.
//
// Thread-safety: a record is a plain value; one thread changes a record at a
// time. The constructors read the identity texts under the system lock.
#pragma once

#include "Brindle/base/Timestamp.h"
#include "Brindle/comm/RecordOps.h"
#include "Brindle/comm/Var.h"

#include <exception>
#include <ostream>
#include <string>

namespace Brindle {

class CException;

// A signed number: 0-3 are the application's severities, negative values the
// library's own failures.
enum SEVERITY : int {
    SEVERITY_INFORMATION = 0,
    SEVERITY_WARNING = 1,
    SEVERITY_ERROR = 2,
    SEVERITY_DEBUG = 3,
    // Errors of the communication layers.
    SEVERITY_COMM_ERROR = -1,
    // A logger thread whose target failed.
    SEVERITY_LOGGER_FAILED = -2,
};

// "I", "W", "E", "D" for 0-3, "?" for every other value.
const char* SeverityString(SEVERITY severity);

class CLogData {
public:
    // The record id of log-service messages.
    static constexpr const char* ID = "Log";
    // Binds the fields to message values: C counter, T timestamp, S severity,
    // X source, H host name, A application, B batch, E last error, 0 text.
    static const CRecordOps<CLogData> OPS;

    // Now, counter 0, severity 0, source = IP address, application, host
    // name, batch 0, last error 0, empty text.
    CLogData();
    CLogData(SEVERITY severity, const std::string& source, const std::string& application, int batch,
             int lastError, const CVar& text);
    CLogData(SEVERITY severity, const std::string& source, const CVar& text, int batch = 0);
    // Defaults as CLogData(), then SetException(CException(e, 0)).
    CLogData(const std::exception& e, SEVERITY severity);
    CLogData(const CLogData&) = default;
    CLogData(CLogData&&) noexcept = default;
    CLogData& operator=(const CLogData&) = default;
    CLogData& operator=(CLogData&&) noexcept = default;
    ~CLogData() = default;

    const CTimestamp& GetTimestamp() const { return m_timestamp; }
    void SetTimestamp(const CTimestamp& timestamp) { m_timestamp = timestamp; }
    long GetTimestampValue() const { return m_timestamp.GetTimestamp(); }
    void SetTimestampValue(long value) { m_timestamp.SetTimestamp(value); }
    void SetNow() { m_timestamp.SetNow(); }

    int GetCounter() const { return m_counter; }
    void SetCounter(int counter) { m_counter = counter; }

    SEVERITY GetSeverity() const { return m_severity; }
    void SetSeverity(SEVERITY severity) { m_severity = severity; }
    int GetSeverityValue() const { return m_severity; }
    void SetSeverityValue(int severity) { m_severity = static_cast<SEVERITY>(severity); }

    const std::string& GetSource() const { return m_source; }
    void SetSource(const std::string& source) { m_source = source; }
    const std::string& GetApplication() const { return m_application; }
    void SetApplication(const std::string& application) { m_application = application; }
    const std::string& GetHostname() const { return m_hostname; }
    void SetHostname(const std::string& hostname) { m_hostname = hostname; }

    int GetBatch() const { return m_batch; }
    void SetBatch(int batch) { m_batch = batch; }
    int GetLastError() const { return m_lastError; }
    void SetLastError(int lastError) { m_lastError = lastError; }

    const std::string& GetText() const { return m_text; }
    // Stores the text with its control characters named.
    void SetText(const std::string& text);
    // Appends as it comes.
    void AddText(const std::string& text) { m_text += text; }

    void SetException(const CException& e);

private:
    friend class log_stream;
    // A record whose identity fields stay empty until FillIdentity: made
    // while the library loads, when no name may be looked up yet.
    struct NoIdentity {};
    explicit CLogData(NoIdentity);
    // Empty source, application and host name take the machine's texts.
    void FillIdentity();

    CTimestamp m_timestamp;
    int m_counter = 0;
    SEVERITY m_severity = SEVERITY_INFORMATION;
    std::string m_source;
    std::string m_application;
    std::string m_hostname;
    int m_batch = 0;
    int m_lastError = 0;
    std::string m_text;
};

// Appends the record line to `out`.
void AppendRecordLine(std::string& out, const CLogData& record);
std::ostream& operator<<(std::ostream& out, const CLogData& record);

} // namespace Brindle
