// Feeds arbitrary service names, descriptions and executable paths to the
// unit file writer: whatever it accepts must give exactly the unit's fixed
// lines, with the description on its own line free of control characters
// and specifiers, and the executable path back whole in ExecStart.
#include "Platform/ServiceControl.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // name NUL description NUL path
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t first = input.find('\0');
    const std::size_t second = first == std::string::npos ? std::string::npos : input.find('\0', first + 1);
    const std::string name = input.substr(0, first);
    const std::string description = first == std::string::npos ? std::string() : input.substr(first + 1, second - first - 1);
    const std::string path = second == std::string::npos ? "/usr/bin/beat" : input.substr(second + 1);

    const bool validName = IsValidServiceName(name.c_str());
    const std::string text = ServiceUnitText(name.c_str(), description.c_str(), path);
    if (text.empty())
        return 0;
    if (!validName || path.empty() || path[0] != '/')
        std::abort(); // accepted what it must refuse

    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    const char* const fixed[] = {"[Unit]", nullptr, "", "[Service]", "Type=notify", "NotifyAccess=main", nullptr,
                                 "KillSignal=SIGTERM", "", "[Install]", "WantedBy=multi-user.target"};
    if (lines.size() != 11)
        std::abort(); // a line was added or lost
    for (std::size_t i = 0; i < 11; ++i) {
        if (fixed[i] != nullptr && lines[i] != fixed[i])
            std::abort();
    }
    const std::string& describe = lines[1];
    if (describe.rfind("Description=", 0) != 0 || describe.size() == 12 || describe.back() == '\\' ||
        describe.back() == ' ')
        std::abort();
    for (std::size_t i = 12; i < describe.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(describe[i]);
        if (c < 0x20 || c == 0x7F)
            std::abort();
        if (c == '%') {
            if (i + 1 >= describe.size() || describe[i + 1] != '%')
                std::abort(); // a specifier of the caller's
            ++i;
        }
    }
    std::string exec = "ExecStart=\"";
    for (char c : path) {
        if (c == '%')
            exec += '%';
        exec += c;
    }
    if (lines[6] != exec + "\"")
        std::abort();
    return 0;
}
