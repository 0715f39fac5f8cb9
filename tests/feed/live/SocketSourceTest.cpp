// The socket source against a real zphd on loopback.
#include "FieldCompare.h"
#include "RecordingController.h"
#include "ZphdServer.h"
#include "protocol/FieldIds.h"
#include "zph/ZPHKey.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

using namespace ZPH;

using namespace ZPHWire;
using namespace feedtest;
using namespace std::chrono_literals;

namespace {

class SocketSource : public ::testing::Test {
protected:
    void Connect(const std::string& user = "trader1", int timeoutSeconds = 20)
    {
        controller.user = user;
        controller.Register(&feed, true);
        controller.Register(&feed, false);
        controller.Register(static_cast<KeyClient*>(&feed));
        ASSERT_TRUE(controller.Dial(SocketTo(server.SocketPort(), timeoutSeconds)));
        ASSERT_TRUE(controller.WaitState(FEED_LIVE)) << "never live";
    }
    void TearDown() override
    {
        controller.Shutdown();
        controller.Unregister(&feed, true);
        controller.Unregister(&feed, false);
        controller.Unregister(static_cast<KeyClient*>(&feed));
    }

    // True once the cached line shows the server's value of a field.
    bool CacheShows(int page, int line, int field, const std::string& value)
    {
        return controller.WaitLine(page, line, [&](const LineObject& l) { return LineShows(l, field, value); });
    }
    // True once the cached page passes pred.
    bool PageShows(int page, const std::function<bool(const PageObject&)>& pred)
    {
        return controller.WaitFor([&] {
            PageRef ref = controller.GetLineCache().GetPage(page);
            return ref && pred(*ref);
        });
    }

    ZphdServer server;
    RecordingController controller;
    FeedRecorder feed;
};

} // namespace

TEST_F(SocketSource, LoginGivesLevelOrderEntryPermissionsAndTitlesAndTheyFollowTheServer)
{
    Connect("trader1");
    ZPHSource* source = controller.GetSource();
    EXPECT_TRUE(source->IsConnected());
    EXPECT_TRUE(source->IsLoggedIn());
    EXPECT_EQ(controller.GetUserLevel(), 101);
    EXPECT_TRUE(controller.GetOrderEntry());
    EXPECT_TRUE(controller.WaitFor([&] { return controller.permissionsLoaded > 0; }));
    for (int page = 1; page <= 6; ++page)
        EXPECT_TRUE(controller.GetPermission(page)) << page;
    EXPECT_FALSE(controller.GetPermission(7));
    EXPECT_TRUE(controller.WaitFor([&] { return !controller.titles.empty(); }));
    PageRef page1 = controller.GetLineCache().GetPage(1);
    ASSERT_TRUE(page1);
    EXPECT_STRNE(page1->GetTitle(), "");
    EXPECT_EQ(controller.Locked([&] { return controller.waitBegins; }), 1);
    EXPECT_EQ(controller.Locked([&] { return controller.waitEnds; }), 1);
    EXPECT_EQ(source->GetStatusText(), "127.0.0.1:" + std::to_string(server.SocketPort()));

    const int loaded = controller.Locked([&] { return controller.permissionsLoaded; });
    server.Ok("permissions trader1 1-2,9");
    EXPECT_TRUE(controller.WaitFor([&] { return controller.permissionsLoaded > loaded; }));
    EXPECT_TRUE(controller.GetPermission(9));
    EXPECT_FALSE(controller.GetPermission(3));
    server.Ok("level trader1 120");
    EXPECT_TRUE(controller.WaitFor([&] { return controller.GetUserLevel() == 120; }));
    server.Ok("order-entry trader1 no");
    EXPECT_TRUE(controller.WaitFor([&] { return !controller.GetOrderEntry(); }));

    // An unknown user is the server's default user, a full-view user sees all.
    source->Disconnect();
    EXPECT_EQ(source->GetFeedState(), FEED_DEAD);
    controller.user = "desk";
    source->Connect();
    ASSERT_TRUE(controller.WaitState(FEED_LIVE));
    EXPECT_TRUE(controller.WaitFor([&] { return controller.GetUserLevel() == 999; }));
    EXPECT_TRUE(controller.WaitFor([&] { return controller.GetPermission(300) || controller.GetPermission(7); }));
}

