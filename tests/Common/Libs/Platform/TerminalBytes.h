// What the console wrote to a terminal of the test's: the bytes waiting on
// its descriptor, and their text without the writer's escape sequences.
#pragma once

#include <poll.h>
#include <string>
#include <unistd.h>

namespace terminaltest {

// Reads what the console wrote to its terminal so far.
inline std::string Drain(int fd)
{
    std::string out;
    char buffer[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0)
            break;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

// Takes away every escape sequence the terminal writer uses (CSI ... final
// byte, OSC ... BEL), leaving the text it drew.
inline std::string StripSequences(const std::string& bytes)
{
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
            i += 2;
            while (i < bytes.size() && !(bytes[i] >= 0x40 && bytes[i] <= 0x7E))
                ++i;
            continue;
        }
        if (bytes[i] == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == ']') {
            while (i < bytes.size() && bytes[i] != '\x07')
                ++i;
            continue;
        }
        out += bytes[i];
    }
    return out;
}

} // namespace terminaltest
