#include "ZphdServer.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <spawn.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

std::string ZphdServer::Program()
{
    if (const char* path = std::getenv("ZPHD_BINARY"); path != nullptr && *path != '\0')
        return path;
    return ZPHD_PATH;
}

ZphdServer::ZphdServer(std::vector<std::string> extraArgs)
{
    const std::string program = Program();
    const std::string portsFile = (m_dir.path() / "ports").string();
    std::vector<std::string> args{program,         "--port",       "0", "--database-port", "0",
                                  "--control-port", "0",           "--ports-file", portsFile, "-q"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // posix_spawn, not fork: a test process has threads.
    if (::posix_spawn(&m_pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        m_pid = -1;
    if (m_pid < 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(portsFile);
        std::string key;
        int value = 0;
        while (in >> key >> value) {
            if (key == "socket")
                m_socketPort = value;
            else if (key == "database")
                m_databasePort = value;
            else if (key == "control")
                m_controlPort = value;
        }
        if (m_controlPort != 0)
            return;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            std::fprintf(stderr, "zphd ended at start: status %d\n", status);
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
}

ZphdServer::~ZphdServer() { Stop(); }

void ZphdServer::Stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 500; ++i) {
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

std::string ZphdServer::Control(const std::string& command) const
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(m_controlPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string line = command + "\n";
        if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
            char c = 0;
            while (::recv(fd, &c, 1, 0) == 1 && c != '\n')
                reply += c;
        }
    }
    ::close(fd);
    return reply;
}

std::vector<std::string> ZphdServer::ControlLines(const std::string& command) const
{
    std::vector<std::string> lines;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return lines;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(m_controlPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto readLine = [fd](std::string& line) {
        line.clear();
        char c = 0;
        ssize_t got = 0;
        while ((got = ::recv(fd, &c, 1, 0)) == 1 && c != '\n')
            line += c;
        return got == 1;
    };
    const std::string request = command + "\n";
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        std::string line;
        if (readLine(line)) {
            lines.push_back(line);
            // "OK <n>": n lines follow.
            std::size_t more = 0;
            if (line.size() > 3 && line.rfind("OK ", 0) == 0
                && line.find_first_not_of("0123456789", 3) == std::string::npos)
                more = std::stoul(line.substr(3));
            for (std::size_t i = 0; i < more && readLine(line); ++i)
                lines.push_back(line);
        }
    }
    ::close(fd);
    return lines;
}

} // namespace testsupport
