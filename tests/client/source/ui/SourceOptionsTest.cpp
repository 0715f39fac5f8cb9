// The "&Options" command in the running application against a real zphd:
// switching from the socket source to the database source with a password
// entirely through the dialogs, the failover flag after OK, and Cancel.
#include "LiveApp.h"
#include "ModalDriver.h"

#include "core/ui/MainFrame.h"
#include "source/ui/KindDialogs.h"
#include "source/ui/SourceSettingsSheet.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace testsupport;
using mavo::CommandId;

namespace {

class SourceOptionsTest : public LiveAppFixture {
protected:
    // "&Options" with ZPHDB marked on the primary page and its settings
    // typed into the database dialog; false when that dialog did not open.
    bool ChooseDatabaseSource(const std::string& user, const std::string& password)
    {
        bool sawDatabaseDialog = false;
        OnModal<mavo::CSourceSettingsSheet>([&, port = zphd.DatabasePort()](mavo::CSourceSettingsSheet* sheet) {
            mavo::CSourceSettingsPage* primary = sheet->PrimaryPage();
            EXPECT_TRUE(primary->Choice(0)->isChecked()) << "the stored socket kind";
            primary->Choice(2)->click();
            OnModal<mavo::CDatabaseSettingsDialog>([&, port](mavo::CDatabaseSettingsDialog* dialog) {
                sawDatabaseDialog = true;
                dialog->HostEdit()->setText(QStringLiteral("127.0.0.1"));
                dialog->PortEdit()->setText(QString::number(port));
                dialog->UserEdit()->setText(QString::fromStdString(user));
                dialog->PasswordEdit()->setText(QString::fromStdString(password));
                dialog->accept();
            });
            primary->SettingsButton(2)->click();
            sheet->accept();
        });
        EXPECT_TRUE(Frame().RunCommand(CommandId::SourceOptions));
        return sawDatabaseDialog;
    }
    void DisconnectNow()
    {
        ASSERT_TRUE(Frame().RunCommand(CommandId::Disconnect));
        ASSERT_TRUE(WaitFor([&] { return !Frame().Connection().IsConnected(); }));
    }
};

TEST_F(SourceOptionsTest, SwitchesFromTheSocketToTheDatabaseSourceWithAPasswordAndConnects)
{
    PointFeedAtServer();
    ASSERT_NO_FATAL_FAILURE(StartLive());
    EXPECT_FALSE(Enabled(CommandId::SourceOptions)) << "only while not connected";
    DisconnectNow();
    EXPECT_TRUE(Enabled(CommandId::SourceOptions));

    const int databasePort = zphd.DatabasePort();
    EXPECT_TRUE(ChooseDatabaseSource("trader1", "trader1"));
    EXPECT_EQ(StoredInt("Controller", "FeedSource"), 3);
    EXPECT_EQ(StoredInt("Controller", "Failover"), 0);
    EXPECT_EQ(StoredInt("Controller/Backup", "FeedSource"), 1) << "the backup page was left as it was";
    EXPECT_EQ(StoredText("Controller/ZPHDB", "UserId"), "trader1");
    EXPECT_EQ(app->Controller().GetSource()->GetKind(), 3);
    ASSERT_TRUE(WaitFor([&] { return Frame().PaneText(mavo::CMainFrame::kFeedStatePane) == "Feed Dead" && Frame().PaneText(mavo::CMainFrame::kSourcePane) == "Primary"; }));

    // The database port takes only a login with the user's password proof.
    ASSERT_TRUE(Frame().RunCommand(CommandId::ConnectPrimary));
    ASSERT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Live"));
    EXPECT_EQ(app->Controller().GetSource()->GetKind(), 3);
    EXPECT_EQ(Frame().PaneText(mavo::CMainFrame::kAddressPane).toStdString(), "trader1@127.0.0.1:" + std::to_string(databasePort));
}

TEST_F(SourceOptionsTest, OkWhileTheBackupIsSelectedSelectsThePrimaryAndCancelKeepsTheKind)
{
    PointFeedAtServer();
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    ASSERT_TRUE(Frame().RunCommand(CommandId::ConnectBackup));
    ASSERT_TRUE(WaitForLive("Backup"));
    DisconnectNow();
    ASSERT_EQ(Frame().Connection().Failover(), 1);

    OnModal<mavo::CSourceSettingsSheet>([](mavo::CSourceSettingsSheet* sheet) {
        sheet->PrimaryPage()->Choice(0)->click();
        sheet->accept();
    });
    ASSERT_TRUE(Frame().RunCommand(CommandId::SourceOptions));
    EXPECT_EQ(StoredInt("Controller", "Failover"), 0);
    EXPECT_EQ(app->Controller().GetFailover(), 0);
    EXPECT_EQ(Frame().Connection().Failover(), 0) << "the window's flag follows the stored one";
    ASSERT_TRUE(WaitFor([&] { return Frame().PaneText(mavo::CMainFrame::kSourcePane) == "Primary"; }));

    // The commands now speak of the primary as the active source.
    ASSERT_TRUE(Frame().RunCommand(CommandId::ConnectPrimary));
    ASSERT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Live"));
    messages.answers.push_back(mavo::CMessageService::No);
    ASSERT_TRUE(Frame().RunCommand(CommandId::Failover));
    EXPECT_EQ(messages.WithCaption("Failover").back().text, "Are you sure you want to connect to the BACKUP source?");

    // Cancel stores no kind, but what a kind dialog wrote on its OK stays.
    DisconnectNow();
    OnModal<mavo::CSourceSettingsSheet>([](mavo::CSourceSettingsSheet* sheet) {
        mavo::CSourceSettingsPage* primary = sheet->PrimaryPage();
        primary->Choice(1)->click();
        OnModal<mavo::CTimeoutDialog>([](mavo::CTimeoutDialog* dialog) {
            dialog->TimeoutEdit()->setText(QStringLiteral("33"));
            dialog->accept();
        });
        primary->TimeoutsButton()->click();
        sheet->reject();
    });
    ASSERT_TRUE(Frame().RunCommand(CommandId::SourceOptions));
    EXPECT_EQ(StoredInt("Controller", "FeedSource"), 1) << "Cancel keeps the stored kind";
    EXPECT_EQ(StoredInt("Controller/Timeouts", "Timeout"), 33) << "the time-out dialog wrote on its OK";
    EXPECT_EQ(app->Controller().GetSource()->GetKind(), 1);
    // A later save of all settings keeps what the dialog stored.
    ASSERT_TRUE(Frame().SaveAllSettings());
    EXPECT_EQ(StoredInt("Controller/Timeouts", "Timeout"), 33);
    EXPECT_EQ(app->Controller().GetSource()->GetSettings().timeoutSeconds, 33);
}


} // namespace

TEST_F(SourceOptionsTest, AWrongPasswordEnteredInTheDialogIsRefusedByTheDatabasePort)
{
    PointFeedAtServer();
    ASSERT_EQ(StartApp(0), mavo::CMAVOApp::StartResult::Started);
    DisconnectNow();
    ASSERT_TRUE(ChooseDatabaseSource("trader1", "not-the-password"));
    ASSERT_TRUE(Frame().RunCommand(CommandId::ConnectPrimary));
    ASSERT_TRUE(WaitFor([&] {
        for (const auto& shown : messages.WithCaption("Error"))
            if (shown.text.rfind("Login Failed", 0) == 0)
                return true;
        return false;
    })) << "the password travels with the login";
    EXPECT_NE(Frame().PaneText(mavo::CMainFrame::kFeedStatePane).toStdString(), "Feed Live");
}
