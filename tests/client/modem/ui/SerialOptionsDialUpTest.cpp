// From the socket source to a dial-up serial line with nothing but the
// dialogs: "&Options" marks "Serial Port" on the primary page, its
// settings dialog takes the emulator's device typed in with the modem box
// ticked, Connect Primary dials the number typed into "Modem Dial", the
// feed comes live over the modem with prices moving in a page window, and
// Disconnect hangs the modem up. zphd, the modem emulator and MAVO are all
// real; the store is written only for the socket source MAVO starts on.
#include "ModalDriver.h"
#include "ModemLine.h"

#include "zph/LineCache.h"
#include "zph/LineObject.h"
#include "modem/ui/ModemDialog.h"
#include "pages/ui/ChildFrame.h"
#include "pages/ui/MAVOView.h"
#include "pages/ui/NewPageDialog.h"
#include "source/ui/KindDialogs.h"
#include "source/ui/SourceSettingsSheet.h"
#include "status/ui/SourceStatusWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <algorithm>

using namespace ZPH;

using namespace testsupport;
using mavo::CommandId;

namespace {

class SerialOptionsDialUpTest : public DialUpFixture {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(DialUpFixture::SetUp());
        // MAVO starts where a desk usually is: both connections on zphd's
        // socket port.
        PointFeedAtServer();
    }

    // Replaces what an edit field holds with typed keys.
    static void TypeInto(QLineEdit* edit, const std::string& text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, QString::fromStdString(text));
    }

    mavo::CChildFrame* OnlyPageWindow()
    {
        const auto windows = Frame().MdiArea()->subWindowList();
        if (windows.size() != 1)
            return nullptr;
        return qobject_cast<mavo::CChildFrame*>(windows.front());
    }

    // "&Options": "Serial Port" on the primary page, the device typed into
    // its settings dialog with the modem box ticked, OK on both.
    void ChooseTheModemLineInTheDialogs(const std::string& device)
    {
        bool sawSerialDialog = false;
        std::string deviceShown;
        OnModal<mavo::CSourceSettingsSheet>([&](mavo::CSourceSettingsSheet* sheet) {
            mavo::CSourceSettingsPage* primary = sheet->PrimaryPage();
            EXPECT_TRUE(primary->Choice(0)->isChecked()) << "the socket kind MAVO runs on";
            EXPECT_FALSE(primary->SettingsButton(1)->isEnabled());
            QTest::mouseClick(primary->Choice(1), Qt::LeftButton);
            EXPECT_TRUE(primary->SettingsButton(1)->isEnabled());
            OnModal<mavo::CSerialSettingsDialog>([&](mavo::CSerialSettingsDialog* dialog) {
                sawSerialDialog = true;
                TypeInto(dialog->PortBox()->lineEdit(), device);
                deviceShown = dialog->DeviceLabel()->text().toStdString();
                EXPECT_FALSE(dialog->ModemBox()->isChecked()) << "nothing stored yet";
                QTest::mouseClick(dialog->ModemBox(), Qt::LeftButton);
                EXPECT_TRUE(dialog->ModemBox()->isChecked());
                dialog->accept();
                EXPECT_FALSE(dialog->isVisible()) << "OK refused the values: " << messages.shown.size() << " message(s)";
            });
            QTest::mouseClick(primary->SettingsButton(1), Qt::LeftButton);
            sheet->accept();
        });
        ASSERT_TRUE(Frame().RunCommand(CommandId::SourceOptions));
        ASSERT_TRUE(sawSerialDialog);
        EXPECT_EQ(deviceShown, "Device: " + device);
        EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;
    }

    // Connect Primary opens "Modem Dial"; the number is typed in it.
    void DialFromConnectPrimary()
    {
        bool sawDialDialog = false;
        OnModal<mavo::CModemDialog>([&](mavo::CModemDialog* dialog) {
            sawDialDialog = true;
            EXPECT_FALSE(dialog->DialButton()->isEnabled()) << "no number stored";
            TypeInto(dialog->NumberField(), "5551234");
            ASSERT_TRUE(dialog->DialButton()->isEnabled());
            QTest::mouseClick(dialog->DialButton(), Qt::LeftButton);
        }, 60000);
        ASSERT_TRUE(Frame().RunCommand(CommandId::ConnectPrimary));
        ASSERT_TRUE(sawDialDialog);
        EXPECT_TRUE(modem->Has("line ATS0=1&D2DT5551234"));
        EXPECT_TRUE(modem->Has("connect"));
        EXPECT_EQ(StoredText("Dialup", "PhoneNumber"), "5551234") << "the number dialled is kept for next time";
    }

    // Live prices in a page window, over the modem: the market moves, and a
    // price set at the server reaches the window's line.
    void ExpectLivePricesInAPageWindow()
    {
        OnModal<mavo::CNewPageDialog>([](mavo::CNewPageDialog* dialog) {
            dialog->SetPage(1);
            dialog->accept();
        });
        ASSERT_TRUE(Frame().RunCommand(CommandId::New));
        mavo::CChildFrame* page = OnlyPageWindow();
        ASSERT_NE(page, nullptr);
        const mavo::CMAVODoc& doc = page->View()->Document();
        ASSERT_TRUE(WaitFor([&] {
            int present = 0;
            for (unsigned key : doc.Lines())
                present += doc.Feed().Cache().GetForRead(key) != nullptr;
            return present >= 7;
        }, 60000)) << "zphd's pages hold at least 7 lines";
        const int updates = page->View()->UpdatesApplied();
        ASSERT_TRUE(WaitFor([&] { return page->View()->UpdatesApplied() > updates + 3; }, 60000)) << "the market moves";
        // A price set at the server reaches the window's line.
        ASSERT_NO_FATAL_FAILURE(HoldMarket());
        const int applied = page->View()->UpdatesApplied();
        ASSERT_EQ(zphd.Control("set 1 3 100 77.77").substr(0, 2), "OK");
        const unsigned key = LineObject(1, 3).GetKey();
        ASSERT_NE(std::find(doc.Lines().begin(), doc.Lines().end(), key), doc.Lines().end());
        EXPECT_TRUE(WaitFor([&] {
            const LineRef line = doc.Feed().Cache().GetForRead(key);
            return line && line->m_bid.m_rate == "77.77";
        }, 60000));
        EXPECT_TRUE(WaitFor([&] { return page->View()->UpdatesApplied() > applied; }, 60000));
    }

    // Disconnect asks before hanging up; Yes sends the escape and ATH0.
    void HangUpWithYes()
    {
        messages.answers.push_back(mavo::CMessageService::Yes);
        ASSERT_TRUE(Frame().RunCommand(CommandId::Disconnect));
        const auto asked = messages.WithCaption("Disconnect");
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].text, "Are you sure you want to hangup?");
        ASSERT_TRUE(modem->WaitForEvent("hangup", 60000));
        const std::vector<std::string> events = modem->Transcript();
        const auto escape = std::find(events.begin(), events.end(), "escape");
        ASSERT_NE(escape, events.end()) << "no +++ reached the modem";
        ASSERT_GE(events.end() - escape, 4);
        EXPECT_EQ(std::vector<std::string>(escape + 1, escape + 4),
                  (std::vector<std::string>{"line ", "line ATH0", "hangup"}));
        EXPECT_TRUE(WaitFor([&] { return !Frame().Connection().IsConnected(); }));
    }
};

