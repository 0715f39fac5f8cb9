#include "Brindle/base/Exception.h"
#include "Eventually.h"
#include "MessageBuilder.h"
#include "protocol/FieldIds.h"
#include "zph/ZPHController.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

using namespace ZPH;

using namespace ZPHWire;
using zphtest::Msg;

namespace {

class Keys : public KeyClient {
public:
    void OnKeyUpdate(unsigned key) override
    {
        std::lock_guard guard(lock);
        keys.push_back(key);
    }
    std::vector<unsigned> Take()
    {
        std::lock_guard guard(lock);
        return std::exchange(keys, {});
    }
    std::mutex lock;
    std::vector<unsigned> keys;
};

class Messages : public MsgClient {
public:
    void OnMessage(ZPHMessage* msg, unsigned flag) override { seen.emplace_back(msg->m_type, flag); }
    std::vector<std::pair<char, unsigned>> seen;
};

class CountingController : public ZPHController {
public:
    void RequestObject(unsigned key) override { requested.push_back(key); }
    void ReleaseObject(unsigned key) override { released.push_back(key); }
    std::vector<unsigned> requested, released;
};

ZPHMessage Line(char type, int page, int line) { return Msg(type, page, line, F_ISSUE_NAME, "x"); }

} // namespace

TEST(ZPHController, OnePerProcess)
{
    EXPECT_EQ(ZPHController::GetInstance(), nullptr);
    {
        ZPHController controller;
        EXPECT_EQ(ZPHController::GetInstance(), &controller);
        EXPECT_THROW(ZPHController second, Brindle::CException);
        EXPECT_EQ(ZPHController::GetInstance(), &controller);
    }
    EXPECT_EQ(ZPHController::GetInstance(), nullptr);
}

TEST(ZPHController, ReferenceCountsNeverGoNegativeAndCallTheHooksAtTheEdges)
{
    CountingController controller;
    const unsigned key = CreateZPHKey(4, 2);
    EXPECT_EQ(controller.AddRef(key), 1);
    EXPECT_EQ(controller.AddRef(key), 2);
    EXPECT_EQ(controller.RefCount(4, 2), 2);
    for (int left : {1, 0, 0}) // the last an unbalanced release
        EXPECT_EQ(controller.Release(key), left);
    EXPECT_EQ(controller.AddRef(key), 1);
    EXPECT_EQ(controller.requested, (std::vector<unsigned>{key, key}));
    EXPECT_EQ(controller.released, std::vector<unsigned>{key});
    EXPECT_EQ(std::tuple(controller.AddRef(0), controller.AddRef(30101), controller.RefCount(301, 1)),
              std::tuple(0, 0, 0));
}

TEST(ZPHController, DispatchCallsEveryKeyClientOncePerQueuedKey)
{
    ZPHController controller;
    Keys a, b;
    controller.Register(&a);
    controller.Register(&b);
    for (unsigned key : {1203u, 105u, 1203u, 0u})
        controller.AddDispatch(key);
    controller.Dispatch();
    EXPECT_EQ(a.Take(), (std::vector<unsigned>{1203, 105}));
    EXPECT_EQ(b.Take(), (std::vector<unsigned>{1203, 105}));
    controller.Dispatch();
    EXPECT_TRUE(a.Take().empty());
    controller.Unregister(&b);
    controller.AddDispatch(7);
    controller.Dispatch();
    EXPECT_EQ(a.Take(), std::vector<unsigned>{7});
    EXPECT_TRUE(b.Take().empty());
}

TEST(ZPHController, MessageClientsHearLineDataOrTheRestByTheirFlagAndTimestampClientsEachFeedTime)
{
    ZPHController controller;
    Messages lines, others, both;
    controller.Register(&lines, true);
    controller.Register(&others, false);
    controller.Register(&both, true);
    controller.Register(&both, false);
    for (char type : {MSG_DATA, MSG_TIME, MSG_REFRESH, MSG_TITLE, MSG_CLEAR}) {
        ZPHMessage msg(type, 0, 0);
        controller.DispatchMessage(msg);
    }
    EXPECT_EQ(lines.seen, (std::vector<std::pair<char, unsigned>>{{'D', 1}, {'R', 1}, {'C', 1}}));
    EXPECT_EQ(others.seen, (std::vector<std::pair<char, unsigned>>{{'T', 0}, {'H', 0}}));
    EXPECT_EQ(both.seen.size(), 5u);

    struct Times : TimestampClient {
        std::vector<std::string> seen;
        void OnTimestamp(const Timestamp& ts) override { seen.push_back(ts.GetFeedTime()); }
    } times;
    controller.Register(&times);
    for (char type : {MSG_TIME, MSG_NOTIFICATION}) {
        ZPHMessage msg = Msg(type, 0, 0, F_FEED_TIME, std::string("10:00:0") + type);
        controller.DispatchMessage(msg);
    }
    EXPECT_EQ(times.seen, std::vector<std::string>{"10:00:0T"}) << "a feed time outside a time message is no time";
}

