#include "Eventually.h"
#include "zph/ClientList.h"
#include "zph/Clients.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace ZPH;

using namespace std::chrono_literals;

namespace {

// Records calls; can be made to block inside a call until released.
class BlockingClient : public KeyClient {
public:
    void OnKeyUpdate(unsigned key) override
    {
        last = key;
        ++calls;
        inside = true;
        while (hold)
            std::this_thread::sleep_for(1ms);
        // A call that outlived Unregister would find the client gone.
        EXPECT_FALSE(destroyed.load());
        inside = false;
    }
    std::atomic<unsigned> last{0};
    std::atomic<int> calls{0};
    std::atomic<bool> hold{false};
    std::atomic<bool> inside{false};
    std::atomic<bool> destroyed{false};
};

} // namespace

TEST(ClientList, UnregisterWaitsForARunningCallBack)
{
    ClientList<KeyClient> list;
    BlockingClient client;
    ASSERT_TRUE(list.Register(&client));
    EXPECT_FALSE(list.Register(&client)) << "registered once";
    client.hold = true;
    std::thread feed([&] { list.ForEach([](KeyClient* c, unsigned) { c->OnKeyUpdate(42); }); });
    ASSERT_TRUE(testsupport::Eventually([&] { return client.inside.load(); }, 30s, 1ms));

    auto unregistered = std::async(std::launch::async, [&] { return list.Unregister(&client); });
    EXPECT_EQ(unregistered.wait_for(200ms), std::future_status::timeout) << "must wait for the call";
    client.hold = false;
    EXPECT_TRUE(unregistered.get());
    EXPECT_FALSE(client.inside.load());
    client.destroyed = true;
    feed.join();

    list.ForEach([](KeyClient* c, unsigned) { c->OnKeyUpdate(43); });
    EXPECT_EQ(client.last.load(), 42u);
    EXPECT_FALSE(list.Unregister(&client));
}

TEST(ClientList, AClientMayUnregisterItselfFromItsOwnCallBack)
{
    ClientList<KeyClient> list;
    struct SelfRemover : KeyClient {
        ClientList<KeyClient>* list = nullptr;
        int calls = 0;
        void OnKeyUpdate(unsigned) override
        {
            ++calls;
            EXPECT_TRUE(list->Unregister(this));
        }
    } client;
    client.list = &list;
    list.Register(&client);
    list.ForEach([](KeyClient* c, unsigned) { c->OnKeyUpdate(1); });
    list.ForEach([](KeyClient* c, unsigned) { c->OnKeyUpdate(2); });
    EXPECT_EQ(client.calls, 1);
    EXPECT_EQ(list.Size(), 0u);
}

TEST(ClientList, FlagsSelectWhoIsCalledAndAThrowingClientDoesNotStopTheRound)
{
    ClientList<MsgClient> list;
    struct Recorder : MsgClient {
        std::vector<unsigned> flags;
        bool fail = false;
        void OnMessage(ZPHMessage*, unsigned flag) override
        {
            flags.push_back(flag);
            if (fail)
                throw std::runtime_error("client fault");
        }
    } a, b;
    a.fail = true;
    list.Register(&a, 1);
    list.Register(&a, 0);
    list.Register(&b, 1);
    list.ForEach([](MsgClient* c, unsigned f) { c->OnMessage(nullptr, f); }, [](unsigned f) { return f == 1; });
    EXPECT_EQ(a.flags, std::vector<unsigned>{1});
    EXPECT_EQ(b.flags, std::vector<unsigned>{1});
    EXPECT_EQ(list.Failures(), 1u);
    EXPECT_TRUE(list.Unregister(&a, 1));
    EXPECT_TRUE(list.IsRegistered(&a, 0));
}

TEST(ClientList, RegisterAndUnregisterUnderConcurrentDispatchNeverCallsAGoneClient)
{
    ClientList<KeyClient> list;
    std::atomic<bool> stop{false};
    std::vector<std::thread> feeds;
    for (int t = 0; t < 2; ++t) {
        feeds.emplace_back([&] {
            unsigned key = 0;
            while (!stop)
                list.ForEach([&](KeyClient* c, unsigned) { c->OnKeyUpdate(++key); });
        });
    }
    for (int round = 0; round < 300; ++round) {
        auto client = std::make_unique<BlockingClient>();
        list.Register(client.get());
        ASSERT_TRUE(testsupport::Eventually([&] { return client->calls > 0; }, 30s, 1ms));
        ASSERT_TRUE(list.Unregister(client.get()));
        ASSERT_FALSE(client->inside.load()) << "round " << round;
        client->destroyed = true;
    }
    stop = true;
    for (auto& feed : feeds)
        feed.join();
}
