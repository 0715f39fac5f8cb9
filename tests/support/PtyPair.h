// A pair of connected pseudo-terminals made by socat: bytes written to one
// end come out of the other, as over a null-modem cable. The ends are
// symbolic links in a scratch directory that stay the same across Stop and
// Start, so a test can pull the "cable" and plug it in again. Their paths
// are short (16 characters), as serial port names are at most 19.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

class PtyPair {
public:
    PtyPair()
    {
        char pattern[] = "/tmp/ptyXXXXXX";
        if (::mkdtemp(pattern) == nullptr)
            std::abort();
        m_dir = pattern;
        Start();
    }
    ~PtyPair()
    {
        Stop();
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // The two ends (device paths beginning with '/').
    std::string First() const { return m_dir + "/a"; }
    std::string Second() const { return m_dir + "/b"; }
    bool Running() const { return m_pid > 0; }

    // Starts socat and waits (generously) until both ends exist; false when
    // they did not appear.
    bool Start()
    {
        if (m_pid > 0)
            return true;
        const std::string first = "pty,raw,echo=0,link=" + First();
        const std::string second = "pty,raw,echo=0,link=" + Second();
        m_pid = ::fork();
        if (m_pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            if (null >= 0) {
                ::dup2(null, 1);
                ::dup2(null, 2);
            }
            ::execlp("socat", "socat", first.c_str(), second.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (m_pid < 0)
            return false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            std::error_code ec;
            if (std::filesystem::exists(First(), ec) && std::filesystem::exists(Second(), ec))
                return true;
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // Ends socat: both pseudo-terminals go away, as a pulled cable or a
    // removed device.
    void Stop()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        // socat removes its links on the way out; make sure they are gone.
        std::error_code ec;
        std::filesystem::remove(First(), ec);
        std::filesystem::remove(Second(), ec);
    }

private:
    std::string m_dir;
    pid_t m_pid = -1;
};

// The far end of a line, opened with plain POSIX calls.
class PtyEnd {
public:
    explicit PtyEnd(const std::string& path) : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~PtyEnd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    PtyEnd(const PtyEnd&) = delete;
    PtyEnd& operator=(const PtyEnd&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    // Writes everything (waiting while the line is full); false on failure.
    bool Write(const std::string& data)
    {
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(m_fd, data.data() + done, data.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p{m_fd, POLLOUT, 0};
                ::poll(&p, 1, 100);
            } else {
                return false;
            }
        }
        return true;
    }

    // Reads until `count` bytes have come or `timeoutMs` has passed.
    std::string Read(std::size_t count, int timeoutMs = 20000)
    {
        std::string out;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
            char buffer[4096];
            const std::size_t want = std::min(sizeof buffer, count - out.size());
            const ssize_t n = ::read(m_fd, buffer, want);
            if (n > 0) {
                out.append(buffer, static_cast<std::size_t>(n));
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p{m_fd, POLLIN, 0};
                ::poll(&p, 1, 50);
            } else {
                break;
            }
        }
        return out;
    }

private:
    int m_fd;
};

// The output of a shell command (stdout), or "" when it failed to run.
inline std::string CommandOutput(const std::string& command)
{
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return out;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

} // namespace testsupport
