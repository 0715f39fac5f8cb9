// A dial-up line for tests: a socat pty pair with the modem emulator on
// one end (the client opens the other, ClientEnd), the emulator's remote
// (where a connected call goes) given by the test, and its transcript of
// events to read back. DialUpFixture puts zphd's serial line behind it for
// a MAVO started in the test.
#pragma once

#include "ChildProcess.h"
#include "LiveApp.h"
#include "PtyPair.h"
#include "TempDir.h"

#include "core/ui/MainFrame.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/wait.h>

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
        m_pid = Spawn(all, [](posix_spawn_file_actions_t&) {});
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
        const std::vector<std::string> lines = Transcript();
        return std::find(lines.begin(), lines.end(), event) != lines.end();
    }
    // Waits (handling events) until the transcript has the event.
    bool WaitForEvent(const std::string& event, int timeoutMs = 30000) const
    {
        return WaitFor([&] { return Has(event); }, timeoutMs);
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

// The path of zphd's serial line, in a directory of its own made before
// zphd starts.
struct SerialLineDir {
    TempDir m_serialDir;
    std::string m_serialLine = (m_serialDir.path() / "z").string();
};

// LiveAppFixture with zphd on a serial line of its own behind the modem
// emulator instead of on the socket alone.
class DialUpFixture : private SerialLineDir, public LiveAppFixture {
protected:
    DialUpFixture() : LiveAppFixture({"--serial", m_serialLine}) {}

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(AppFixture::SetUp());
        modem = std::make_unique<ModemLine>(m_serialLine);
        ASSERT_TRUE(modem->Running()) << "the modem emulator did not start: " << MODEM_EMULATOR_PATH;
    }
    void TearDown() override
    {
        app.reset();
        modem.reset();
        AppFixture::TearDown();
    }

    mavo::CMAVOApp::StartResult StartApp() { return AppFixture::StartApp(0); }
    // A dial and a login over 9600 baud take their time.
    bool WaitForPane(int pane, const std::string& text, int timeoutMs = 60000)
    {
        return AppFixture::WaitForPane(pane, text, timeoutMs);
    }

    std::unique_ptr<ModemLine> modem;
};

} // namespace testsupport
