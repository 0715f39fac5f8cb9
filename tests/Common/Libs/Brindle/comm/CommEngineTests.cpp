// The layer chain and its byte buffer; the completion engine with real
// workers: records completing once each, owners destroyed while operations
// are in flight, faults in handlers, shutdown, callbacks, the multiplexer
// and the trace layer.
#include "Brindle/base/Exception.h"
#include "Brindle/base/ThreadObject.h"
#include "Brindle/comm/CommBuffer.h"
#include "Brindle/comm/CommIOCP.h"
#include "Brindle/comm/CommLayer.h"
#include "Brindle/comm/CommMultiplexer.h"
#include "Brindle/comm/CommObject.h"
#include "Brindle/comm/CommTrace.h"

#include "CommLogCapture.h"
#include "CommTestSupport.h"
#include "TransportTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <list>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using namespace Brindle;
using commtest::CommLogCapture;
using commtest::Stack;
using transporttest::WaitFor;
using transporttest::Workers;

namespace {

// The top of a chain: writes down what reaches it.
class Recorder : public CCommLayer {
public:
    void OnOpen(void* source) override { events.push_back("open " + Name(source)); }
    void OnClose(void* source) override { events.push_back("close " + Name(source)); }
    void OnData(void* source, const std::string& data) override
    {
        events.push_back("data " + Name(source) + " " + data);
        if (throwOnData)
            throw std::runtime_error("upper layer fault");
    }
    void OnError(void* source, unsigned long error, const std::string& text) override
    {
        events.push_back("error " + Name(source) + " " + std::to_string(error) + " " + text);
    }
    using CCommLayer::CallDownData;

    static std::string Name(void* source)
    {
        std::ostringstream out;
        out << source;
        return out.str();
    }

    std::vector<std::string> events;
    bool throwOnData = false;
};

// The bottom of a chain: raises up-calls with its own source and keeps
// what is sent to it. With members it stands for a listener: its own
// source is a list of the members' sources.
class Bottom : public CCommLayer {
public:
    bool SendData(void* source, const std::string& data) override
    {
        if (source != GetSource())
            return CCommLayer::SendData(source, data);
        sent.push_back(data);
        return true;
    }
    bool IsList(void* source) override { return !members.empty() && source == GetSource(); }
    bool GetSourceList(void* source, std::list<void*>& sources) override
    {
        if (!IsList(source))
            return false;
        for (Bottom* member : members)
            sources.push_back(member->GetSource());
        return true;
    }
    // Members are reached by their own source through the same up layer.
    CCommLayer* GetDownLayer(void* source) override
    {
        for (Bottom* member : members)
            if (member->GetSource() == source)
                return member;
        return CCommLayer::GetDownLayer(source);
    }
    void Open() { CallUpOpen(GetSource()); }
    void Close() { CallUpClose(GetSource()); }
    void Data(const std::string& data) { CallUpData(GetSource(), data); }
    void Error(unsigned long code, const std::string& text) { CallUpError(GetSource(), code, text); }
    using CCommLayer::DownLink;
    using CCommLayer::UpLink;

