// A dial-up line for tests: a socat pty pair with the modem emulator on
// one end (the client opens the other, ClientEnd), the emulator's remote
// (where a connected call goes) given by the test, and its transcript of
// events to read back. DialUpFixture puts zphd's serial line behind it for
// a MAVO started in the test.
#pragma once

#include "AppFixture.h"
#include "PtyPair.h"
#include "TempDir.h"

#include "core/ui/MainFrame.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <fstream>
#include <string>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace testsupport {

class ModemLine {
public:
    // args: more emulator options ("--answer", "busy", "--split", "100" ...).
    ModemLine(const std::string& remote, const std::vector<std::string>& args = {})
    {
        if (!m_pair.Running())
            return;
        m_transcript = (m_dir.path() / "transcript").string();
        std::vector<std::string> all{MODEM_EMULATOR_PATH, "--line", m_pair.First(), "--remote", remote,
                                     "--transcript", m_transcript};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        // posix_spawn, not fork: a test process has threads.
        if (::posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        if (m_pid > 0 && !WaitForEvent("ready"))
            Stop();
    }
    ~ModemLine() { Stop(); }
    ModemLine(const ModemLine&) = delete;
    ModemLine& operator=(const ModemLine&) = delete;

    bool Running() const { return m_pid > 0; }
    std::string ClientEnd() const { return m_pair.Second(); }

    std::vector<std::string> Transcript() const
    {
        std::vector<std::string> lines;
        std::ifstream in(m_transcript);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    bool Has(const std::string& event) const
    {
        for (const auto& line : Transcript())
            if (line == event)
                return true;
        return false;
    }
    // Waits (handling events) until the transcript has the event.
    bool WaitForEvent(const std::string& event, int timeoutMs = 30000) const
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!Has(event)) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(10);
        }
        return true;
    }

    void Stop()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

private:
    PtyPair m_pair;
    TempDir m_dir;
    std::string m_transcript;
    pid_t m_pid = -1;
};

// zphd on a serial line of its own behind the modem emulator, a store and a
// runtime directory of the test's own, and MAVO started in this process
// with message boxes that answer themselves.
class DialUpFixture : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(zphd.Running()) << "zphd did not start: " << ZphdServer::Program();
        modem = std::make_unique<ModemLine>(zphdLine);
        ASSERT_TRUE(modem->Running()) << "the modem emulator did not start: " << MODEM_EMULATOR_PATH;
    }

    void TearDown() override
    {
        app.reset();
        modem.reset();
        zphd.Stop();
    }

    static Brindle::CRegSection Section(const std::string& path)
    {
        return Brindle::CRegSection(HKEY_CURRENT_USER, (std::string(kTestRoot) + "/" + path).c_str());
    }
    static std::string StoredText(const std::string& path, const char* name)
    {
        std::string value;
        Section(path).GetStr(name, value, 256, "<none>");
        return value;
    }
    static int StoredInt(const std::string& path, const char* name)
    {
        int value = -99999;
        Section(path).GetInt(name, value, -99999);
        return value;
    }

    mavo::CMAVOApp::StartResult StartApp()
    {
        mavo::StartupOptions options;
        options.pauseMs = 0;
        options.messages = &messages;
        app = std::make_unique<mavo::CMAVOApp>(mavo::InstallFrameModules, options);
        return app->Start();
    }

    mavo::CMainFrame& Frame() { return *app->Frame(); }

    bool WaitForPane(int pane, const std::string& text, int timeoutMs = 60000)
    {
        return WaitFor([&] { return Frame().PaneText(pane).toStdString() == text; }, timeoutMs);
    }

    ScopedRegistryDir registry;
    ScopedRuntimeDir runtime;
    TempDir zphdDir;
    std::string zphdLine = (zphdDir.path() / "z").string();
    ZphdServer zphd{{"--serial", zphdLine}};
    std::unique_ptr<ModemLine> modem;
    RecordingMessages messages;
    std::unique_ptr<mavo::CMAVOApp> app;
};

} // namespace testsupport
