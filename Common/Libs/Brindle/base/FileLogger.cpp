#include "Brindle/base/FileLogger.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace Brindle {

namespace {

// Local midnight starting the day of `t`, and the next one.
void DayBounds(const CTimestamp& t, long* start, long* end)
{
    int year = 0, month = 0, day = 0;
    t.GetTimestamp(&year, &month, &day, nullptr, nullptr, nullptr);
    std::tm first{};
    first.tm_year = year - 1900;
    first.tm_mon = month - 1;
    first.tm_mday = day;
    first.tm_isdst = -1;
    std::tm next = first;
    next.tm_mday += 1;
    *start = static_cast<long>(std::mktime(&first));
    *end = static_cast<long>(std::mktime(&next));
    if (*start <= 0 || *end <= *start) {
        // No calendar for this time: compare days on every record instead.
        *start = *end = 0;
    }
}

} // namespace

CFileLogger::CFileLogger() : CFileLogger("LOG") {}

CFileLogger::CFileLogger(const std::string& baseName) : m_baseName(baseName), m_day(Now())
{
    DayBounds(m_day, &m_dayStart, &m_dayEnd);
}

CFileLogger::~CFileLogger()
{
    CloseFile();
}

std::string CFileLogger::FileNameFor(const CTimestamp& day) const
{
    return m_baseName + "_" + day.FormatYMD() + ".log";
}

void CFileLogger::SetBaseName(const std::string& baseName, bool truncate)
{
    m_baseName = baseName;
    OpenFile(Now(), truncate);
}

void CFileLogger::CloseFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_fileName.clear();
}

bool CFileLogger::OpenFile(const CTimestamp& day, bool truncate)
{
    CloseFile();
    const std::string name = FileNameFor(day);
    if (truncate)
        ::unlink(name.c_str());
    m_day = day;
    DayBounds(m_day, &m_dayStart, &m_dayEnd);
    const std::filesystem::path parent = std::filesystem::path(name).parent_path();
    if (!parent.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(parent, ec);
    }
    int fd;
    do {
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    m_fd = fd;
    m_fileName = name;
    return true;
}

void CFileLogger::CheckDay()
{
    const CTimestamp now = Now();
    const long t = now.GetTimestamp();
    const bool sameDay = m_dayEnd > m_dayStart ? (t >= m_dayStart && t < m_dayEnd) : now.SameDayAs(m_day);
    if (!sameDay || m_fd < 0)
        OpenFile(now, false);
}

void CFileLogger::WriteLine()
{
    const char* data = m_line.data();
    std::size_t left = m_line.size();
    while (m_fd >= 0 && left > 0) {
        const ssize_t written = ::write(m_fd, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    m_line.clear();
}

void CFileLogger::Log(const CLogData& record)
{
    CheckDay();
    if (m_fd < 0)
        return;
    m_line.clear();
    AppendRecordLine(m_line, record);
    WriteLine();
}

void CFileLogger::LogBatch(const std::vector<CLogData>& records)
{
    // Bounded writes, so a long queue never builds one huge text.
    constexpr std::size_t Chunk = 64 * 1024;
    CheckDay();
    m_line.clear();
    for (const CLogData& record : records) {
        AppendRecordLine(m_line, record);
        if (m_line.size() >= Chunk)
            WriteLine();
    }
    WriteLine();
}

} // namespace Brindle