    std::vector<std::string> sent;
    std::vector<Bottom*> members;
};

TEST(CommLayerChain, UpCallsPassThroughDefaultLayersWithTheBottomSource)
{
    Bottom bottom;
    CCommLayer middle;
    Recorder top;
    Stack(bottom, middle, top);
    const std::string src = Recorder::Name(&bottom);

    bottom.Open();
    bottom.Data(std::string("a\0b", 3));
    bottom.Error(104, "reset");
    bottom.Close();

    EXPECT_EQ(top.events, (std::vector<std::string>{"open " + src, "data " + src + " " + std::string("a\0b", 3),
                                                     "error " + src + " 104 reset", "close " + src}));
    EXPECT_TRUE(top.CallDownData(&bottom, "down"));
    EXPECT_EQ(bottom.sent, std::vector<std::string>{"down"});
    // A fault above does not unwind into the transport.
    top.throwOnData = true;
    EXPECT_NO_THROW(bottom.Data("one"));
    EXPECT_NO_THROW(bottom.Data("two"));
    EXPECT_EQ(top.events.size(), 6u);
}

TEST(CommLayerChain, MissingLinksAreReportedAndDropped)
{
    CommLogCapture log;
    Bottom bottom;
    const std::string src = Recorder::Name(&bottom);
    bottom.Open();
    bottom.Close();
    bottom.Data("payload");
    bottom.Error(5, "broken");
    Recorder top;
    EXPECT_FALSE(top.CallDownData(&bottom, "x"));

    const std::vector<std::string> expected{"Cannot call up open", "Cannot call up close",
                                            "Cannot call up data, source = " + src + " buffer = payload",
                                            "Cannot call up error, source = " + src + " buffer = broken",
                                            "Cannot call down data"};
    auto records = log.Take();
    ASSERT_EQ(records.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(records[i].text, expected[i]);
        EXPECT_EQ(records[i].severity, -1);
        EXPECT_EQ(records[i].source, "CCommLayer");
    }
}

TEST(CommLayerChain, SendToAListSourceReachesEveryMemberInOrder)
{
    Bottom listener, a, b, c;
    listener.members = {&a, &b, &c};
    CCommLayer middle;
    Recorder top;
    Stack(listener, middle, top);

    EXPECT_TRUE(top.CallDownData(&listener, "hello"));
    for (Bottom* member : listener.members)
        EXPECT_EQ(member->sent, std::vector<std::string>{"hello"});
    EXPECT_TRUE(listener.sent.empty());

    // With no members the listener's own source is no list: it sends itself.
    listener.members.clear();
    EXPECT_TRUE(top.CallDownData(&listener, "solo"));
    EXPECT_EQ(listener.sent, std::vector<std::string>{"solo"});
}

TEST(CommLayerChain, DestructionUnlinksBothNeighbours)
{
    CommLogCapture log;
    Bottom bottom;
    Recorder top;
    {
        CCommLayer middle;
        Stack(bottom, middle, top);
        ASSERT_EQ(bottom.UpLink(), &middle);
    }
    EXPECT_EQ(bottom.UpLink(), nullptr);
    bottom.Data("lost");
    EXPECT_FALSE(top.CallDownData(&bottom, "x"));
    EXPECT_EQ(log.Matching("Cannot call up data").size(), 1u);
    EXPECT_EQ(log.Matching("Cannot call down data").size(), 1u);
    EXPECT_TRUE(top.events.empty());
    // A destroyed bottom leaves the upper layer without a down link.
    auto gone = std::make_unique<Bottom>();
    gone->SetChain(&top);
    gone.reset();
    EXPECT_FALSE(top.CallDownData(nullptr, "x"));
    EXPECT_EQ(log.Matching("Cannot call down data").size(), 2u);
}

TEST(CommLayerChain, RelinkingTellsTheOldUpperLayerToForget)
{
    Bottom bottom;
    Recorder first, second;
    bottom.SetChain(&first);
    bottom.SetChain(&second);
    EXPECT_FALSE(first.CallDownData(&bottom, "x"));
    EXPECT_TRUE(second.CallDownData(&bottom, "y"));
    EXPECT_EQ(bottom.sent, std::vector<std::string>{"y"});
    // A newer down link is kept when an older one goes away.
    Bottom other;
    other.SetChain(&second);
    bottom.SetChain(nullptr);
    EXPECT_TRUE(second.CallDownData(&other, "z"));
    EXPECT_EQ(other.sent, std::vector<std::string>{"z"});
}

TEST(CommBuffer, AssignCopiesBytesAndTakesTextLengthForCountZero)
{
    struct Case {
        const char* bytes;
        unsigned count;
        std::string expected;
    };
    const Case cases[] = {
        {"abc\0def", 7, std::string("abc\0def", 7)},
        {"abc\0def", 0, "abc"},
        {"", 0, ""},
        {nullptr, 0, ""},
    };
    for (const Case& c : cases) {
        CCommBuffer buffer(16);
        buffer.Assign(c.bytes, c.count);
        ASSERT_EQ(buffer.GetCapacity(), c.expected.size());
        EXPECT_EQ(buffer.GetBuffer() == nullptr, c.expected.empty());
        if (!c.expected.empty()) {
            EXPECT_EQ(std::string(buffer.GetBuffer(), buffer.GetCapacity()), c.expected);
        }
    }
}

TEST(CommBuffer, AllocateReplacesAndOwnershipMoves)
{
    CCommBuffer buffer(std::string("first"));
    buffer.Assign(buffer.GetBuffer() + 1, 3); // a part of itself
    EXPECT_EQ(std::string(buffer.GetBuffer(), 3), "irs");
    buffer.Allocate(262144);
    EXPECT_EQ(buffer.GetCapacity(), 262144u);
    CCommBuffer moved(std::move(buffer));
    EXPECT_EQ(moved.GetCapacity(), 262144u);
    EXPECT_EQ(buffer.GetCapacity(), 0u);
    EXPECT_EQ(buffer.GetBuffer(), nullptr);
    moved.Allocate(0);
    EXPECT_EQ(moved.GetBuffer(), nullptr);
    moved.Assign(std::string());
    EXPECT_EQ(moved.GetCapacity(), 0u);
}

// A bottom object that runs a hook for every completion.
class Probe : public CCommObject {
public:
    explicit Probe(CCommIOCP& iocp) : CCommObject(iocp) {}
    ~Probe() override { StopCompletions(); }
    void OnComplete(CRefCountedPtr<CCommOverlapped> record) override
    {
        calls.fetch_add(1);
        if (hook)
            hook(record);
    }
    // Posts a record owned by this probe, with `bytes` as its mark.
    CRefCountedPtr<CCommOverlapped> Post(unsigned long bytes)
    {
        CRefCountedPtr<CCommOverlapped> record = GetIOCP().CreateOverlapped(this);
        record->SetBytes(bytes);
        record->SetKey(reinterpret_cast<ULONG_PTR>(this));
        GetIOCP().PutIOCP(record);
        return record;
    }
    std::function<void(CRefCountedPtr<CCommOverlapped>&)> hook;
    std::atomic<int> calls{0};
};

TEST(CommEngine, ThousandPostedRecordsFromFourThreadsEachCompleteOnce)
{
    CCommIOCP iocp;
    Probe probe(iocp);
    constexpr int kThreads = 4, kEach = 250;
    std::vector<std::atomic<int>> seen(kThreads * kEach);
    std::atomic<int> total{0};
    probe.hook = [&](CRefCountedPtr<CCommOverlapped>& record) {
        EXPECT_EQ(record->GetKey(), reinterpret_cast<ULONG_PTR>(&probe));
        EXPECT_EQ(record->GetOwner(), &probe);
        seen[record->GetBytes()].fetch_add(1);
        total.fetch_add(1);
    };
    {
        Workers workers(iocp, 3);
        std::vector<std::thread> posters;
        for (int t = 0; t < kThreads; ++t)
            posters.emplace_back([&, t] {
                for (int i = 0; i < kEach; ++i)
                    probe.Post(static_cast<unsigned long>(t * kEach + i));
            });
        for (auto& t : posters)
            t.join();
        WaitFor([&] { return total.load() == kThreads * kEach; });
    }
    for (auto& count : seen)
        EXPECT_EQ(count.load(), 1);
    EXPECT_EQ(iocp.InFlight(), 0u);
}

TEST(CommEngine, OwnerDestroyedWhileOperationsAreInFlightGetsNoCall)
{
    CCommIOCP iocp;
    Workers workers(iocp, 2);
    for (int round = 0; round < 50; ++round) {
        auto probe = std::make_unique<Probe>(iocp);
        std::atomic<bool> destroyed{false};
        std::atomic<int> lateCalls{0}, inHandler{0};
        probe->hook = [&](CRefCountedPtr<CCommOverlapped>&) {
            if (destroyed.load())
                lateCalls.fetch_add(1);
            inHandler.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            inHandler.fetch_sub(1);
        };
        for (int i = 0; i < 20; ++i)
            probe->Post(static_cast<unsigned long>(i));
        // Destruction waits for a running handler and stops the rest.
        probe.reset();
        destroyed.store(true);
        EXPECT_EQ(inHandler.load(), 0);
        WaitFor([&] { return iocp.InFlight() == 0; });
        EXPECT_EQ(lateCalls.load(), 0);
    }
}

TEST(CommEngine, AHandlerMayDestroyItsOwnObject)
{
    CCommIOCP iocp;
    Workers workers(iocp, 2);
    std::atomic<int> gone{0};
    for (int i = 0; i < 20; ++i) {
        auto* probe = new Probe(iocp);
        probe->hook = [probe, &gone](CRefCountedPtr<CCommOverlapped>&) {
            // The hook goes with the probe: nothing of it is used after.
            std::atomic<int>* counter = &gone;
            delete probe;
            counter->fetch_add(1);
        };
        probe->Post(0);
    }
    WaitFor([&] { return gone.load() == 20; });
    WaitFor([&] { return iocp.InFlight() == 0; });
}

TEST(CommEngine, AThrowingHandlerDoesNotStopTheWorker)
{
    CCommIOCP iocp;
    Probe probe(iocp);
    std::atomic<int> served{0};
    probe.hook = [&](CRefCountedPtr<CCommOverlapped>& record) {
        served.fetch_add(1);
        if (record->GetBytes() % 2 == 0)
            throw std::runtime_error("handler fault");
    };
    Workers workers(iocp, 1);
    for (unsigned long i = 0; i < 10; ++i)
        probe.Post(i);
    WaitFor([&] { return served.load() == 10; });
}

TEST(CommEngine, DequeuedRecordsCarryBytesKeyAndTheirRegistryUntilShutdown)
{
    CCommIOCP iocp;
    Probe probe(iocp);
    CRefCountedPtr<CCommOverlapped> record = iocp.CreateOverlapped(&probe);
    record->SetBytes(42);
    record->SetKey(7);
    record->SetError(5);
    iocp.PutIOCP(record);
    CRefCountedPtr<CCommOverlapped> back = iocp.WaitIOCP(5000);
    ASSERT_TRUE(back.NotNull());
    EXPECT_EQ(back.GetPtr(), record.GetPtr());
    // A posted record keeps its own error.
    EXPECT_EQ(std::make_tuple(back->GetBytes(), back->GetKey(), back->GetError()), std::make_tuple(42ul, 7ul, 5ul));
    EXPECT_EQ(iocp.InFlight(), 0u);
    // Posted again, it is no longer registered: the dequeue finds nothing.
    iocp.PutIOCP(record);
    EXPECT_TRUE(iocp.WaitIOCP(5000).IsNull());
    EXPECT_TRUE(iocp.WaitIOCP(10).IsNull()); // time-out

    // Records made for an owner that has stopped its completions have none.
    Probe stopped(iocp);
    stopped.Post(1);
    iocp.RemoveOwner(static_cast<CCommObject*>(&stopped));
    CRefCountedPtr<CCommOverlapped> orphan = iocp.WaitIOCP(5000);
    ASSERT_TRUE(orphan.NotNull());
    EXPECT_EQ(orphan->GetOwner(), nullptr);

    // After a shutdown a wait gives nothing and drops the record.
    iocp.PutIOCP(iocp.CreateOverlapped(&probe));
    iocp.RequestShutdown();
    EXPECT_TRUE(iocp.WaitIOCP(1000).IsNull());
    EXPECT_EQ(iocp.InFlight(), 0u);
    EXPECT_EQ(probe.calls.load(), 0);
}

TEST(CommEngine, UserDataIsReleasedWithItsRecord)
{
    static std::atomic<int> released{0};
    released = 0;
    {
        CCommIOCP iocp;
        Probe probe(iocp);
        for (int i = 0; i < 3; ++i) {
            CRefCountedPtr<CCommOverlapped> record = iocp.CreateOverlapped(&probe);
            record->SetUserData(reinterpret_cast<ULONG_PTR>(new int(i)), [](ULONG_PTR data) {
                delete reinterpret_cast<int*>(data);
                released.fetch_add(1);
            });
        }
        CRefCountedPtr<CCommOverlapped> kept = iocp.CreateOverlapped(&probe);
        int value = 9;
        kept->SetUserData(reinterpret_cast<ULONG_PTR>(&value), [](ULONG_PTR) { released.fetch_add(100); });
        EXPECT_EQ(kept->DetachUserData(), reinterpret_cast<ULONG_PTR>(&value));
    }
    // The port dropped its records in flight; their data went with them.
    EXPECT_EQ(released.load(), 3);
}

TEST(CommEngine, PortFailuresThrowTheirTexts)
{
    CCommIOCP iocp;
    const auto text = [](auto fn) { return commtest::Thrown<CException>(fn); };
    EXPECT_EQ(text([&] { iocp.PutIOCP(nullptr); }), "Cannot put a NULL overlapped on completion port");
    EXPECT_EQ(text([&] { iocp.AttachIOCP(nullptr, 1); }), "Cannot attach to IO completion port, bad handle");
    EXPECT_EQ(text([&] { iocp.AttachIOCP(INVALID_HANDLE_VALUE, 1); }),
              "Cannot attach to IO completion port, bad handle");
    EXPECT_EQ(text([&] { iocp.AttachIOCP(reinterpret_cast<HANDLE>(0x12345), 1); }).rfind(
                  "Cannot attach to IO completion port", 0),
              0u);
}

TEST(CommEngine, DestroyingThePortStopsItsWorkersAtOnce)
{
    auto iocp = std::make_unique<CCommIOCP>();
    std::vector<std::unique_ptr<CThreadObject>> threads;
    for (int i = 0; i < 3; ++i) {
        threads.push_back(std::make_unique<CThreadObject>("Comm Worker"));
        threads.back()->StartThread(iocp.get());
    }
    WaitFor([&] {
        return std::all_of(threads.begin(), threads.end(), [](auto& t) { return t->GetState() == THREAD_RUNNING; });
    });
    iocp.reset();
    for (auto& t : threads)
        EXPECT_EQ(t->Join(10000), 1);
}

TEST(CommCallbacks, RunInOrderThrowingOnesGiveMinusOneAndEqualOnesUnregisterTogether)
{
    static std::vector<int> order;
    order.clear();
    auto record = [](void* arg) -> int {
        order.push_back(static_cast<int>(reinterpret_cast<std::intptr_t>(arg)));
        return 7;
    };
    auto fault = [](void*) -> int { throw std::runtime_error("callback fault"); };
    CUserCallback one(record, reinterpret_cast<void*>(1)), two(record, reinterpret_cast<void*>(2)), bad(fault, nullptr);
    EXPECT_EQ(one.Execute(), 7);
    EXPECT_EQ(bad.Execute(), -1);
    EXPECT_FALSE(one == two);

    CCallbackMgr mgr;
    for (const CUserCallback* callback : {&one, &bad, &two, &one})
        mgr.Register(*callback);
    order.clear();
    mgr.Execute();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 1}));
    mgr.Unregister(one);
    EXPECT_EQ(mgr.size(), 2u);
    order.clear();
    mgr.Execute();
    EXPECT_EQ(order, std::vector<int>{2});
}

