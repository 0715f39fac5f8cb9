// The fixture of the widget tests: a settings store and a runtime
// directory of the test's own, a real zphd on free loopback ports, the
// "Controller" section pointing both connections at it, and MAVO started
// in this process with message boxes that answer themselves.
#pragma once

#include "RecordingMessages.h"
#include "TempDir.h"
#include "ZphdServer.h"
#include "Brindle/base/RegSection.h"
#include "Modules.h"
#include "core/ui/MAVOApp.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace testsupport {

inline constexpr const char* kTestRoot = "Software/Halvern/MAVO";

// Waits, handling events, until the condition holds; false on time-out.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// Handles events for a while.
inline void Spin(int ms)
{
    WaitFor([] { return false; }, ms);
}

class ScopedRuntimeDir {
public:
    ScopedRuntimeDir()
    {
        ::chmod(m_dir.str().c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", m_dir.str().c_str(), 1);
    }
    ~ScopedRuntimeDir() { ::unsetenv("XDG_RUNTIME_DIR"); }
    const TempDir& dir() const { return m_dir; }

private:
    TempDir m_dir;
};

class AppFixture : public testing::Test {
protected:
    // zphdArgs: more zphd options ("--serial", path ...).
    explicit AppFixture(std::vector<std::string> zphdArgs = {}) : zphd(std::move(zphdArgs)) {}

    void SetUp() override
    {
        ASSERT_TRUE(zphd.Running()) << "zphd did not start: " << ZphdServer::Program();
    }

    static Brindle::CRegSection Section(const std::string& path)
    {
        return Brindle::CRegSection(HKEY_CURRENT_USER, (std::string(kTestRoot) + "/" + path).c_str());
    }
    static int StoredInt(const std::string& path, const char* name, int def = -99999)
    {
        int value = def;
        Section(path).GetInt(name, value, def);
        return value;
    }
    static std::string StoredText(const std::string& path, const char* name)
    {
        std::string value;
        Section(path).GetStr(name, value, 256, "<none>");
        return value;
    }

    // Both connections: socket sources at this zphd.
    void PointFeedAtServer(int timeoutSeconds = 20, int reconnectSeconds = 5)
    {
        for (const char* connection : {"Controller", "Controller/Backup"}) {
            const std::string base = connection;
            Section(base).SetInt("FeedSource", 1);
            Brindle::CRegSection socket = Section(base + "/Socket");
            socket.SetStr("Host", "127.0.0.1");
            socket.SetInt("Port", zphd.SocketPort());
            Brindle::CRegSection timeouts = Section(base + "/Timeouts");
            timeouts.SetInt("Timeout", timeoutSeconds);
            timeouts.SetInt("Reconnect", reconnectSeconds);
        }
    }

    mavo::CMAVOApp::StartResult StartApp(int pauseMs = 1500)
    {
        mavo::StartupOptions options;
        options.pauseMs = pauseMs;
        options.messages = &messages;
        options.opener = [this](const QString& target) {
            openedLinks.push_back(target.toStdString());
            return linkResult;
        };
        app = std::make_unique<mavo::CMAVOApp>(mavo::InstallFrameModules, options);
        return app->Start();
    }

    // Until the window's first frame is out: the feed's messages held till
    // then are handled and the hidden tool windows made.
    bool WaitForFirstFrame()
    {
        return WaitFor([&] { return app->Frame()->FirstFrameShown(); }, 5000);
    }

    mavo::CMainFrame& Frame() { return *app->Frame(); }

    bool WaitForPane(int pane, const std::string& text, int timeoutMs = 30000)
    {
        return WaitFor([&] { return app->Frame()->PaneText(pane).toStdString() == text; }, timeoutMs);
    }

    // Until the status bar names the source and says its feed is live.
    bool WaitForLive(const std::string& source)
    {
        return WaitFor([&] {
            return app->Frame()->PaneText(mavo::CMainFrame::kSourcePane).toStdString() == source &&
                   app->Frame()->PaneText(mavo::CMainFrame::kFeedStatePane) == QStringLiteral("Feed Live");
        });
    }

    void TearDown() override
    {
        app.reset();
        zphd.Stop();
    }

    ScopedRegistryDir registry;
    ScopedRuntimeDir runtime;
    ZphdServer zphd;
    RecordingMessages messages;
    std::vector<std::string> openedLinks;
    int linkResult = 0;
    std::unique_ptr<mavo::CMAVOApp> app;
};

} // namespace testsupport
