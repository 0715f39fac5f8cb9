// CCallback: events reach plain functions in registration order, failures
// stay contained, and the entry list survives changes from inside a call.
#include "Brindle/base/Callback.h"

#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace Brindle;

namespace {

struct Log {
    std::vector<std::string> events;
};

void DataA(const char* data, int length, void* source, void* user)
{
    static_cast<Log*>(user)->events.push_back("A data " + std::string(data, length) + " "
                                              + std::to_string(reinterpret_cast<std::uintptr_t>(source)));
}
void DataB(const char* data, int length, void*, void* user)
{
    static_cast<Log*>(user)->events.push_back("B data " + std::string(data, length));
}
void OpenB(void* source, void* user)
{
    static_cast<Log*>(user)->events.push_back("B open " + std::to_string(reinterpret_cast<std::uintptr_t>(source)));
}
void CloseB(void*, void* user)
{
    static_cast<Log*>(user)->events.push_back("B close");
}
void BlockB(void*, void* user)
{
    static_cast<Log*>(user)->events.push_back("B block");
}
void Throwing(const char*, int, void*, void* user)
{
    static_cast<Log*>(user)->events.push_back("thrower");
    throw std::runtime_error("receiver failed");
}
void ThrowingInt(void*, void*)
{
    throw 42;
}

// A callback and the log its functions write to.
struct CCallbackTest : ::testing::Test {
    CCallback callback;
    Log log;
};

} // namespace

TEST_F(CCallbackTest, EventsReachTheEntriesThatHaveAFunctionInOrder)
{
    callback.Register(DataA, nullptr, nullptr, nullptr, &log);
    callback.Register(DataB, OpenB, CloseB, BlockB, &log);
    CDatasink& sink = callback;
    void* source = reinterpret_cast<void*>(7);

    sink.OnData("xy", 2, source);
    sink.OnOpen(source);
    sink.OnBlock(source);
    sink.OnClose(source);
    EXPECT_EQ(log.events, (std::vector<std::string>{"A data xy 7", "B data xy", "B open 7", "B block", "B close"}));
}

TEST_F(CCallbackTest, AThrowingFunctionDoesNotStopTheWalk)
{
    callback.Register(Throwing, ThrowingInt, nullptr, nullptr, &log);
    callback.Register(DataB, OpenB, nullptr, nullptr, &log);
    EXPECT_NO_THROW(callback.OnData("z", 1, nullptr));
    EXPECT_NO_THROW(callback.OnOpen(nullptr));
    EXPECT_EQ(log.events, (std::vector<std::string>{"thrower", "B data z", "B open 0"}));
}

TEST(CCallback, IdsGrowAcrossObjectsAndThreadsAndNeverRepeat)
{
    CCallback first;
    CCallback second;
    Log log;
    const int a = first.Register(DataA, nullptr, nullptr, nullptr, &log);
    const int b = second.Register(DataA, nullptr, nullptr, nullptr, &log);
    EXPECT_GE(a, 1);
    EXPECT_GT(b, a);

    std::vector<std::vector<int>> ids(4);
    threadtest::OnThreads(4, [&](int t) {
        CCallback own;
        for (int i = 0; i < 500; ++i)
            ids[t].push_back((t % 2 == 0 ? own : first).Register(nullptr, nullptr, nullptr, nullptr, nullptr));
    });
    std::set<int> all{a, b};
    for (const auto& list : ids) {
        EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
        all.insert(list.begin(), list.end());
    }
    EXPECT_EQ(all.size(), 2u + 4u * 500u);
    EXPECT_GT(*all.begin(), 0);
}

TEST_F(CCallbackTest, UnregisterRemovesOnlyThatEntryAndUnknownIdsChangeNothing)
{
    const int a = callback.Register(DataA, nullptr, nullptr, nullptr, &log);
    callback.Register(DataB, nullptr, nullptr, nullptr, &log);
    callback.Unregister(a + 1000);
    callback.Unregister(-1);
    callback.OnData("1", 1, nullptr);
    callback.Unregister(a);
    callback.OnData("2", 1, nullptr);
    EXPECT_EQ(log.events, (std::vector<std::string>{"A data 1 0", "B data 1", "B data 2"}));
}

namespace {

struct Reentrant {
    CCallback* callback = nullptr;
    int victim = 0;
    int added = 0;
    std::vector<std::string> calls;
};

void Recorder(const char* data, int length, void*, void* user)
{
    static_cast<Reentrant*>(user)->calls.push_back("recorder " + std::string(data, length));
}

void Changer(const char* data, int length, void*, void* user)
{
    auto* r = static_cast<Reentrant*>(user);
    r->calls.push_back("changer " + std::string(data, length));
    if (r->victim != 0) {
        r->callback->Unregister(r->victim);
        r->victim = 0;
        // Grow the list far enough that its storage moves.
        for (int i = 0; i < 64; ++i)
            r->callback->Register(nullptr, nullptr, nullptr, nullptr, nullptr);
        r->added = r->callback->Register(Recorder, nullptr, nullptr, nullptr, r);
    }
}

} // namespace

TEST(CCallback, RegisteringAndUnregisteringFromInsideADispatchKeepsTheWalkSound)
{
    CCallback callback;
    Reentrant r;
    r.callback = &callback;
    callback.Register(Changer, nullptr, nullptr, nullptr, &r);
    r.victim = callback.Register(Recorder, nullptr, nullptr, nullptr, &r);

    callback.OnData("1", 1, nullptr);
    // The removed entry was not called after its removal; the added one
    // waits for the next event.
    EXPECT_EQ(r.calls, (std::vector<std::string>{"changer 1"}));
    callback.OnData("2", 1, nullptr);
    EXPECT_EQ(r.calls, (std::vector<std::string>{"changer 1", "changer 2", "recorder 2"}));
}

TEST(CCallback, ConcurrentDispatchAndRegistrationLoseNothing)
{
    CCallback callback;
    std::atomic<int> calls{0};
    const DATA_CALLBACK counter = [](const char*, int, void*, void* user) {
        static_cast<std::atomic<int>*>(user)->fetch_add(1);
    };
    callback.Register(counter, nullptr, nullptr, nullptr, &calls);
    std::thread churn([&] {
        for (int i = 0; i < 2000; ++i)
            callback.Unregister(callback.Register(nullptr, nullptr, nullptr, nullptr, nullptr));
    });
    for (int i = 0; i < 2000; ++i)
        callback.OnData("x", 1, nullptr);
    churn.join();
    EXPECT_EQ(calls.load(), 2000);
}
