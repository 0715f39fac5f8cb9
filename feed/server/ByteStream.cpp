#include "ByteStream.h"

#include "TlsContext.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace zphd {

ByteStream::ByteStream(int fd, SSL* ssl, bool socket) : m_fd(fd), m_ssl(ssl), m_socket(socket) {}

ByteStream::~ByteStream()
{
    if (m_ssl != nullptr) {
        // A close notify if it goes out at once; never wait for the peer's.
        SSL_set_quiet_shutdown(m_ssl, 0);
        ERR_clear_error();
        SSL_shutdown(m_ssl);
        SSL_free(m_ssl);
    }
    ::close(m_fd);
}

ByteStream::Status ByteStream::TlsStatus(int result)
{
    switch (SSL_get_error(m_ssl, result)) {
    case SSL_ERROR_WANT_READ:
        return Status::WouldBlock;
    case SSL_ERROR_WANT_WRITE:
        m_wantWrite = true;
        return Status::WouldBlock;
    case SSL_ERROR_ZERO_RETURN:
        return Status::Closed;
    case SSL_ERROR_SYSCALL:
        if (errno == 0 || errno == ECONNRESET || errno == EPIPE)
            return Status::Closed;
        m_error = std::strerror(errno);
        return Status::Failed;
    default:
        m_error = "TLS: " + TlsContext::TakeErrors();
        return Status::Failed;
    }
}

ByteStream::Status ByteStream::Read(char* buffer, std::size_t capacity, std::size_t& got)
{
    got = 0;
    if (m_ssl != nullptr) {
        m_wantWrite = false;
        ERR_clear_error();
        errno = 0;
        const int result = SSL_read_ex(m_ssl, buffer, capacity, &got);
        return result == 1 ? Status::Ok : TlsStatus(result);
    }
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, capacity);
        if (n > 0) {
            got = static_cast<std::size_t>(n);
            return Status::Ok;
        }
        if (n == 0)
            return Status::Closed;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return Status::WouldBlock;
        // A terminal whose other end went away reads EIO.
        if (errno == ECONNRESET || errno == EIO)
            return Status::Closed;
        m_error = std::strerror(errno);
        return Status::Failed;
    }
}

ByteStream::Status ByteStream::Write(const char* data, std::size_t size, std::size_t& wrote)
{
    wrote = 0;
    if (size == 0)
        return Status::Ok;
    if (m_ssl != nullptr) {
        ERR_clear_error();
        errno = 0;
        const int result = SSL_write_ex(m_ssl, data, size, &wrote);
        return result == 1 ? Status::Ok : TlsStatus(result);
    }
    for (;;) {
        const ssize_t n = m_socket ? ::send(m_fd, data, size, MSG_NOSIGNAL) : ::write(m_fd, data, size);
        if (n >= 0) {
            wrote = static_cast<std::size_t>(n);
            return Status::Ok;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return Status::WouldBlock;
        if (errno == EPIPE || errno == ECONNRESET || errno == EIO)
            return Status::Closed;
        m_error = std::strerror(errno);
        return Status::Failed;
    }
}

} // namespace zphd
