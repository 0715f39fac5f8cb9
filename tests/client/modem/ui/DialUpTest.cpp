// The whole dial-up path in a running MAVO: a serial source through the
// modem emulator to zphd's serial line. MAVO dials as it connects, the feed
// comes live through the modem, a cancelled dial disconnects, and No to the
// hang-up question sends nothing (Yes is SerialOptionsDialUpTest's).
#include "ModemLine.h"

#include "core/ScreenController.h"
#include "modem/ui/ModemDialog.h"
#include "status/ui/SourceStatusWindow.h"

#include <QPushButton>
#include <QTimer>

using namespace testsupport;

namespace {

class DialUpTest : public DialUpFixture {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(DialUpFixture::SetUp());
        for (const std::string base : {"Controller", "Controller/Backup"}) {
            Section(base).SetInt("FeedSource", 2);
            Brindle::CRegSection serial = Section(base + "/Serial");
            serial.SetStr("Port", modem->ClientEnd());
            serial.SetStr("Baud", "9600");
            serial.SetStr("ByteSize", "8");
            serial.SetStr("Parity", "NONE");
            serial.SetStr("StopBits", "1");
            serial.SetInt("DtrEnabled", 1);
            Brindle::CRegSection timeouts = Section(base + "/Timeouts");
            timeouts.SetInt("Timeout", 20);
            timeouts.SetInt("Reconnect", 1);
        }
        Section("Dialup").SetStr("PhoneNumber", "5551234");
    }

    void TearDown() override
    {
        driver.stop();
        DialUpFixture::TearDown();
    }

    // Every "Modem Dial" dialog that opens gets `act` once.
    void OnDialog(std::function<void(mavo::CModemDialog&)> act)
    {
        driver.disconnect();
        driver.setInterval(20);
        QObject::connect(&driver, &QTimer::timeout, [this, act] {
            if (!app || app->Frame() == nullptr)
                return;
            for (auto* dialog : Frame().findChildren<mavo::CModemDialog*>()) {
                if (dialog->isVisible() && dialog != handled) {
                    handled = dialog;
                    ++dialogs;
                    act(*dialog);
                }
            }
        });
        driver.start();
    }

    QTimer driver;
    mavo::CModemDialog* handled = nullptr;
    int dialogs = 0;
};

TEST_F(DialUpTest, DialsAtStartAndFeedsThroughTheModem)
{
    OnDialog([](mavo::CModemDialog& dialog) { dialog.DialButton()->click(); });
    ASSERT_EQ(StartApp(), mavo::CMAVOApp::StartResult::Started);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(modem->Has("line ATS0=1&D2DT5551234"));
    EXPECT_TRUE(modem->Has("connect"));

    ASSERT_TRUE(WaitForPane(1, "Feed Live")) << Frame().PaneText(1).toStdString();
    auto* status = Frame().findChild<mavo::CSourceStatusWindow*>(QStringLiteral("SourceStatus"));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->KindText(), "Serial");
    EXPECT_NE(status->AddressText().toStdString().find(modem->ClientEnd()), std::string::npos);
}

TEST_F(DialUpTest, CancelledDialInConnectPrimaryDisconnectsAndNoHangupWithoutYes)
{
    // At start the dial's result is not used: the source stays connected.
    OnDialog([](mavo::CModemDialog& dialog) { dialog.CloseButton()->click(); });
    ASSERT_EQ(StartApp(), mavo::CMAVOApp::StartResult::Started);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(Frame().Connection().IsConnected());

    // In connect primary a Cancel disconnects the source.
    handled = nullptr;
    ASSERT_TRUE(Frame().RunCommand(mavo::CommandId::ConnectBackup));
    ASSERT_TRUE(Frame().RunCommand(mavo::CommandId::ConnectPrimary));
    EXPECT_EQ(dialogs, 2);
    EXPECT_FALSE(Frame().Connection().IsConnected());
    EXPECT_FALSE(modem->Has("dial 5551234"));

    // Connected again, dialled; No to the question: no hang-up bytes.
    OnDialog([](mavo::CModemDialog& dialog) { dialog.DialButton()->click(); });
    handled = nullptr;
    ASSERT_TRUE(Frame().RunCommand(mavo::CommandId::ConnectPrimary));
    ASSERT_TRUE(modem->Has("connect"));
    ASSERT_TRUE(WaitForPane(1, "Feed Live"));
    messages.answers.push_back(mavo::CMessageService::No);
    ASSERT_TRUE(Frame().RunCommand(mavo::CommandId::Disconnect));
    EXPECT_FALSE(Frame().Connection().IsConnected());
    Spin(500);
    EXPECT_FALSE(modem->Has("escape"));
}

} // namespace