TEST_F(SocketSource, PageRequestFillsTheCacheWithTheServersLines)
{
    Connect();
    ASSERT_TRUE(controller.GetSource()->RequestPage(1));
    ASSERT_TRUE(controller.WaitLine(1, 1));
    ASSERT_TRUE(controller.WaitFor([&] { return !feed.OfType(MSG_REFRESH).empty(); }));
    for (int line = 1; line <= MAX_LINE; ++line) {
        const auto fields = server.Line(1, line);
        for (const auto& [id, text] : fields)
            EXPECT_TRUE(CacheShows(1, line, id, text)) << "line " << line << " field " << id;
    }
    EXPECT_TRUE(feed.Saw(CreateZPHKey(1, 2)));
    EXPECT_FALSE(controller.GetLineCache().GetForRead(CreateZPHKey(2, 1))) << "only the asked-for page";

    // After a clear, asking again brings the page back.
    controller.Clear();
    EXPECT_EQ(controller.GetLineCache().GetLineCount(), 0u);
    EXPECT_TRUE(controller.LoadPage(1));
    EXPECT_FALSE(controller.GetSource()->RequestPage(0));
    EXPECT_FALSE(controller.GetSource()->RequestPage(301));
}

TEST_F(SocketSource, EveryInboundKindReachesTheCacheAndTheClients)
{
    Connect("desk");
    ASSERT_TRUE(controller.LoadPage(2));

    // 'D': a changed field.
    feed.ForgetKeys();
    server.Ok("set 2 3 5 CHANGED ISSUE");
    EXPECT_TRUE(CacheShows(2, 3, F_ISSUE_NAME, "CHANGED ISSUE"));
    EXPECT_TRUE(controller.WaitFor([&] { return feed.Saw(CreateZPHKey(2, 3)); }));
    EXPECT_TRUE(controller.WaitFor([&] { return !feed.OfType(MSG_DATA).empty(); }));

    // 'I' and 'E': lines move.
    const auto before4 = server.Line(2, 4);
    server.Ok("insert 2 4 text INSERTED TEXT");
    EXPECT_TRUE(CacheShows(2, 4, F_TEXT, "INSERTED TEXT"));
    EXPECT_TRUE(CacheShows(2, 5, F_ISSUE_NAME, before4.at(F_ISSUE_NAME)));
    server.Ok("erase 2 4");
    EXPECT_TRUE(CacheShows(2, 4, F_ISSUE_NAME, before4.at(F_ISSUE_NAME)));
    EXPECT_FALSE(feed.OfType(MSG_INSERT).empty());
    EXPECT_TRUE(controller.WaitFor([&] { return !feed.OfType(MSG_ERASE).empty(); }));

    // 'C': the page goes.
    server.Ok("clear 2");
    EXPECT_TRUE(controller.WaitFor([&] { return controller.GetLineCache().GetForRead(CreateZPHKey(2, 1)) == nullptr; }));

    // 'H' and 'K': title and count.
    server.Ok("title 2 RENAMED PAGE");
    EXPECT_TRUE(PageShows(2, [](const PageObject& page) { return std::string(page.GetTitle()) == "RENAMED PAGE"; }));
    EXPECT_TRUE(controller.WaitFor([&] { return !controller.titles.empty() && controller.titles.back() == 2; }));
    server.Ok("count 2 17");
    EXPECT_TRUE(PageShows(2, [](const PageObject& page) { return page.GetCount() == 17; }));

    // 'N' and 'O'.
    server.Ok("notify all first|second");
    EXPECT_TRUE(controller.WaitFor(
        [&] { return !controller.notifications.empty() && controller.notifications.back() == "first|second"; }));
    server.Ok("notice all 42 the answer");
    EXPECT_TRUE(controller.WaitFor([&] { return !controller.notices.empty() && controller.notices.back() == 42; }));

    // 'T': the feed time with the metrics.
    struct Times : TimestampClient {
        std::mutex lock;
        std::vector<Timestamp> seen;
        void OnTimestamp(const Timestamp& ts) override
        {
            std::lock_guard guard(lock);
            seen.push_back(ts);
        }
    } times;
    controller.Register(&times);
    EXPECT_TRUE(controller.WaitFor([&] {
        std::lock_guard guard(times.lock);
        return times.seen.size() >= 2;
    }));
    controller.Unregister(&times);
    const Timestamp last = times.seen.back();
    EXPECT_STRNE(last.GetFeedTime(), "");
    EXPECT_STRNE(last.GetConnectTime(), "");
    EXPECT_GT(last.GetPackets(), 5);
    EXPECT_EQ(last.GetBadPackets(), 0);
    EXPECT_GE(last.GetMaxDelay(), 0);
    const Timestamp metrics = controller.GetSource()->GetMetrics();
    EXPECT_GE(metrics.GetPackets(), last.GetPackets());
    controller.GetSource()->ResetMetrics();
    EXPECT_LT(controller.GetSource()->GetMetrics().GetPackets(), 3);
}

