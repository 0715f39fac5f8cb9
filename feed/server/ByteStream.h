// ByteStream: one connected, non-blocking descriptor (a TCP socket or a
// terminal), plain or under TLS, read and written in whatever pieces the
// kernel allows. Owns the descriptor and the TLS session and closes both.
//
// Thread-safety: one thread uses a stream.
#pragma once

#include <cstddef>
#include <string>

typedef struct ssl_st SSL;

namespace zphd {

class ByteStream {
public:
    enum class Status { Ok, WouldBlock, Closed, Failed };

    // ssl may be null; the stream owns both.
    ByteStream(int fd, SSL* ssl, bool socket);
    ~ByteStream();
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;

    Status Read(char* buffer, std::size_t capacity, std::size_t& got);
    Status Write(const char* data, std::size_t size, std::size_t& wrote);

    // TLS needs the descriptor to be writable before it can go on reading.
    bool WantsWrite() const { return m_wantWrite; }
    int Fd() const { return m_fd; }
    bool Secure() const { return m_ssl != nullptr; }
    const std::string& Error() const { return m_error; }

private:
    Status TlsStatus(int result);

    int m_fd;
    SSL* m_ssl;
    bool m_socket;
    bool m_wantWrite = false;
    std::string m_error;
};

} // namespace zphd