TEST(CommCallbacks, WorkersRunThePassOnlyWhenASecondHasPassed)
{
    static std::atomic<int> passes{0};
    passes = 0;
    CCommIOCP iocp;
    iocp.GetCallbackMgr().Register(CUserCallback([](void*) { return passes.fetch_add(1); }, nullptr));
    // Cycles within the second the port was made run no pass.
    std::time_t made = std::time(nullptr);
    iocp.ThreadExecuteFcn();
    if (std::time(nullptr) == made) {
        EXPECT_EQ(passes.load(), 0);
    }
    // Four workers for a while: at most one pass per second that began.
    const std::time_t start = std::time(nullptr);
    {
        Workers workers(iocp, 4);
        WaitFor([&] { return passes.load() >= 2; });
    }
    const std::time_t end = std::time(nullptr);
    EXPECT_LE(passes.load(), static_cast<int>(end - made) + 1);
    EXPECT_GE(end, start);
}

// A bottom object whose source routes through a multiplexer.
class Sink : public CCommObject {
public:
    explicit Sink(CCommIOCP& iocp) : CCommObject(iocp) {}
    void OnComplete(CRefCountedPtr<CCommOverlapped>) override {}
    bool Send(const std::string& data) override
    {
        sent.push_back(data);
        return true;
    }
    void Up(const std::string& data) { CallUpData(GetSource(), data); }
    std::vector<std::string> sent;
};

