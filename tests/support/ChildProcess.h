// Runs a program as a child process with its standard output and error
// captured, for tests that drive command-line tools.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern "C" char** environ;

namespace testsupport {

// Starts argv[0] (a path; empty argv: nothing) with the descriptors
// `redirect` sets up, and returns its pid, or -1. posix_spawn, not fork: the
// test process has threads, and a forked child may not allocate before its
// exec.
inline pid_t Spawn(const std::vector<std::string>& argv,
                   const std::function<void(posix_spawn_file_actions_t&)>& redirect)
{
    if (argv.empty())
        return -1;
    std::vector<char*> args;
    for (const auto& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    redirect(actions);
    pid_t pid = -1;
    if (::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Two close-on-exec pipes, or none.
inline bool PipePair(int (&a)[2], int (&b)[2])
{
    if (::pipe2(a, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(b, O_CLOEXEC) == 0)
        return true;
    ::close(a[0]);
    ::close(a[1]);
    return false;
}

class ChildProcess {
public:
    // With a logFile, the child's output goes there instead (for a server
    // that outlives what the test reads of it: a pipe nobody drains would
    // stop it once full).
    explicit ChildProcess(const std::vector<std::string>& argv, const std::string& logFile = {})
    {
        int out[2] = {-1, -1};
        int err[2] = {-1, -1};
        if (logFile.empty() && !PipePair(out, err)) {
            m_reaped = true; // never started: nothing to signal or wait for
            m_status = 127;
            return;
        }
        m_pid = Spawn(argv, [&](posix_spawn_file_actions_t& actions) {
            if (logFile.empty()) {
                posix_spawn_file_actions_adddup2(&actions, out[1], 1);
                posix_spawn_file_actions_adddup2(&actions, err[1], 2);
            } else {
                posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
                posix_spawn_file_actions_adddup2(&actions, 1, 2);
            }
        });
        if (logFile.empty()) {
            ::close(out[1]);
            ::close(err[1]);
            m_out = out[0];
            m_err = err[0];
        }
        if (m_pid <= 0) {
            // As a shell reports a program it cannot run.
            m_reaped = true;
            m_status = 127;
        }
    }
    ~ChildProcess()
    {
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            Wait();
        }
        if (m_out >= 0)
            ::close(m_out);
        if (m_err >= 0)
            ::close(m_err);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void Signal(int signal)
    {
        if (m_pid > 0 && !m_reaped)
            ::kill(m_pid, signal);
    }

    // Reads what is there (waiting up to `ms` for something) into the
    // captured texts.
    void Pump(int ms)
    {
        pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        if (::poll(fds, 2, ms) <= 0)
            return;
        char buffer[4096];
        if (fds[0].revents) {
            const ssize_t n = ::read(m_out, buffer, sizeof buffer);
            if (n > 0)
                m_stdout.append(buffer, static_cast<std::size_t>(n));
        }
        if (fds[1].revents) {
            const ssize_t n = ::read(m_err, buffer, sizeof buffer);
            if (n > 0)
                m_stderr.append(buffer, static_cast<std::size_t>(n));
        }
    }

    // Reads until `pred` holds for the captured output, within a generous
    // limit; false on time-out.
    template <typename Pred>
    bool ReadUntil(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(60))
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            Pump(50);
        }
        return true;
    }

    // Whether the child has ended, without waiting for it.
    bool Ended()
    {
        int status = 0;
        if (!m_reaped && ::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_reaped = true;
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return m_reaped;
    }

    // Waits for the child to end (reading its output meanwhile); its exit
    // status, or -1 when it was killed by a signal or did not end in time.
    int Wait(std::chrono::milliseconds limit = std::chrono::seconds(60))
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!m_reaped) {
            int status = 0;
            const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid) {
                m_reaped = true;
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                m_reaped = true;
                m_status = -1;
                break;
            }
            Pump(20);
        }
        // Whatever is left in the pipes.
        for (int i = 0; i < 100; ++i) {
            const std::size_t before = m_stdout.size() + m_stderr.size();
            Pump(0);
            if (m_stdout.size() + m_stderr.size() == before)
                break;
        }
        return m_status;
    }

    const std::string& Stdout() const { return m_stdout; }
    const std::string& Stderr() const { return m_stderr; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    bool m_reaped = false;
    int m_status = -1;
    std::string m_stdout;
    std::string m_stderr;
};

} // namespace testsupport
