// SerialLine: the serial side of zphd, a terminal in raw mode.
//
// Open(path): when path names a terminal (for instance one end of a
// `socat -d -d pty,raw,echo=0,link=A pty,raw,echo=0,link=B` pair), that
// terminal is used as it is. Otherwise a new pseudo-terminal is made and
// path becomes a symbolic link to its slave end, which a client opens as its
// serial port; the server keeps the slave open itself so that the line
// stays up between clients, and removes the link when it closes.
//
// Thread-safety: one thread uses a line.
#pragma once

#include <memory>
#include <string>

namespace zphd {

class SerialLine {
public:
    static std::unique_ptr<SerialLine> Open(const std::string& path, std::string& error);
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // The descriptor to read and write (non-blocking). The stream that
    // takes it over for I/O gets a duplicate; this object keeps its own.
    int Fd() const { return m_fd; }
    const std::string& Path() const { return m_path; }
    // The terminal a client opens: the slave of a made pty, else the path.
    const std::string& Device() const { return m_device; }
    bool Made() const { return m_made; }
    // Throws away what the client has not read yet (a new session starts clean).
    void DiscardPending();

private:
    SerialLine() = default;

    int m_fd = -1;
    int m_slave = -1;   // held open while we own the pty
    bool m_made = false;
    std::string m_path;
    std::string m_device;
};

} // namespace zphd
