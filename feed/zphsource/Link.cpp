#include "zphsource/Link.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace ZPHLink {

namespace {

using Clock = std::chrono::steady_clock;

std::string SystemError(int code) { return std::strerror(code); }

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Waits for `events` on fd or a wake-up. 1 ready, 0 time-out, -2 woken, -1 error.
int WaitFd(int fd, short events, Waker* waker, int timeoutMs)
{
    pollfd fds[2] = {{fd, events, 0}, {waker != nullptr ? waker->Fd() : -1, POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, waker != nullptr ? 2 : 1, timeoutMs);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            return 0;
        if (waker != nullptr && (fds[1].revents & POLLIN) != 0) {
            waker->Drain();
            return -2;
        }
        return 1;
    }
}

std::string OpenSslError(const char* what)
{
    std::string text = what;
    unsigned long code = 0;
    while ((code = ERR_get_error()) != 0) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        text += ": ";
        text += buffer;
    }
    return text;
}

class TcpLink : public Link {
public:
    TcpLink(int fd, Waker& waker) : m_fd(fd), m_waker(waker) {}
    ~TcpLink() override { ::close(m_fd); }

    int Read(char* buffer, int size, int timeoutMs) override
    {
        const int ready = WaitFd(m_fd, POLLIN, &m_waker, timeoutMs);
        if (ready == 0 || ready == -2)
            return 0;
        if (ready < 0)
            return Lost(SystemError(errno));
        const ssize_t n = ::recv(m_fd, buffer, static_cast<std::size_t>(size), MSG_DONTWAIT);
        if (n > 0)
            return static_cast<int>(n);
        if (n == 0)
            return Lost("connection closed by the server");
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return 0;
        return Lost(SystemError(errno));
    }

    bool Write(const char* data, std::size_t size) override
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(WRITE_TIMEOUT_MS);
        while (size > 0) {
            const ssize_t n = ::send(m_fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                data += n;
                size -= static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                const int ready = WaitFd(m_fd, POLLOUT, nullptr, RemainingMs(deadline));
                if (ready <= 0) {
                    Lost(ready == 0 ? "the server takes no data" : SystemError(errno));
                    return false;
                }
                continue;
            }
            Lost(SystemError(errno));
            return false;
        }
        return true;
    }

private:
    int Lost(const std::string& why)
    {
        m_error = why;
        return -1;
    }

    int m_fd;
    Waker& m_waker;
};

class TlsLink : public Link {
public:
    TlsLink(int fd, Waker& waker, SSL_CTX* ctx, SSL* ssl) : m_fd(fd), m_waker(waker), m_ctx(ctx), m_ssl(ssl) {}
    ~TlsLink() override
    {
        // A courtesy close; the peer may be gone already.
        SSL_shutdown(m_ssl);
        SSL_free(m_ssl);
        SSL_CTX_free(m_ctx);
        ::close(m_fd);
    }

    int Read(char* buffer, int size, int timeoutMs) override
    {
        for (int attempt = 0; attempt < 2; ++attempt) {
            ERR_clear_error();
            const int n = SSL_read(m_ssl, buffer, size);
            if (n > 0)
                return n;
            const int error = SSL_get_error(m_ssl, n);
            if (error == SSL_ERROR_ZERO_RETURN)
                return Lost("connection closed by the server");
            if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
                return Lost(error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0
                                ? std::string("connection closed by the server")
                                : OpenSslError("TLS read failed"));
            if (attempt == 1)
                return 0;
            const int ready = WaitFd(m_fd, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, &m_waker, timeoutMs);
            if (ready == 0 || ready == -2)
                return 0;
            if (ready < 0)
                return Lost(SystemError(errno));
        }
        return 0;
    }

    bool Write(const char* data, std::size_t size) override
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(WRITE_TIMEOUT_MS);
        while (size > 0) {
            ERR_clear_error();
            const int chunk = static_cast<int>(std::min<std::size_t>(size, 1 << 20));
            const int n = SSL_write(m_ssl, data, chunk);
            if (n > 0) {
                data += n;
                size -= static_cast<std::size_t>(n);
                continue;
            }
            const int error = SSL_get_error(m_ssl, n);
            if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
                Lost(OpenSslError("TLS write failed"));
                return false;
            }
            const int ready =
                WaitFd(m_fd, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, nullptr, RemainingMs(deadline));
            if (ready <= 0) {
                Lost(ready == 0 ? "the server takes no data" : SystemError(errno));
                return false;
            }
        }
        return true;
    }

