// MAVO's controller call-backs, called as the feed thread calls them: what
// each copies and posts, and what it leaves to the window thread.
#include "core/ScreenController.h"

#include "TempDir.h"
#include "core/CommandTable.h"
#include "protocol/FieldIds.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

using namespace mavo;

namespace {

class ScreenControllerTest : public testing::Test {
protected:
    ScreenControllerTest()
    {
        link.SetPoster([this](FrameMessage&& m) {
            std::lock_guard guard(lock);
            posted.push_back(std::move(m));
        });
    }
    std::vector<FrameMessage> Posted()
    {
        std::lock_guard guard(lock);
        return posted;
    }
    // The ids of the posted messages, in posting order.
    std::vector<int> PostedIds()
    {
        std::vector<int> ids;
        for (const FrameMessage& m : Posted())
            ids.push_back(m.id);
        return ids;
    }
    // Lets a call-back run on a thread of its own, as the feed's does.
    template <typename F>
    static void OnFeedThread(F f)
    {
        std::thread(f).join();
    }

    testsupport::ScopedRegistryDir registry;
    CFrameLink link;
    std::mutex lock;
    std::vector<FrameMessage> posted;
    CScreenController controller{link};
};

} // namespace

TEST_F(ScreenControllerTest, LoginFailureDisconnectsThenReportsACopiedReason)
{
    std::string reason = "Account locked";
    OnFeedThread([&] { controller.OnLoginFailed(reason.c_str()); });
    reason.assign("overwritten by the library");  // the copy must not follow
    OnFeedThread([&] { controller.OnLoginFailed(nullptr); });

    ASSERT_EQ(PostedIds(), (std::vector<int>{MSG_COMMAND, MSG_LOGIN_FAILED, MSG_COMMAND, MSG_LOGIN_FAILED}));
    const auto messages = Posted();
    EXPECT_EQ(messages[0].first, static_cast<int>(CommandId::Disconnect));
    EXPECT_EQ(messages[1].text, std::optional<std::string>("Account locked"));
    EXPECT_FALSE(messages[3].text.has_value());
}

TEST_F(ScreenControllerTest, LoginFailureWithRetryRetriesAndReportsTheState)
{
    controller.SetRetryLogin(true);
    OnFeedThread([&] { controller.OnLoginFailed("busy"); });
    ASSERT_EQ(PostedIds(), std::vector<int>{MSG_FEED_STATE});
    const auto messages = Posted();
    EXPECT_EQ(messages[0].first, controller.GetSource()->GetFeedState());
    EXPECT_EQ(messages[0].second, controller.GetSource()->GetKind());
}

TEST_F(ScreenControllerTest, BackToBackNotificationsEachCarryTheirText)
{
    OnFeedThread([&] {
        controller.OnNotification("Desk closes|Call 110");
        controller.OnNotification("second");
    });
    ASSERT_EQ(PostedIds(), (std::vector<int>{MSG_NOTIFICATION, MSG_NOTIFICATION}));
    const auto messages = Posted();
    EXPECT_EQ(messages[0].text, std::optional<std::string>("Desk closes\nCall 110"));
    EXPECT_EQ(messages[1].text, std::optional<std::string>("second"));
}

TEST_F(ScreenControllerTest, DeadOrStaleFeedClearsTheCacheLiveKeepsIt)
{
    ZPHMessage line(ZPHWire::MSG_REFRESH, 4, 2);
    line.AddField(ZPHWire::F_ISSUE_NAME, "ARG 2030");
    ASSERT_TRUE(controller.ApplyMessage(line));
    const unsigned key = CreateZPHKey(4, 2);
    ASSERT_TRUE(controller.GetLineCache().GetForRead(key));

    OnFeedThread([&] { controller.OnFeedState(FeedState::Live); });
    EXPECT_TRUE(controller.GetLineCache().GetForRead(key));
    OnFeedThread([&] { controller.OnFeedState(FeedState::Stale); });
    EXPECT_FALSE(controller.GetLineCache().GetForRead(key));

    ASSERT_EQ(PostedIds(), (std::vector<int>{MSG_FEED_STATE, MSG_FEED_STATE}));
    const auto messages = Posted();
    EXPECT_EQ(messages[0].first, 2);
    EXPECT_EQ(messages[0].second, controller.GetSource()->GetKind());
    EXPECT_EQ(messages[1].first, 1);
    EXPECT_EQ(link.GetStatusText(), controller.GetSource()->GetStatusText());
    EXPECT_EQ(link.GetSourceName(), controller.GetSource()->GetName());
}

TEST_F(ScreenControllerTest, OtherCallBacksPostTheirMessages)
{
    OnFeedThread([&] {
        controller.OnWaitBegin();
        controller.OnWaitEnd();
        controller.OnPermissionsLoaded();
        controller.OnPageTitle(12);
        controller.OnFeedNotice(3);
        controller.OnSourceLog("connected");
        controller.OnSourceLog(104, "bad packet");
    });
    ASSERT_EQ(PostedIds(), (std::vector<int>{MSG_WAIT, MSG_WAIT, MSG_PERMISSIONS, MSG_PAGE_TITLE, MSG_FEED_NOTICE,
                                              MSG_SOURCE_LOG}));
    const auto messages = Posted();
    EXPECT_EQ(messages[0].first, 1);
    EXPECT_EQ(messages[1].first, 0);
    EXPECT_EQ(messages[3].first, 12);
    EXPECT_EQ(messages[4].second, 3);
    EXPECT_EQ(link.TakeSourceLog(), (std::vector<std::string>{"connected", "bad packet"}));
    // The waiting dialog names the address being dialled.
    EXPECT_EQ(link.GetStatusText(), controller.GetSource()->GetStatusText());
}

