// Talking to a zphd on loopback: a TCP connect and a control-port client,
// for the server's own tests on an in-process server and for tests that run
// the zphd program.
#pragma once

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cstdint>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

// receiveBuffer > 0 sets a small window before the connect, so that the
// kernel holds little for a client that stops reading.
inline int ConnectTcp(int port, int receiveBuffer = 0)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

// The fields of a "get" reply ("OK n" and n lines of id TAB text); empty on
// "ERR".
inline std::map<int, std::string> ReplyFields(const std::string& reply)
{
    std::map<int, std::string> fields;
    if (reply.rfind("OK ", 0) != 0)
        return fields;
    std::size_t at = reply.find('\n');
    while (at != std::string::npos) {
        const std::size_t end = reply.find('\n', at + 1);
        const std::string row = reply.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        const std::size_t tab = row.find('\t');
        fields[std::stoi(row.substr(0, tab))] = row.substr(tab + 1);
        at = end;
    }
    return fields;
}

// One command, one reply on one connection: "OK ..." / "ERR ..." or "OK n"
// and n lines, joined by newlines.
class ControlClient {
public:
    explicit ControlClient(int port) : m_fd(ConnectTcp(port)) {}
    ~ControlClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ControlClient(const ControlClient&) = delete;
    ControlClient& operator=(const ControlClient&) = delete;
    bool Ok() const { return m_fd >= 0; }

    std::string Command(const std::string& line)
    {
        const std::string text = line + "\n";
        if (m_fd < 0 || ::send(m_fd, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size()))
            return "SEND FAILED";
        std::string first = ReadLine();
        int more = 0;
        if (first.size() > 3 && first.rfind("OK ", 0) == 0 && std::all_of(first.begin() + 3, first.end(), ::isdigit))
            more = std::stoi(first.substr(3));
        for (int i = 0; i < more; ++i)
            first += "\n" + ReadLine();
        return first;
    }

private:
    std::string ReadLine()
    {
        for (;;) {
            const auto end = m_in.find('\n');
            if (end != std::string::npos) {
                std::string line = m_in.substr(0, end);
                m_in.erase(0, end + 1);
                return line;
            }
            pollfd p {m_fd, POLLIN, 0};
            if (::poll(&p, 1, 60000) <= 0)
                return "TIMEOUT";
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return "CLOSED";
            m_in.append(buffer, static_cast<std::size_t>(n));
        }
    }

    int m_fd;
    std::string m_in;
};

} // namespace testsupport
