// A Unix datagram socket that a test binds and reads, standing in for a
// peer that receives one message per datagram: the service manager's notify
// socket, a local syslog socket.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

class DatagramPeer {
public:
    // Binds a path, or with abstract set a name in the abstract namespace.
    explicit DatagramPeer(const std::string& name, bool abstract = false)
        : m_fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::size_t offset = abstract ? 1 : 0;
        std::memcpy(address.sun_path + offset, name.c_str(), std::min(name.size(), sizeof address.sun_path - 1 - offset));
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr*>(&address),
                         static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + name.size())) == 0;
    }
    ~DatagramPeer() { ::close(m_fd); }
    DatagramPeer(const DatagramPeer&) = delete;
    DatagramPeer& operator=(const DatagramPeer&) = delete;

    bool IsBound() const { return m_bound; }

    // The next datagram, or empty after the time limit.
    std::string Receive(std::chrono::milliseconds limit = std::chrono::seconds(30))
    {
        pollfd fd{m_fd, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(limit.count())) <= 0)
            return std::string();
        char buffer[65536];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }

    // Datagrams until one satisfies pred (it included), or the time limit.
    template <typename Pred>
    std::vector<std::string> ReceiveUntil(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(60))
    {
        std::vector<std::string> got;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            std::string message = Receive(left);
            if (message.empty())
                continue;
            got.push_back(message);
            if (pred(got.back()))
                break;
        }
        return got;
    }

private:
    int m_fd;
    bool m_bound = false;
};

} // namespace testsupport
