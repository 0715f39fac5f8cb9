// A Python peer process for wire-format tests: finds python3, runs a script
// with arguments, and talks to it over its standard input and output one
// line at a time (a request line in, an answer line out). JsonField reads
// one field of a flat JSON answer.
#pragma once

#include "ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

// python3 from PATH (then /usr/bin/python3); empty when there is none.
inline std::string FindPython()
{
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "";
    dirs += ":/usr/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::string candidate = (dir.empty() ? "." : dir) + "/python3";
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return {};
}

class PythonPeer {
public:
    PythonPeer(const std::string& script, const std::vector<std::string>& args)
    {
        const std::string python = FindPython();
        if (python.empty())
            return;
        int in[2];
        int out[2];
        if (!PipePair(in, out))
            return;
        std::vector<std::string> argv{python, "-u", script};
        argv.insert(argv.end(), args.begin(), args.end());
        m_pid = Spawn(argv, [&](posix_spawn_file_actions_t& actions) {
            posix_spawn_file_actions_adddup2(&actions, in[0], 0);
            posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        });
        ::close(in[0]);
        ::close(out[1]);
        m_in = in[1];
        m_out = out[0];
    }
    ~PythonPeer()
    {
        if (m_in >= 0)
            ::close(m_in);
        if (m_pid > 0) {
            int status = 0;
            // Closing its input ends a line-driven peer; others get a signal.
            for (int i = 0; i < 100 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i)
                ::usleep(10000);
            if (::waitpid(m_pid, &status, WNOHANG) == 0) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
            }
        }
        if (m_out >= 0)
            ::close(m_out);
    }
    PythonPeer(const PythonPeer&) = delete;
    PythonPeer& operator=(const PythonPeer&) = delete;

    bool Started() const { return m_pid > 0; }

    // Writes one line (a newline is added).
    bool WriteLine(const std::string& line)
    {
        const std::string text = line + "\n";
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(m_in, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // The next line of output without its newline; false at the end or
    // after a generous limit.
    bool ReadLine(std::string& line, std::chrono::milliseconds limit = std::chrono::seconds(60))
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const std::size_t nl = m_buffer.find('\n');
            if (nl != std::string::npos) {
                line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd fd{m_out, POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char chunk[4096];
            const ssize_t n = ::read(m_out, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Writes a request line and reads the answer line.
    std::string Ask(const std::string& request)
    {
        std::string answer;
        if (!WriteLine(request) || !ReadLine(answer))
            return {};
        return answer;
    }

    // Waits for the process to end: its exit status, or -1.
    int Wait(std::chrono::milliseconds limit = std::chrono::seconds(60))
    {
        if (m_in >= 0) {
            ::close(m_in);
            m_in = -1;
        }
        if (m_pid <= 0)
            return -1;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                m_pid = -1;
                return -1;
            }
            ::usleep(5000);
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
};

// The text of one field of a flat JSON object: a string without its quotes
// (escapes other than \" and \\ are not expected), or a number, true, false,
// null as written. Empty when the field is missing.
inline std::string JsonField(const std::string& json, const std::string& name)
{
    const std::string key = "\"" + name + "\":";
    std::size_t pos = json.find(key);
    if (pos == std::string::npos)
        return {};
    pos += key.size();
    while (pos < json.size() && json[pos] == ' ')
        ++pos;
    if (pos < json.size() && json[pos] == '"') {
        std::string text;
        for (++pos; pos < json.size() && json[pos] != '"'; ++pos) {
            if (json[pos] == '\\' && pos + 1 < json.size())
                ++pos;
            text += json[pos];
        }
        return text;
    }
    const std::size_t end = json.find_first_of(",}", pos);
    return json.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
}

} // namespace testsupport
