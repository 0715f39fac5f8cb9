// A real zphd for a test: started on free loopback ports (socket,
// database, control), stopped with SIGTERM at the end. Control sends one
// command line to its control port and returns the first reply line.
#pragma once

#include "TempDir.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

class ZphdServer {
public:
    // The zphd program: $ZPHD_BINARY, else the one built with the tests.
    static std::string Program();

    explicit ZphdServer(std::vector<std::string> extraArgs = {});
    ~ZphdServer();
    ZphdServer(const ZphdServer&) = delete;
    ZphdServer& operator=(const ZphdServer&) = delete;

    bool Running() const { return m_pid > 0; }
    int SocketPort() const { return m_socketPort; }
    int DatabasePort() const { return m_databasePort; }
    int ControlPort() const { return m_controlPort; }
    // "OK ..." or "ERR ..."; empty when the control port cannot be reached.
    std::string Control(const std::string& command) const;
    // The whole reply: its first line, and for "OK <n>" the n lines after it.
    std::vector<std::string> ControlLines(const std::string& command) const;
    void Stop();

private:
    TempDir m_dir;
    pid_t m_pid = -1;
    int m_socketPort = 0;
    int m_databasePort = 0;
    int m_controlPort = 0;
};

} // namespace testsupport
