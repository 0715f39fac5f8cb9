// A file read back by a test: whole, or line by line. A missing file reads
// as empty, which the test's own comparison then reports.
//
// Thread-safety: free functions, any thread.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testsupport {

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<std::string> FileLines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace testsupport