TEST_F(SocketSource, FeedGoesStaleWithoutDataThenDeadWhenDroppedOrTheServerStopsAndLiveAgainEachTime)
{
    Connect("trader1", 2);
    server.Ok("stall 5");
    ASSERT_TRUE(controller.WaitState(FEED_STALE));
    ASSERT_TRUE(controller.WaitState(FEED_LIVE));
    controller.Locked([&] { controller.states.clear(); return 0; });
    server.Ok("drop all");
    ASSERT_TRUE(controller.WaitFor([&] { return !controller.states.empty() && controller.states.front() == FEED_DEAD; }));
    // Then it dials again by itself and the feed comes back.
    ASSERT_TRUE(controller.WaitState(FEED_LIVE));
    EXPECT_TRUE(controller.GetSource()->IsConnected());
    EXPECT_GE(controller.Locked([&] { return controller.waitBegins; }), 2);
    EXPECT_EQ(controller.Locked([&] { return controller.waitBegins - controller.waitEnds; }), 0);

    controller.Locked([&] { controller.log.clear(); return 0; });
    server.Stop();
    ASSERT_TRUE(controller.WaitState(FEED_DEAD));
    EXPECT_TRUE(controller.GetSource()->IsConnected()) << "still trying";
    server.Restart();
    ASSERT_TRUE(controller.WaitState(FEED_LIVE));
    EXPECT_TRUE(controller.WaitFor(
        [&] { return controller.Logged("cannot connect") || controller.Logged("connection lost"); }));
}

TEST_F(SocketSource, NoTimeoutMeansNeverStale)
{
    Connect("trader1", 0);
    server.Ok("stall 3");
    std::this_thread::sleep_for(4s);
    EXPECT_EQ(controller.GetSource()->GetFeedState(), FEED_LIVE);
    EXPECT_EQ(controller.Locked([&] { return controller.states; }), std::vector<int>{FEED_LIVE});
}

TEST_F(SocketSource, ALoginRefusedWithOrWithoutAReasonWaitsForARetry)
{
    server.Ok("fail-login Account suspended");
    controller.Dial(SocketTo(server.SocketPort()));
    ASSERT_TRUE(controller.WaitFor([&] { return !controller.loginFailures.empty(); }));
    EXPECT_EQ(controller.loginFailures.front(), "Account suspended");
    EXPECT_EQ(controller.GetSource()->GetFeedState(), FEED_DEAD);
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(controller.Locked([&] { return controller.loginFailures.size(); }), 1u) << "no dialling on its own";
    EXPECT_TRUE(controller.states.empty() || controller.states.back() != FEED_LIVE);

    server.Ok("fail-login");
    controller.GetSource()->Retry();
    ASSERT_TRUE(controller.WaitFor([&] { return controller.loginFailures.size() == 2; }));
    EXPECT_EQ(controller.loginFailures.back(), "<none>");

    // The client's retry from inside the call-back.
    controller.Locked([&] {
        controller.onLoginFailed = [&] { controller.GetSource()->Retry(); };
        return 0;
    });
    controller.GetSource()->Retry();
    ASSERT_TRUE(controller.WaitState(FEED_LIVE));
}

TEST_F(SocketSource, DisconnectAndRetryFromInsideCallBacksDoNotDeadlock)
{
    std::atomic<int> lives{0};
    controller.Locked([&] {
        controller.onFeedState = [&](int state) {
            if (state != FEED_LIVE)
                return;
            if (++lives == 1)
                controller.GetSource()->Retry();
            else
                controller.GetSource()->Disconnect();
        };
        return 0;
    });
    controller.Dial(SocketTo(server.SocketPort()), 100);
    ASSERT_TRUE(controller.WaitFor([&] { return lives >= 2 && !controller.GetSource()->IsConnected(); }));
    ASSERT_TRUE(controller.WaitState(FEED_DEAD));
    controller.Locked([&] {
        controller.onFeedState = nullptr;
        return 0;
    });
    // Connect works again afterwards.
    controller.GetSource()->Connect();
    EXPECT_TRUE(controller.WaitState(FEED_LIVE));
}

TEST_F(SocketSource, AMalformedPacketIsCountedAndLoggedAndTheFeedGoesOn)
{
    Connect();
    controller.SetLogging(true);
    ASSERT_TRUE(controller.LoadPage(1));
    server.Ok("malformed all garbage");
    server.Ok("malformed all header");
    EXPECT_TRUE(controller.WaitFor([&] { return controller.GetSource()->GetMetrics().GetBadPackets() >= 2; }));
    EXPECT_TRUE(controller.WaitFor([&] { return controller.errors.size() >= 2; }));
    EXPECT_NE(controller.errors.front().find("bad packet"), std::string::npos);
    server.Ok("set 1 2 5 STILL FLOWING");
    EXPECT_TRUE(CacheShows(1, 2, F_ISSUE_NAME, "STILL FLOWING"));

    controller.SetLogging(false);
    const std::size_t logged = controller.Locked([&] { return controller.errors.size(); });
    server.Ok("malformed all garbage");
    EXPECT_TRUE(controller.WaitFor([&] { return controller.GetSource()->GetMetrics().GetBadPackets() >= 3; }));
    EXPECT_EQ(controller.Locked([&] { return controller.errors.size(); }), logged);
}
