#include "Brindle/base/LogData.h"

#include "Brindle/base/Exception.h"
#include "Brindle/base/Identity.h"
#include "Brindle/base/Log.h"
#include "Brindle/base/TextUtil.h"

#include <charconv>

namespace Brindle {

const char* SeverityString(SEVERITY severity)
{
    switch (static_cast<int>(severity)) {
    case 0: return "I";
    case 1: return "W";
    case 2: return "E";
    case 3: return "D";
    default: return "?";
    }
}

const CRecordOps<CLogData> CLogData::OPS{
    CRecordOps<CLogData>::Bind<&CLogData::GetCounter, &CLogData::SetCounter>("C"),
    CRecordOps<CLogData>::Bind<&CLogData::GetTimestampValue, &CLogData::SetTimestampValue>("T"),
    CRecordOps<CLogData>::Bind<&CLogData::GetSeverityValue, &CLogData::SetSeverityValue>("S"),
    CRecordOps<CLogData>::Bind<&CLogData::GetSource, &CLogData::SetSource>("X"),
    CRecordOps<CLogData>::Bind<&CLogData::GetHostname, &CLogData::SetHostname>("H"),
    CRecordOps<CLogData>::Bind<&CLogData::GetApplication, &CLogData::SetApplication>("A"),
    CRecordOps<CLogData>::Bind<&CLogData::GetBatch, &CLogData::SetBatch>("B"),
    CRecordOps<CLogData>::Bind<&CLogData::GetLastError, &CLogData::SetLastError>("E"),
    CRecordOps<CLogData>::Bind<&CLogData::GetText, &CLogData::SetText>("0"),
};

CLogData::CLogData(NoIdentity) {}

CLogData::CLogData()
{
    FillIdentity();
}

CLogData::CLogData(SEVERITY severity, const std::string& source, const std::string& application, int batch,
                   int lastError, const CVar& text)
    : m_severity(severity), m_source(source), m_application(application), m_batch(batch), m_lastError(lastError),
      m_text(ConvertCtrlCharsToText(text.get_value()))
{
    FillIdentity();
}

CLogData::CLogData(SEVERITY severity, const std::string& source, const CVar& text, int batch)
    : m_severity(severity), m_source(source), m_batch(batch), m_text(ConvertCtrlCharsToText(text.get_value()))
{
    FillIdentity();
}

CLogData::CLogData(const std::exception& e, SEVERITY severity) : m_severity(severity)
{
    FillIdentity();
    SetException(CException(e, 0));
}

void CLogData::FillIdentity()
{
    if (m_source.empty())
        m_source = GetLocalIPAddress();
    if (m_application.empty())
        m_application = GetLocalApplicationName();
    if (m_hostname.empty())
        m_hostname = GetLocalHostname();
}

void CLogData::SetText(const std::string& text)
{
    m_text = ConvertCtrlCharsToText(text);
}

void CLogData::SetException(const CException& e)
{
    m_lastError = static_cast<int>(e.GetLastError());
    if (m_lastError == 0)
        SetText(e.what());
    else
        SetText(std::to_string(m_lastError) + " = " + CException::FormatLastError(e.GetLastError()));
}

namespace {

constexpr char Separator = '\x16';

template <typename N>
void AppendNumber(std::string& out, N value)
{
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
    out += Separator;
}

void AppendField(std::string& out, const std::string& text)
{
    out += text;
    out += Separator;
}

} // namespace

void AppendRecordLine(std::string& out, const CLogData& record)
{
    // Records come in bursts within one second: the local time of the last
    // one is kept per thread instead of converting it again.
    thread_local long cachedTime = 0;
    thread_local std::string cachedHMS;
    long time = record.GetTimestampValue();
    if (time != cachedTime || cachedHMS.empty()) {
        cachedHMS = record.GetTimestamp().FormatHMS();
        cachedTime = time;
    }
    AppendField(out, cachedHMS);
    if (CLog::Verbose()) {
        AppendNumber(out, time);
        AppendNumber(out, record.GetCounter());
        AppendField(out, record.GetApplication());
        AppendField(out, record.GetHostname());
    }
    AppendNumber(out, record.GetSeverityValue());
    AppendNumber(out, record.GetBatch());
    AppendField(out, record.GetSource());
    AppendNumber(out, record.GetLastError());
    AppendField(out, record.GetText());
    out += '\n';
}

std::ostream& operator<<(std::ostream& out, const CLogData& record)
{
    std::string line;
    line.reserve(64 + record.GetText().size());
    AppendRecordLine(line, record);
    return out.write(line.data(), static_cast<std::streamsize>(line.size()));
}

} // namespace Brindle