TEST_F(SerialOptionsDialUpTest, SwitchesToTheModemLineThroughTheDialogsDialsFeedsAndHangsUp)
{
    ASSERT_EQ(StartApp(), mavo::CMAVOApp::StartResult::Started);
    ASSERT_TRUE(WaitForPane(1, "Feed Live")) << "the socket source first";
    EXPECT_EQ(app->Controller().GetSource()->GetKind(), 1);

    // "&Options" is offered only while not connected.
    ASSERT_TRUE(Frame().RunCommand(CommandId::Disconnect));
    ASSERT_TRUE(WaitFor([&] { return !Frame().Connection().IsConnected(); }));
    Frame().UpdateCommands();
    ASSERT_TRUE(Frame().Commands().Action(CommandId::SourceOptions)->isEnabled());

    const std::string device = modem->ClientEnd();
    ASSERT_NO_FATAL_FAILURE(ChooseTheModemLineInTheDialogs(device));
    // What the dialogs stored, and what the controller took from it.
    EXPECT_EQ(StoredInt("Controller", "FeedSource"), 2);
    EXPECT_EQ(StoredText("Controller/Serial", "Port"), device);
    EXPECT_EQ(StoredInt("Controller/Serial", "DtrEnabled"), 1);
    EXPECT_EQ(StoredInt("Controller/Backup", "FeedSource"), 1) << "the backup page was left alone";
    ASSERT_EQ(app->Controller().GetSource()->GetKind(), 2);
    EXPECT_FALSE(modem->Has("connect")) << "nothing dials before the user connects";

    ASSERT_NO_FATAL_FAILURE(DialFromConnectPrimary());

    ASSERT_TRUE(WaitForPane(1, "Feed Live")) << Frame().PaneText(1).toStdString();
    EXPECT_EQ(Frame().PaneText(2).toStdString(), "Primary");
    auto* status = Frame().findChild<mavo::CSourceStatusWindow*>(QStringLiteral("SourceStatus"));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->KindText(), "Serial");
    EXPECT_NE(status->AddressText().toStdString().find(device), std::string::npos);

    ASSERT_NO_FATAL_FAILURE(ExpectLivePricesInAPageWindow());
    ASSERT_NO_FATAL_FAILURE(HangUpWithYes());
    EXPECT_TRUE(WaitForPane(1, "Feed Dead"));
}

} // namespace
