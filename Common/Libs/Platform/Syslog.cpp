#include "Platform/Syslog.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace Platform {

std::string SyslogSocketPath()
{
    const char* path = std::getenv("BRINDLE_SYSLOG_SOCKET");
    return path != nullptr && *path != '\0' ? std::string(path) : std::string("/dev/log");
}

std::string SyslogCleanText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += ' ';
            ++i;
        } else if (c < 32 || c == 127) {
            out += ' ';
        } else {
            out += static_cast<char>(c);
        }
    }
    // Only the spaces that stood for line ends are dropped at the end; a text
    // that ended in a real space keeps none of them either, which is harmless.
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::string SyslogCleanIdent(std::string_view ident)
{
    std::string out;
    for (char c : ident) {
        bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    std::strchr("-_./@", c) != nullptr;
        out += keep && c != '\0' ? c : '_';
    }
    return out.empty() ? std::string("-") : out;
}

namespace {

std::string Header(int facility, int severity, std::string_view ident, std::time_t when, std::string_view host,
                   long pid)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr)
        local = std::tm{};
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%s %2d %02d:%02d:%02d", months[local.tm_mon % 12], local.tm_mday,
                  local.tm_hour, local.tm_min, local.tm_sec);
    std::string out = "<" + std::to_string(facility * 8 + severity) + ">" + stamp + " ";
    if (!host.empty())
        out += SyslogCleanIdent(host) + " ";
    out += SyslogCleanIdent(ident) + "[" + std::to_string(pid) + "]: ";
    return out;
}

} // namespace

std::vector<std::string> FormatSyslogLines(int facility, int severity, std::string_view ident,
                                           std::string_view text, std::time_t when, std::string_view host,
                                           long pid)
{
    const std::string header = Header(facility & 0x7f, severity & 7, ident, when, host, pid);
    const std::string clean = SyslogCleanText(text);
    std::vector<std::string> lines;
    std::size_t start = 0;
    do {
        std::size_t length = std::min(CSyslogSocket::MaxTextBytes, clean.size() - start);
        // Never cut inside a UTF-8 sequence.
        while (start + length < clean.size() && length > 0 &&
               (static_cast<unsigned char>(clean[start + length]) & 0xC0) == 0x80)
            --length;
        if (length == 0)
            length = std::min(CSyslogSocket::MaxTextBytes, clean.size() - start);
        lines.push_back(header + clean.substr(start, length));
        start += length;
    } while (start < clean.size());
    return lines;
}

CSyslogSocket::CSyslogSocket()
{
    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        m_openError = errno;
        return;
    }
    timeval timeout{SendTimeoutMs / 1000, (SendTimeoutMs % 1000) * 1000};
    ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}

CSyslogSocket::~CSyslogSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CSyslogSocket::Send(int facility, int severity, std::string_view ident, std::string_view text)
{
    if (m_fd < 0)
        return false;
    const std::string path = SyslogSocketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    // The local socket takes lines without a host name: its readers (rsyslog,
    // journald) would take the host name for the program's name.
    const auto lines = FormatSyslogLines(facility, severity, ident, text, std::time(nullptr), std::string_view(),
                                         static_cast<long>(::getpid()));
    std::lock_guard<std::mutex> guard(m_lock);
    bool all = true;
    for (const std::string& line : lines) {
        ssize_t sent;
        do {
            sent = ::sendto(m_fd, line.data(), line.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
                            sizeof address);
        } while (sent < 0 && errno == EINTR);
        if (sent != static_cast<ssize_t>(line.size()))
            all = false;
    }
    return all;
}

} // namespace Platform
