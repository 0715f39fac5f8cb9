// CFileLogger: record lines to a daily file "<base>_<YYYYMMDD>.log".
//
// Contract
// - The constructor remembers today's local day and opens no file. The file
//   of the day is opened (for appending; created with the usual
//   permissions) by SetBaseName, and otherwise by the first record: records
//   are never lost for want of a file. The first record after local midnight
//   switches to the new day's file.
// - A base name whose directory does not exist gets it created, with any
//   missing parents.
// - Each record line is written in one write and reaches the file before
//   Log returns (no buffering in the process); LogBatch writes the lines of
//   many records together, all of them in the file when it returns. A file that cannot be opened
//   or written loses its records silently; the next record tries again.
// - OpenFile closes the open file, deletes the day's file first when
//   truncate is true, remembers the day and opens it.
// - The day's time comes from Now(); tests override it.
//
// Thread-safety: none of its own. Registered with CLog it runs under the
// system lock; fed by a CThreadLogger it runs on that logger's thread.
#pragma once

#include "Brindle/base/Logger.h"
#include "Brindle/base/Timestamp.h"

#include <string>

namespace Brindle {

class CFileLogger : public CLogger, public CBatchLogger {
public:
    CFileLogger();
    explicit CFileLogger(const std::string& baseName);
    ~CFileLogger() override;
    CFileLogger(const CFileLogger&) = delete;
    CFileLogger& operator=(const CFileLogger&) = delete;

    // Takes the base name and opens today's file.
    void SetBaseName(const std::string& baseName, bool truncate = false);
    void Log(const CLogData& record) override;
    // The lines of all records in as few writes as their size allows.
    void LogBatch(const std::vector<CLogData>& records) override;

    const std::string& GetBaseName() const { return m_baseName; }
    // The open file's name; empty while none is open.
    const std::string& GetFileName() const { return m_fileName; }
    // The file name for a day.
    std::string FileNameFor(const CTimestamp& day) const;

protected:
    bool OpenFile(const CTimestamp& day, bool truncate);
    virtual CTimestamp Now() const { return CTimestamp(); }

private:
    void CloseFile();
    // Opens today's file when the day changed or no file is open.
    void CheckDay();
    void WriteLine();

    std::string m_baseName;
    std::string m_fileName;
    int m_fd = -1;
    CTimestamp m_day;
    // The local day of m_day as [start, end) in seconds: a record's day is
    // checked without converting its time.
    long m_dayStart = 0;
    long m_dayEnd = 0;
    std::string m_line;
};

} // namespace Brindle
