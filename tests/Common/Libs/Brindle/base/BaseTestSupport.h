// Helpers shared by the base library's tests: files read back whole or by
// line, and a logger that keeps what the library log hands it.
#pragma once

#include "Brindle/base/Log.h"
#include "Brindle/base/Logger.h"
#include "FileText.h"

#include <vector>

namespace basetest {

using testsupport::FileLines;
using testsupport::ReadFile;

// Keeps every record; registered as the library log for its lifetime.
struct KeepingLogger : Brindle::CLogger {
    KeepingLogger() { Brindle::CLog::RegisterLogger(this); }
    ~KeepingLogger() override { Brindle::CLog::RegisterLogger(nullptr); }
    void Log(const Brindle::CLogData& record) override { records.push_back(record); }
    std::vector<Brindle::CLogData> records;
};

} // namespace basetest
