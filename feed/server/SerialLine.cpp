#include "SerialLine.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace zphd {

namespace {

bool MakeRaw(int fd)
{
    termios tio {};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

} // namespace

std::unique_ptr<SerialLine> SerialLine::Open(const std::string& path, std::string& error)
{
    std::unique_ptr<SerialLine> line(new SerialLine());
    line->m_path = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISCHR(st.st_mode)) {
            error = path + " is not a terminal";
            return nullptr;
        }
        line->m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (line->m_fd < 0 || !::isatty(line->m_fd) || !MakeRaw(line->m_fd)) {
            error = path + ": " + std::strerror(errno);
            return nullptr;
        }
        line->m_device = path;
        return line;
    }
    // A dangling link left by an earlier run goes; anything else stays.
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) == 0) {
        if (!S_ISLNK(lst.st_mode) || ::unlink(path.c_str()) != 0) {
            error = path + " exists and is not a terminal";
            return nullptr;
        }
    }
    line->m_fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (line->m_fd < 0 || ::grantpt(line->m_fd) != 0 || ::unlockpt(line->m_fd) != 0) {
        error = std::string("cannot make a pseudo-terminal: ") + std::strerror(errno);
        return nullptr;
    }
    char name[128];
    if (::ptsname_r(line->m_fd, name, sizeof name) != 0) {
        error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        return nullptr;
    }
    line->m_device = name;
    line->m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (line->m_slave < 0 || !MakeRaw(line->m_slave) || !MakeRaw(line->m_fd)) {
        error = line->m_device + ": " + std::strerror(errno);
        return nullptr;
    }
    if (::symlink(name, path.c_str()) != 0) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    line->m_made = true;
    return line;
}

SerialLine::~SerialLine()
{
    if (m_made)
        ::unlink(m_path.c_str());
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_fd >= 0)
        ::close(m_fd);
}

void SerialLine::DiscardPending()
{
    if (m_slave >= 0)
        ::tcflush(m_slave, TCIFLUSH);
}

} // namespace zphd
