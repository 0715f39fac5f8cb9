// The feed state in the status bar, against a real zphd: not connected at
// start, live with the feed time, stale after a stall, dead after a drop.
#include "AppFixture.h"

#include "core/FrameTexts.h"

using namespace testsupport;

namespace {

class FeedStatusTest : public AppFixture {};

} // namespace

TEST_F(FeedStatusTest, NotConnectedAtStartThenLiveWithTheFeedTimeAndDeadAfterADrop)
{
    PointFeedAtServer(20, /*reconnectSeconds=*/10);
    ASSERT_EQ(StartApp(), mavo::CMAVOApp::StartResult::Started);
    // The feed's first events are still waiting to be handled.
    EXPECT_EQ(Frame().PaneText(mavo::CMainFrame::kFeedStatePane).toStdString(), "Not Connected");
    EXPECT_EQ(Frame().PaneText(mavo::CMainFrame::kMessagePane).toStdString(), "Ready");

    ASSERT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Live"));
    EXPECT_EQ(Frame().PaneText(mavo::CMainFrame::kSourcePane).toStdString(), "Primary");
    EXPECT_NE(Frame().PaneText(mavo::CMainFrame::kAddressPane).toStdString().find(std::to_string(zphd.SocketPort())), std::string::npos)
        << Frame().PaneText(mavo::CMainFrame::kAddressPane).toStdString();
    ASSERT_TRUE(WaitFor([&] { return !Frame().PaneText(mavo::CMainFrame::kFeedTimePane).isEmpty(); }));
    const QString first = Frame().PaneText(mavo::CMainFrame::kFeedTimePane);
    // The feed time moves on, once a second.
    EXPECT_TRUE(WaitFor([&] { return Frame().PaneText(mavo::CMainFrame::kFeedTimePane) != first; }, 10000));

    // A dropped connection makes the feed dead; the source dials again by
    // itself.
    ASSERT_EQ(zphd.Control("drop").substr(0, 2), "OK");
    ASSERT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Dead", 15000));
    EXPECT_EQ(Frame().PaneText(mavo::CMainFrame::kSourcePane).toStdString(), "Primary");
    EXPECT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Live", 30000));
}

TEST_F(FeedStatusTest, StallLongerThanTheTimeOutMakesTheFeedStale)
{
    PointFeedAtServer(/*timeoutSeconds=*/2);
    ASSERT_EQ(StartApp(), mavo::CMAVOApp::StartResult::Started);
    ASSERT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Live"));
    ASSERT_EQ(zphd.Control("stall 8"), "OK");
    ASSERT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Stale", 15000));
    // Data again after the stall: live again.
    EXPECT_TRUE(WaitForPane(mavo::CMainFrame::kFeedStatePane, "Feed Live", 20000));
}
