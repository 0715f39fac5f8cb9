// Helpers shared by the base library's tests: files read back whole or by
// line, and a logger that keeps what the library log hands it.
#pragma once

#include "Brindle/base/Log.h"
#include "Brindle/base/Logger.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace basetest {

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline std::vector<std::string> FileLines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Keeps every record; registered as the library log for its lifetime.
struct KeepingLogger : Brindle::CLogger {
    KeepingLogger() { Brindle::CLog::RegisterLogger(this); }
    ~KeepingLogger() override { Brindle::CLog::RegisterLogger(nullptr); }
    void Log(const Brindle::CLogData& record) override { records.push_back(record); }
    std::vector<Brindle::CLogData> records;
};

} // namespace basetest
