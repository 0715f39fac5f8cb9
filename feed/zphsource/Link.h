// Byte links under a feed source: a plain TCP connection, TLS over TCP, and
// the Waker that lets another thread interrupt a link's wait.
//
// A Link is used by one thread, the source's worker: Read waits for bytes,
// a wake-up or the time-out; Write sends everything or reports the link
// lost. Connect and handshakes wait at most their time-out and end early,
// as cancelled, when the Waker is woken.
//
// Thread-safety: Waker::Wake from any thread; everything else on the
// worker thread.
#pragma once

#include <memory>
#include <string>

namespace ZPHLink {

// An eventfd that a waiting worker polls beside its link.
class Waker {
public:
    Waker();
    ~Waker();
    Waker(const Waker&) = delete;
    Waker& operator=(const Waker&) = delete;

    void Wake();
    // Clears a wake-up; true when there was one.
    bool Drain();
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

class Link {
public:
    virtual ~Link() = default;
    // Waits up to timeoutMs for bytes; returns the count read (> 0), 0 when
    // nothing came or the waker was woken, -1 when the link is lost.
    virtual int Read(char* buffer, int size, int timeoutMs) = 0;
    // Sends all bytes (waiting up to the write time-out); false when lost.
    virtual bool Write(const char* data, std::size_t size) = 0;
    // Why the link was lost or could not be made.
    const std::string& GetError() const { return m_error; }

protected:
    std::string m_error;
};

struct TlsOptions {
    bool enabled = false;
    std::string caFile;  // trust store; empty: the system's
};

// Connects to host:port within timeoutMs (TLS when asked: handshake,
// certificate chain and name checked). Null with `error` set on failure,
// including a wake-up ("cancelled").
std::unique_ptr<Link> ConnectTcp(const std::string& host, int port, const TlsOptions& tls, Waker& waker,
                                 int timeoutMs, std::string& error);

// How long a link waits for a write to drain before it counts as lost.
constexpr int WRITE_TIMEOUT_MS = 10000;

} // namespace ZPHLink
