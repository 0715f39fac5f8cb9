// The whole dial-up path in a running MAVO: a serial source through the
// modem emulator to zphd's serial line. MAVO dials as it connects, the feed
// comes live through the modem, and Disconnect hangs the modem up.
#include "AppFixture.h"
#include "ModemLine.h"

#include "core/ScreenController.h"
#include "modem/ui/ModemDialog.h"
#include "status/ui/SourceStatusWindow.h"

#include <QPushButton>
#include <QTimer>

#include <algorithm>

using namespace testsupport;

namespace {

class DialUpTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(zphd.Running()) << "zphd did not start: " << ZphdServer::Program();
        modem = std::make_unique<ModemLine>(zphdLine);
        ASSERT_TRUE(modem->Running()) << "the modem emulator did not start";

        const std::string root = std::string(kTestRoot) + "/";
        for (const char* connection : {"Controller", "Controller/Backup"}) {
            const std::string base = root + connection;
            Key(base).SetInt("FeedSource", 2);
            Brindle::CRegSection serial = Key(base + "/Serial");
            serial.SetStr("Port", modem->ClientEnd());
            serial.SetStr("Baud", "9600");
            serial.SetStr("ByteSize", "8");
            serial.SetStr("Parity", "NONE");
            serial.SetStr("StopBits", "1");
            serial.SetInt("DtrEnabled", 1);
            Brindle::CRegSection timeouts = Key(base + "/Timeouts");
            timeouts.SetInt("Timeout", 20);
            timeouts.SetInt("Reconnect", 1);
        }
        Key(root + "Dialup").SetStr("PhoneNumber", "5551234");
    }

    void TearDown() override
    {
        driver.stop();
        app.reset();
        modem.reset();
        zphd.Stop();
    }

    static Brindle::CRegSection Key(const std::string& path) { return Brindle::CRegSection(HKEY_CURRENT_USER, path.c_str()); }

    // Every "Modem Dial" dialog that opens gets `act` once.
    void OnDialog(std::function<void(mavo::CModemDialog&)> act)
    {
        driver.disconnect();
        driver.setInterval(20);
        QObject::connect(&driver, &QTimer::timeout, [this, act] {
            if (!app || app->Frame() == nullptr)
                return;
            for (auto* dialog : app->Frame()->findChildren<mavo::CModemDialog*>()) {
                if (dialog->isVisible() && dialog != handled) {
                    handled = dialog;
                    ++dialogs;
                    act(*dialog);
                }
            }
        });
        driver.start();
    }

    mavo::CMAVOApp::StartResult StartApp()
    {
        mavo::StartupOptions options;
        options.pauseMs = 0;
        options.messages = &messages;
        app = std::make_unique<mavo::CMAVOApp>(options);
        return app->Start();
    }

    bool WaitForPane(int pane, const std::string& text, int timeoutMs = 60000)
    {
        return WaitFor([&] { return app->Frame()->PaneText(pane).toStdString() == text; }, timeoutMs);
    }

    ScopedRegistryDir registry;
    ScopedRuntimeDir runtime;
    TempDir zphdDir;
    std::string zphdLine = (zphdDir.path() / "z").string();
    ZphdServer zphd{{"--serial", zphdLine}};
    std::unique_ptr<ModemLine> modem;
    RecordingMessages messages;
    std::unique_ptr<mavo::CMAVOApp> app;
    QTimer driver;
    mavo::CModemDialog* handled = nullptr;
    int dialogs = 0;
};

TEST_F(DialUpTest, DialsAtStartFeedsThroughTheModemAndHangsUpOnDisconnect)
{
    OnDialog([](mavo::CModemDialog& dialog) { dialog.DialButton()->click(); });
    ASSERT_EQ(StartApp(), mavo::CMAVOApp::StartResult::Started);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(modem->Has("line ATS0=1&D2DT5551234"));
    EXPECT_TRUE(modem->Has("connect"));

    ASSERT_TRUE(WaitForPane(1, "Feed Live")) << app->Frame()->PaneText(1).toStdString();
    auto* status = app->Frame()->findChild<mavo::CSourceStatusWindow*>(QStringLiteral("SourceStatus"));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->KindText(), "Serial");
    EXPECT_NE(status->AddressText().toStdString().find(modem->ClientEnd()), std::string::npos);

    // Yes to "Are you sure you want to hangup?".
    messages.answers.push_back(mavo::CMessageService::Yes);
    ASSERT_TRUE(app->Frame()->RunCommand(mavo::CommandId::Disconnect));
    const auto asked = messages.WithCaption("Disconnect");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, "Are you sure you want to hangup?");
    ASSERT_TRUE(modem->WaitForEvent("hangup"));
    // "+++\r" then "ATH0\r": the escape, an empty command line, the hang-up.
    const std::vector<std::string> events = modem->Transcript();
    const auto escape = std::find(events.begin(), events.end(), "escape");
    ASSERT_NE(escape, events.end());
    ASSERT_GE(events.end() - escape, 4);
    EXPECT_EQ(*(escape + 1), "line ");
    EXPECT_EQ(*(escape + 2), "line ATH0");
    EXPECT_EQ(*(escape + 3), "hangup");
    EXPECT_FALSE(app->Frame()->Connection().IsConnected());
}

TEST_F(DialUpTest, CancelledDialInConnectPrimaryDisconnectsAndNoHangupWithoutYes)
{
    // At start the dial's result is not used: the source stays connected.
    OnDialog([](mavo::CModemDialog& dialog) { dialog.CloseButton()->click(); });
    ASSERT_EQ(StartApp(), mavo::CMAVOApp::StartResult::Started);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(app->Frame()->Connection().IsConnected());

    // In connect primary a Cancel disconnects the source.
    handled = nullptr;
    ASSERT_TRUE(app->Frame()->RunCommand(mavo::CommandId::ConnectBackup));
    ASSERT_TRUE(app->Frame()->RunCommand(mavo::CommandId::ConnectPrimary));
    EXPECT_EQ(dialogs, 2);
    EXPECT_FALSE(app->Frame()->Connection().IsConnected());
    EXPECT_FALSE(modem->Has("dial 5551234"));

    // Connected again, dialled; No to the question: no hang-up bytes.
    OnDialog([](mavo::CModemDialog& dialog) { dialog.DialButton()->click(); });
    handled = nullptr;
    ASSERT_TRUE(app->Frame()->RunCommand(mavo::CommandId::ConnectPrimary));
    ASSERT_TRUE(modem->Has("connect"));
    ASSERT_TRUE(WaitForPane(1, "Feed Live"));
    messages.answers.push_back(mavo::CMessageService::No);
    ASSERT_TRUE(app->Frame()->RunCommand(mavo::CommandId::Disconnect));
    EXPECT_FALSE(app->Frame()->Connection().IsConnected());
    Spin(500);
    EXPECT_FALSE(modem->Has("escape"));
}

} // namespace
