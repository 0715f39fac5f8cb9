// The connection commands, login failures, notifications and the waiting
// dialog, against a real zphd.
#include "LiveApp.h"

#include "core/FrameTexts.h"
#include "core/ui/WaitingDialog.h"

#include <QAction>

using namespace testsupport;
using mavo::CommandId;

namespace {

class ConnectionTest : public LiveAppFixture {};

} // namespace

TEST_F(ConnectionTest, FailoverDisconnectReconnectAndTheWaitingDialog)
{
    PointFeedAtServer();
    ASSERT_EQ(StartApp(), mavo::CMAVOApp::StartResult::Started);
    ASSERT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Live"));
    EXPECT_FALSE(Enabled(CommandId::ConnectPrimary));
    EXPECT_TRUE(Enabled(CommandId::ConnectBackup));
    EXPECT_TRUE(Enabled(CommandId::Failover));
    EXPECT_FALSE(Frame().Commands().ToolbarAction(CommandId::ConnectPrimary)->isEnabled());

    // No: nothing changes.
    messages.answers.push_back(mavo::CMessageService::No);
    ASSERT_TRUE(Frame().RunCommand(CommandId::Failover));
    EXPECT_EQ(Frame().Connection().Failover(), 0);

    messages.answers.push_back(mavo::CMessageService::Yes);
    ASSERT_TRUE(Frame().RunCommand(CommandId::Failover));
    auto asked = messages.WithCaption("Failover");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].text, "Are you sure you want to connect to the BACKUP source?");
    EXPECT_EQ(asked[1].buttons, mavo::CMessageService::Buttons::YesNo);
    EXPECT_EQ(StoredInt("Controller", "Failover"), 1);
    ASSERT_TRUE(WaitForLive("Backup"));
    // On the backup, connected: connect primary stays offered, backup not.
    EXPECT_TRUE(Enabled(CommandId::ConnectPrimary));
    EXPECT_FALSE(Enabled(CommandId::ConnectBackup));

    messages.answers.push_back(mavo::CMessageService::Yes);
    ASSERT_TRUE(Frame().RunCommand(CommandId::Failover));
    EXPECT_EQ(messages.WithCaption("Failover").back().text, "Are you sure you want to connect to the PRIMARY source?");
    EXPECT_EQ(StoredInt("Controller", "Failover"), 0);
    EXPECT_TRUE(WaitForLive("Primary"));

    // Disconnect, and connect again.
    ASSERT_TRUE(Frame().RunCommand(CommandId::Disconnect));
    EXPECT_FALSE(Frame().Connection().IsConnected());
    ASSERT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Dead"));
    EXPECT_FALSE(Enabled(CommandId::Disconnect));
    EXPECT_FALSE(Enabled(CommandId::Failover));
    EXPECT_TRUE(Enabled(CommandId::ConnectPrimary));
    EXPECT_TRUE(Frame().Commands().ToolbarAction(CommandId::ConnectPrimary)->isEnabled());
    // No modem: nothing was asked.
    EXPECT_TRUE(messages.WithCaption("Disconnect").empty());

    ASSERT_TRUE(Frame().RunCommand(CommandId::ConnectPrimary));
    ASSERT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Live"));
    EXPECT_EQ(StoredInt("Controller", "Failover"), 0);

    // The waiting dialog names the address; its Cancel disconnects. The
    // start of a wait comes as the feed thread reports it.
    std::thread([&] { app->Controller().OnWaitBegin(); }).join();
    ASSERT_TRUE(WaitFor([&] { return Frame().WaitingDialog()->isVisible(); }));
    EXPECT_EQ(Frame().WaitingDialog()->Text().toStdString(),
              "Trying to connect to " + app->Controller().GetSource()->GetStatusText());

    Frame().WaitingDialog()->reject();  // Cancel
    EXPECT_FALSE(Frame().WaitingDialog()->isVisible());
    EXPECT_FALSE(Frame().Connection().IsConnected());

    std::thread([&] {
        app->Controller().OnWaitBegin();
        app->Controller().OnWaitEnd();
    }).join();
    Spin(300);
    EXPECT_FALSE(Frame().WaitingDialog()->isVisible());
}

TEST_F(ConnectionTest, LoginFailureShowsTheReasonIfAnyAndDisconnects)
{
    const std::pair<const char*, const char*> cases[] = {
        {"fail-login Account locked", "Login Failed\nReason: Account locked"},
        {"fail-login", "Login Failed"},
    };
    PointFeedAtServer();
    for (const auto& [control, text] : cases) {
        SCOPED_TRACE(control);
        messages.shown.clear();
        ASSERT_EQ(zphd.Control(control), "OK");
        ASSERT_EQ(StartApp(), mavo::CMAVOApp::StartResult::Started);
        ASSERT_TRUE(WaitFor([&] { return !messages.WithCaption("Error").empty(); }));
        auto shown = messages.WithCaption("Error");
        EXPECT_EQ(shown[0].text, text);
        EXPECT_EQ(shown[0].icon, mavo::CMessageService::Icon::Error);
        EXPECT_TRUE(WaitFor([&] { return !Frame().Connection().IsConnected(); }));
        app.reset();
    }
}

TEST_F(ConnectionTest, NotificationsPopUpWithLineBreaksEachOne)
{
    PointFeedAtServer();
    Section("MainFrame").SetInt("ContribPopup", 1);
    ASSERT_EQ(StartApp(), mavo::CMAVOApp::StartResult::Started);
    ASSERT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Live"));
    ASSERT_EQ(zphd.Control("notify all Desk closes|Call 110").substr(0, 2), "OK");
    ASSERT_EQ(zphd.Control("notify all Second notice").substr(0, 2), "OK");
    ASSERT_TRUE(WaitFor([&] { return messages.WithCaption("Notification").size() >= 2; }));
    auto shown = messages.WithCaption("Notification");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "Desk closes\nCall 110");
    EXPECT_EQ(shown[0].icon, mavo::CMessageService::Icon::Information);
    EXPECT_EQ(shown[1].text, "Second notice");

    // Popups off: nothing is shown.
    ASSERT_TRUE(Frame().RunCommand(CommandId::PopupNotifications));
    EXPECT_EQ(Frame().Settings().contribPopup, 0);
    ASSERT_EQ(zphd.Control("notify all Quiet").substr(0, 2), "OK");
    Spin(1500);
    EXPECT_EQ(messages.WithCaption("Notification").size(), 2u);
}
