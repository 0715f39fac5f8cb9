// A zphd for one test: started on free loopback ports with its ports file
// in a scratch directory, driven through its control port, stopped (SIGTERM,
// then SIGKILL) when the object goes.
#pragma once

#include "../server/ZphdControl.h"
#include "ChildProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>
#include <memory>
#include <string>
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
        args.insert(args.end(), extra.begin(), extra.end());
        m_zphd = std::make_unique<testsupport::ChildProcess>(args);
        std::map<std::string, std::string> values;
        const bool started = m_zphd->ReadUntil([&] {
            std::ifstream in(portsFile);
            for (std::string key, value; in >> key >> value;)
                values[key] = value;
            return values.count("pid") != 0;
        });
        ASSERT_TRUE(started) << "zphd did not start: " << m_zphd->Stderr();
        m_socketPort = std::stoi(values["socket"]);
        m_databasePort = std::stoi(values["database"]);
        m_controlPort = std::stoi(values["control"]);
        m_certificate = values["certificate"];
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
        Start(extra);
    }

    int SocketPort() const { return m_socketPort; }
    int DatabasePort() const { return m_databasePort; }
    const std::string& Certificate() const { return m_certificate; }

    // One control command; its reply ("OK ...", "ERR ...").
    std::string Command(const std::string& line)
    {
        if (!m_control)
            m_control = std::make_unique<zphdtest::ControlClient>(m_controlPort);
        return m_control->Command(line);
    }
    // A command that must succeed; its reply.
    std::string Ok(const std::string& line)
    {
        const std::string reply = Command(line);
        EXPECT_EQ(reply.rfind("OK", 0), 0u) << line << " -> " << reply;
        return reply;
    }
    // The server's fields of a line: id -> text (only the fields it holds).
    std::map<int, std::string> Line(int page, int line)
    {
        return zphdtest::ReplyFields(Command("get " + std::to_string(page) + " " + std::to_string(line)));
    }

private:
    testsupport::TempDir m_dir;
    std::vector<std::string> m_extra;
    std::unique_ptr<testsupport::ChildProcess> m_zphd;
    int m_socketPort = 0, m_databasePort = 0, m_controlPort = 0;
    std::string m_certificate;
    std::unique_ptr<zphdtest::ControlClient> m_control;
};

} // namespace feedtest
