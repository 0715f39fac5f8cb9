// A real zphd for one test: started on free loopback ports (socket,
// database, control) with its ports file and TLS state in a scratch
// directory, driven through its control port, stopped (SIGTERM, then
// SIGKILL) when the object goes. Needs ZPHD_PATH, the program built with
// the tests.
#pragma once

#include "ChildProcess.h"
#include "TempDir.h"
#include "ZphdControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class ZphdServer {
public:
    // The zphd program: $ZPHD_BINARY, else the one built with the tests.
    static std::string Program()
    {
        if (const char* path = std::getenv("ZPHD_BINARY"); path != nullptr && *path != '\0')
            return path;
        return ZPHD_PATH;
    }

    explicit ZphdServer(std::vector<std::string> extra = {}) { Start(std::move(extra)); }
    ~ZphdServer() { Stop(); }
    ZphdServer(const ZphdServer&) = delete;
    ZphdServer& operator=(const ZphdServer&) = delete;

    bool Running() const { return m_zphd != nullptr; }
    int SocketPort() const { return m_socketPort; }
    int DatabasePort() const { return m_databasePort; }
    int ControlPort() const { return m_controlPort; }
    // The certificate a --tls server made at its first start.
    const std::string& Certificate() const { return m_certificate; }
    // What zphd wrote (why it did not start, say).
    std::string Output() const
    {
        std::ifstream in(m_dir.str() + "/output");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    void Stop()
    {
        m_control.reset();
        if (!m_zphd)
            return;
        m_zphd->Signal(SIGTERM);
        m_zphd->Wait(std::chrono::seconds(5));
        m_zphd.reset();
    }

    // Stops and starts again on the same ports, so that clients dial the
    // same address.
    void Restart()
    {
        std::vector<std::string> extra = m_extra;
        extra.insert(extra.end(), {"--port", std::to_string(m_socketPort), "--database-port",
                                   std::to_string(m_databasePort)});
        Stop();
        Start(extra, false);
    }

    // One control command's whole reply ("OK ...", "ERR ...", or "OK n"
    // and its n lines joined by newlines).
    std::string Control(const std::string& command) const
    {
        if (!m_control)
            m_control = std::make_unique<ControlClient>(m_controlPort);
        const std::string reply = m_control->Command(command);
        // A late reply would answer the next command: dial again instead.
        if (reply == "CLOSED" || reply == "SEND FAILED" || reply == "TIMEOUT")
            m_control.reset();
        return reply;
    }
    std::vector<std::string> ControlLines(const std::string& command) const
    {
        std::vector<std::string> lines;
        const std::string reply = Control(command);
        for (std::size_t at = 0; at <= reply.size();) {
            const std::size_t end = std::min(reply.find('\n', at), reply.size());
            lines.push_back(reply.substr(at, end - at));
            at = end + 1;
        }
        return lines;
    }
    // A command that must succeed; its reply.
    std::string Ok(const std::string& command) const
    {
        const std::string reply = Control(command);
        EXPECT_EQ(reply.rfind("OK", 0), 0u) << command << " -> " << reply;
        return reply;
    }
    // The server's fields of a line: id -> text (only the fields it holds).
    std::map<int, std::string> Line(int page, int line) const
    {
        return ReplyFields(Control("get " + std::to_string(page) + " " + std::to_string(line)));
    }

private:
    void Start(std::vector<std::string> extra, bool keepArgs = true)
    {
        if (keepArgs)
            m_extra = extra;
        const std::string portsFile = m_dir.str() + "/ports";
        ::unlink(portsFile.c_str());
        std::vector<std::string> args = {Program(),       "--port",       "0",      "--database-port",
                                         "0",             "--control-port", "0",    "--ports-file",
                                         portsFile,       "--tls-dir",    m_dir.str() + "/tls", "-q"};
        args.insert(args.end(), extra.begin(), extra.end());
        m_zphd = std::make_unique<ChildProcess>(args, m_dir.str() + "/output");
        std::map<std::string, std::string> values;
        const bool started = m_zphd->ReadUntil(
            [&] {
                std::ifstream in(portsFile);
                for (std::string key, value; in >> key >> value;)
                    values[key] = value;
                return values.count("pid") != 0 || m_zphd->Ended();
            },
            std::chrono::seconds(30));
        if (!started || values.count("pid") == 0) {
            m_zphd.reset();
            ADD_FAILURE() << "zphd did not start: " << Program() << ": " << Output();
            return;
        }
        m_socketPort = std::stoi(values["socket"]);
        m_databasePort = std::stoi(values["database"]);
        m_controlPort = std::stoi(values["control"]);
        m_certificate = values["certificate"];
    }

    TempDir m_dir;
    std::vector<std::string> m_extra;
    std::unique_ptr<ChildProcess> m_zphd;
    int m_socketPort = 0, m_databasePort = 0, m_controlPort = 0;
    std::string m_certificate;
    mutable std::unique_ptr<ControlClient> m_control;
};

} // namespace testsupport
