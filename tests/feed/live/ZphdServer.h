// A zphd for one test: started on free loopback ports with its ports file
// in a scratch directory, driven through its control port, stopped (SIGTERM,
// then SIGKILL) when the object goes.
#pragma once

#include "TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <chrono>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace feedtest {

class ZphdServer {
public:
    explicit ZphdServer(std::vector<std::string> extra = {}) { Start(std::move(extra)); }
    ~ZphdServer() { Stop(); }
    ZphdServer(const ZphdServer&) = delete;
    ZphdServer& operator=(const ZphdServer&) = delete;

    void Start(std::vector<std::string> extra)
    {
        m_extra = extra;
        const std::string portsFile = m_dir.str() + "/ports";
        ::unlink(portsFile.c_str());
        std::vector<std::string> args = {ZPHD_PATH, "--port", "0", "--database-port", "0", "--control-port", "0",
                                         "--ports-file", portsFile, "--tls-dir", m_dir.str() + "/tls", "--seed", "7",
                                         "-q"};
        for (auto& a : extra)
            args.push_back(a);
        m_pid = ::fork();
        if (m_pid == 0) {
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ASSERT_GT(m_pid, 0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream in(portsFile);
            std::string key, value;
            std::map<std::string, std::string> values;
            while (in >> key >> value)
                values[key] = value;
            if (values.count("pid")) {
                m_socketPort = std::stoi(values["socket"]);
                m_databasePort = std::stoi(values["database"]);
                m_controlPort = std::stoi(values["control"]);
                m_certificate = values.count("certificate") ? values["certificate"] : "";
                m_serial = values.count("serial") ? values["serial"] : "";
                return;
            }
            int status = 0;
            ASSERT_EQ(::waitpid(m_pid, &status, WNOHANG), 0) << "zphd ended at start";
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        FAIL() << "zphd did not start";
    }

    void Stop()
    {
        if (m_control >= 0) {
            ::close(m_control);
            m_control = -1;
        }
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        for (int i = 0; i < 500; ++i) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

    // Stops and starts again on the same ports.
    void Restart()
    {
        const int socket = m_socketPort, database = m_databasePort;
        Stop();
        std::vector<std::string> extra = m_extra;
        // The same ports again, so that clients dial the same address.
        std::vector<std::string> args = {"--port", std::to_string(socket), "--database-port", std::to_string(database)};
        extra.insert(extra.end(), args.begin(), args.end());
        Start(extra);
    }

    int SocketPort() const { return m_socketPort; }
    int DatabasePort() const { return m_databasePort; }
    const std::string& Certificate() const { return m_certificate; }
    const std::string& Serial() const { return m_serial; }
    const testsupport::TempDir& Dir() const { return m_dir; }

    // One control command; its one-line reply ("OK ...", "ERR ...").
    std::string Command(const std::string& line)
    {
        if (m_control < 0)
            Open();
        std::string text = line + "\n";
        EXPECT_EQ(::send(m_control, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
        return ReadLine();
    }
    // A command whose reply is "OK <n>" and n lines (get, sessions, orders):
    // the lines after the first; empty on "ERR".
    std::vector<std::string> Lines(const std::string& line)
    {
        const std::string first = Command(line);
        std::vector<std::string> lines;
        if (first.rfind("OK ", 0) != 0)
            return lines;
        const int count = std::stoi(first.substr(3));
        for (int i = 0; i < count; ++i)
            lines.push_back(ReadLine());
        return lines;
    }
    // A command that must succeed; its first reply line.
    std::string Ok(const std::string& line)
    {
        const std::string reply = Command(line);
        EXPECT_EQ(reply.rfind("OK", 0), 0u) << line << " -> " << reply;
        return reply;
    }
    // The server's fields of a line: id -> text (only the fields it holds).
    std::map<int, std::string> Line(int page, int line)
    {
        std::map<int, std::string> fields;
        for (const std::string& text : Lines("get " + std::to_string(page) + " " + std::to_string(line))) {
            const auto tab = text.find('\t');
            fields[std::stoi(text.substr(0, tab))] = text.substr(tab + 1);
        }
        return fields;
    }

private:
    void Open()
    {
        m_control = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<unsigned short>(m_controlPort));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(m_control, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }

    std::string ReadLine()
    {
        for (;;) {
            const auto end = m_pending.find('\n');
            if (end != std::string::npos) {
                std::string line = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                return line;
            }
            pollfd fd{m_control, POLLIN, 0};
            if (::poll(&fd, 1, 60000) <= 0) {
                ADD_FAILURE() << "no answer on the control port";
                return "ERR no answer";
            }
            char buffer[4096];
            const ssize_t n = ::recv(m_control, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ADD_FAILURE() << "control connection closed";
                return "ERR closed";
            }
            m_pending.append(buffer, static_cast<std::size_t>(n));
        }
    }

    testsupport::TempDir m_dir;
    std::vector<std::string> m_extra;
    pid_t m_pid = -1;
    int m_socketPort = 0, m_databasePort = 0, m_controlPort = 0;
    std::string m_certificate, m_serial;
    int m_control = -1;
    std::string m_pending;
};

} // namespace feedtest