TEST(CommMultiplexer, RoutesBySourceAndForgetsLayersThatGo)
{
    CCommIOCP iocp;
    CommLogCapture log;
    Recorder top;
    auto mux = std::make_unique<CCommMultiplexer>();
    mux->SetChain(&top);
    Sink a(iocp);
    auto b = std::make_unique<Sink>(iocp);
    a.SetChain(mux.get());
    b->SetChain(mux.get());
    EXPECT_EQ(mux->size(), 2u);

    a.Up("from a");
    b->Up("from b");
    EXPECT_EQ(top.events, (std::vector<std::string>{"data " + Recorder::Name(&a) + " from a",
                                                     "data " + Recorder::Name(b.get()) + " from b"}));

    EXPECT_TRUE(top.CallDownData(b.get(), "to b"));
    EXPECT_TRUE(top.CallDownData(&a, "to a"));
    EXPECT_EQ(a.sent, std::vector<std::string>{"to a"});
    EXPECT_EQ(b->sent, std::vector<std::string>{"to b"});

    void* gone = b.get();
    b.reset();
    EXPECT_EQ(mux->size(), 1u);
    EXPECT_FALSE(top.CallDownData(gone, "lost"));
    EXPECT_EQ(log.Matching("Cannot call down data").size(), 1u);

    // A send to the wrong source at the bottom is refused and reported.
    EXPECT_FALSE(a.SendData(gone, "x"));
    auto refused = log.Matching("Cannot send data");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].source, "CCommObject");

    // The multiplexer going unlinks every layer under it.
    mux.reset();
    a.Up("orphan");
    EXPECT_EQ(log.Matching("Cannot call up data").size(), 1u);
}

TEST(CommTrace, WritesOneLinePerCallAndPassesItOn)
{
    CCommIOCP iocp;
    Sink bottom(iocp);
    CCommTrace trace;
    Recorder top;
    commtest::Stack(bottom, trace, top);
    std::ostringstream out;
    bottom.Up("quiet"); // tracing is off by default
    trace.SetStream(out, '|');
    trace.SetTrace(true);
    out << std::hex; // counts stay decimal whatever the stream's base
    bottom.Up(std::string(12, 'x'));
    trace.OnOpen(&bottom);
    trace.OnClose(&bottom);
    trace.OnError(&bottom, 10054, "reset");
    EXPECT_TRUE(top.CallDownData(&bottom, "down"));
    const std::string s = Recorder::Name(&bottom);
    EXPECT_EQ(out.str(), "OnData (" + s + "): (12) xxxxxxxxxxxx|OnOpen (" + s + ")|OnClose (" + s + ")|OnError (" +
                             s + ") dwError = 10054 : reset|SendData (" + s + "): (4) down|");
    EXPECT_EQ(top.events.size(), 5u); // the two data, the open, the close and the error
    EXPECT_EQ(bottom.sent, std::vector<std::string>{"down"});
}

} // namespace