private:
    int Lost(const std::string& why)
    {
        m_error = why;
        return -1;
    }

    int m_fd;
    Waker& m_waker;
    SSL_CTX* m_ctx;
    SSL* m_ssl;
};

// Connects a non-blocking socket to one address. The fd, or -1.
int ConnectOne(const addrinfo& address, Waker& waker, Clock::time_point deadline, std::string& error)
{
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0) {
        error = SystemError(errno);
        return -1;
    }
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0 && errno != EINPROGRESS) {
        error = SystemError(errno);
        ::close(fd);
        return -1;
    }
    const int ready = WaitFd(fd, POLLOUT, &waker, RemainingMs(deadline));
    if (ready != 1) {
        error = ready == -2 ? "cancelled" : ready == 0 ? "timed out" : SystemError(errno);
        ::close(fd);
        return -1;
    }
    int code = 0;
    socklen_t length = sizeof code;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &length);
    if (code != 0) {
        error = SystemError(code);
        ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

bool IsAddressLiteral(const std::string& host)
{
    unsigned char buffer[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 || ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::unique_ptr<Link> StartTls(int fd, const std::string& host, const TlsOptions& tls, Waker& waker,
                               Clock::time_point deadline, std::string& error)
{
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (ctx == nullptr) {
        error = OpenSslError("TLS set-up failed");
        ::close(fd);
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    const bool trusted = tls.caFile.empty() ? SSL_CTX_set_default_verify_paths(ctx) == 1
                                            : SSL_CTX_load_verify_locations(ctx, tls.caFile.c_str(), nullptr) == 1;
    SSL* ssl = trusted ? SSL_new(ctx) : nullptr;
    if (ssl == nullptr) {
        error = OpenSslError(trusted ? "TLS set-up failed" : ("cannot read the trust store " + tls.caFile).c_str());
        SSL_CTX_free(ctx);
        ::close(fd);
        return nullptr;
    }
    SSL_set_fd(ssl, fd);
    if (IsAddressLiteral(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl, host.c_str());
        SSL_set1_host(ssl, host.c_str());
    }
    for (;;) {
        ERR_clear_error();
        const int result = SSL_connect(ssl);
        if (result == 1)
            return std::make_unique<TlsLink>(fd, waker, ctx, ssl);
        const int code = SSL_get_error(ssl, result);
        if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) {
            const int ready = WaitFd(fd, code == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, &waker, RemainingMs(deadline));
            if (ready == 1)
                continue;
            error = ready == -2 ? "cancelled" : ready == 0 ? "TLS handshake timed out" : SystemError(errno);
        } else {
            const long verify = SSL_get_verify_result(ssl);
            if (verify != X509_V_OK)
                error = std::string("server certificate refused: ") + X509_verify_cert_error_string(verify);
            else if (code == SSL_ERROR_SYSCALL && ERR_peek_error() == 0)
                error = "TLS handshake failed: connection closed by the server";
            else
                error = OpenSslError("TLS handshake failed");
        }
        SSL_free(ssl);
        SSL_CTX_free(ctx);
        ::close(fd);
        return nullptr;
    }
}

} // namespace

Waker::Waker() : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (m_fd < 0)
        throw std::runtime_error("eventfd: " + SystemError(errno));
}

Waker::~Waker() { ::close(m_fd); }

void Waker::Wake()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_fd, &one, sizeof one);
}

bool Waker::Drain()
{
    std::uint64_t count = 0;
    return ::read(m_fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count) && count > 0;
}

std::unique_ptr<Link> ConnectTcp(const std::string& host, int port, const TlsOptions& tls, Waker& waker,
                                 int timeoutMs, std::string& error)
{
    if (host.empty() || port < 1 || port > 65535) {
        error = "no host or port set";
        return nullptr;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    const std::string service = std::to_string(port);
    const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses);
    if (rc != 0) {
        error = std::string("cannot resolve ") + host + ": " + gai_strerror(rc);
        return nullptr;
    }
    int fd = -1;
    for (addrinfo* address = addresses; address != nullptr && fd < 0; address = address->ai_next) {
        fd = ConnectOne(*address, waker, deadline, error);
        if (error == "cancelled")
            break;
    }
    ::freeaddrinfo(addresses);
    if (fd < 0)
        return nullptr;
    if (tls.enabled)
        return StartTls(fd, host, tls, waker, deadline, error);
    return std::make_unique<TcpLink>(fd, waker);
}

} // namespace ZPHLink
