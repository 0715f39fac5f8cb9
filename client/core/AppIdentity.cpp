#include "core/AppIdentity.h"

#include <cstdint>
#include <fstream>
#include <unistd.h>

namespace mavo {

namespace {

int LeadingNumber(std::string_view text, std::size_t maxDigits)
{
    int value = 0;
    std::size_t digits = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || digits == maxDigits)
            break;
        value = value * 10 + (c - '0');
        ++digits;
    }
    return value;
}

std::string ReadFirstLine(const char* path)
{
    std::ifstream in(path);
    std::string line;
    if (in)
        std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t'))
        line.pop_back();
    return line;
}

} // namespace

int VersionNumber(std::string_view version)
{
    const std::size_t dot = version.find('.');
    const int major = LeadingNumber(version, 6);
    if (dot == std::string_view::npos)
        return major * 100;
    return major * 100 + LeadingNumber(version.substr(dot + 1), 2);
}

std::string MachineStringFrom(std::string_view machineId)
{
    // FNV-1a over the id, read out in base 26. Stable across runs and builds.
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : machineId) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    std::string text(8, 'a');
    for (char& c : text) {
        c = static_cast<char>('a' + hash % 26);
        hash /= 26;
        if (hash == 0)
            hash = 0x9E3779B97F4A7C15ull;
    }
    return text;
}

const std::string& MachineString()
{
    static const std::string machine = [] {
        std::string id = ReadFirstLine("/etc/machine-id");
        if (id.empty())
            id = ReadFirstLine("/var/lib/dbus/machine-id");
        if (id.empty()) {
            char host[256] = {};
            if (::gethostname(host, sizeof host - 1) == 0)
                id = host;
        }
        return MachineStringFrom(id);
    }();
    return machine;
}

} // namespace mavo
