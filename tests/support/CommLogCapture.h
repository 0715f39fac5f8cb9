// Captures the communication engine's log records for the duration of a
// test (one capture at a time, process-wide).
#pragma once

#include "Brindle/comm/CommLog.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace commtest {

struct LogRecord {
    int severity;
    std::string source;
    std::string text;
};

class CommLogCapture {
public:
    CommLogCapture()
    {
        {
            std::lock_guard<std::mutex> guard(Lock());
            Records().clear();
        }
        Brindle::CommLog::SetRecordSink(&Collect);
    }
    ~CommLogCapture() { Brindle::CommLog::SetRecordSink(nullptr); }
    CommLogCapture(const CommLogCapture&) = delete;
    CommLogCapture& operator=(const CommLogCapture&) = delete;

    std::vector<LogRecord> Take()
    {
        std::lock_guard<std::mutex> guard(Lock());
        return std::exchange(Records(), {});
    }
    // Records whose text starts with `prefix`.
    std::vector<LogRecord> Matching(const std::string& prefix)
    {
        std::vector<LogRecord> found;
        std::lock_guard<std::mutex> guard(Lock());
        for (const LogRecord& record : Records())
            if (record.text.rfind(prefix, 0) == 0)
                found.push_back(record);
        return found;
    }

private:
    static std::mutex& Lock()
    {
        static std::mutex lock;
        return lock;
    }
    static std::vector<LogRecord>& Records()
    {
        static std::vector<LogRecord> records;
        return records;
    }
    static void Collect(int severity, const char* source, const std::string& text)
    {
        std::lock_guard<std::mutex> guard(Lock());
        Records().push_back({severity, source, text});
    }
};

} // namespace commtest