TEST(ZPHController, ApplyMessageTakesGoodMessagesAndRefusesBadOnes)
{
    ZPHController controller;
    Keys keys;
    controller.Register(&keys);

    EXPECT_TRUE(controller.ApplyMessage(Line(MSG_REFRESH, 2, 3)));
    controller.Dispatch();
    EXPECT_EQ(keys.Take(), std::vector<unsigned>{203});

    EXPECT_TRUE(controller.ApplyMessage(Msg(MSG_TITLE, 2, 0, F_TITLE, "Bills")));
    EXPECT_STREQ(controller.GetLineCache().GetPage(2)->GetTitle(), "Bills");
    EXPECT_TRUE(controller.ApplyMessage(Msg(MSG_PAGE_COUNT, 2, 0, F_PAGE_COUNT, 9)));
    EXPECT_EQ(controller.GetLineCache().GetPage(2)->GetCount(), 9);

    EXPECT_TRUE(controller.ApplyMessage(Msg(MSG_USER, 0, 0, F_USER_LEVEL, 999, F_ORDER_ENTRY, 1)));
    EXPECT_EQ(std::pair(controller.GetUserLevel(), controller.GetOrderEntry()), std::pair(999, true));

    EXPECT_TRUE(controller.ApplyMessage(Msg(MSG_PERMISSIONS, 0, 0, F_PERMISSIONS, "0110")));
    std::string allowed;
    for (int page : {0, 1, 2, 3, 5, 301})
        allowed += controller.GetPermission(page) ? '1' : '0';
    EXPECT_EQ(allowed, "001100") << "pages 0, 1, 2, 3, 5 and 301";

    const struct {
        char type;
        int page, line, field;
        std::string text;
    } bad[] = {
        {MSG_DATA, 301, 1, F_ISSUE_NAME, "x"},
        {MSG_TITLE, 0, 0, 0, ""},
        {MSG_PAGE_COUNT, 2, 0, F_PAGE_COUNT, "many"},
        {MSG_PERMISSIONS, 0, 0, F_PERMISSIONS, "01x"},
        {MSG_PERMISSIONS, 0, 0, F_PERMISSIONS, std::string(301, '1')},
        {MSG_PERMISSIONS, 0, 0, 0, ""},
        {MSG_USER, 0, 0, F_USER_LEVEL, "high"},
        {MSG_NOTICE, 0, 0, 0, ""},
        {MSG_TIME, 0, 0, F_SEND_TIME, "soon"},
        {'\x05', 0, 0, 0, ""},
    };
    for (const auto& b : bad) {
        ZPHMessage msg(b.type, b.page, b.line);
        if (b.field != 0)
            msg.AddField(b.field, b.text);
        EXPECT_FALSE(controller.ApplyMessage(msg)) << b.type;
    }
    EXPECT_EQ(controller.GetUserLevel(), 999);
    EXPECT_TRUE(controller.GetPermission(2)) << "a refused permission text changes nothing";
    EXPECT_EQ(controller.GetLineCache().GetPage(2)->GetCount(), 9);
}

TEST(ZPHController, ClearEmptiesTheCacheAndTellsTheKeyClients)
{
    ZPHController controller;
    Keys keys;
    controller.Register(&keys);
    controller.ApplyMessage(Line(MSG_REFRESH, 1, 1));
    controller.ApplyMessage(Line(MSG_REFRESH, 9, 26));
    controller.Dispatch();
    keys.Take();
    LineRef held = controller.GetLineCache().GetForRead(926);
    controller.Clear();
    EXPECT_EQ(keys.Take(), (std::vector<unsigned>{101, 926}));
    EXPECT_FALSE(controller.GetLineCache().GetForRead(926));
    EXPECT_EQ(held->m_issueName, "x");
}

TEST(ZPHController, AClientUnregisteredDuringAFeedFloodIsNeverCalledAfterwards)
{
    ZPHController controller;
    std::atomic<bool> stop{false};
    std::thread feed([&] {
        int i = 0;
        while (!stop) {
            controller.ApplyMessage(Line(MSG_DATA, 1 + i % 300, 1 + i % 26));
            controller.Dispatch();
            ++i;
        }
    });
    for (int round = 0; round < 200; ++round) {
        struct Checked : KeyClient {
            std::atomic<bool> gone{false};
            std::atomic<int> calls{0};
            void OnKeyUpdate(unsigned) override
            {
                EXPECT_FALSE(gone.load());
                ++calls;
            }
        };
        auto client = std::make_unique<Checked>();
        controller.Register(client.get());
        ASSERT_TRUE(testsupport::Eventually([&] { return client->calls > 0; }, std::chrono::seconds(30),
                                            std::chrono::milliseconds(1)));
        controller.Unregister(client.get());
        client->gone = true;
    }
    stop = true;
    feed.join();
}
