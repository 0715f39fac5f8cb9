// Shared IO buffers and the completion port's own calls, without sockets.
#include "WSATestSupport.h"

#include "Brindle/base/Exception.h"
#include "Brindle/comm/CommIOCP.h"

#include <atomic>
#include <cstring>

namespace wsatest {
namespace {

TEST(IOBuffer, ConstructorsGiveCapacityLengthAndBytes)
{
    struct Case {
        const char* name;
        CIOBuffer buffer;
        unsigned long capacity;
        long length;
        std::string bytes;
    };
    const char raw[] = {'a', '\0', 'b'};
    Case cases[] = {
        {"empty", CIOBuffer(), 0, 0, ""},
        {"capacity", CIOBuffer(16UL), 16, 0, ""},
        {"text", CIOBuffer("hello"), 5, 5, "hello"},
        {"null text", CIOBuffer(static_cast<const char*>(nullptr)), 0, 0, ""},
        {"bytes with NUL", CIOBuffer(raw, 3), 3, 3, std::string(raw, 3)},
        {"negative length", CIOBuffer(raw, -4), 0, 0, ""},
        {"null bytes", CIOBuffer(nullptr, 4), 4, 4, std::string(4, '\0')},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.buffer.GetCapacity(), c.capacity);
        EXPECT_EQ(c.buffer.GetLength(), c.length);
        EXPECT_EQ(c.buffer.ToString(), c.bytes);
        if (c.buffer.GetData() != nullptr) {
            EXPECT_EQ(c.buffer.GetData()[c.capacity], '\0') << "one NUL past the block";
        }
    }
}

TEST(IOBuffer, CopiesShareBytesButKeepTheirOwnLength)
{
    CIOBuffer a(8UL);
    std::memcpy(a.GetData(), "abcdefgh", 8);
    a.SetLength(8);
    CIOBuffer b = a;
    EXPECT_TRUE(a.SameBlock(b));
    EXPECT_TRUE(a.Shared());
    b.SetLength(3);
    EXPECT_EQ(b.ToString(), "abc");
    EXPECT_EQ(a.ToString(), "abcdefgh");
    b.GetData()[0] = 'X';
    EXPECT_EQ(a.ToString(), "Xbcdefgh");
    b.Detach();
    EXPECT_FALSE(a.Shared());
    EXPECT_EQ(b.GetData(), nullptr);
    EXPECT_EQ(b.GetLength(), 0);
    EXPECT_EQ(a.ToString(), "Xbcdefgh");
}

TEST(IOBuffer, LengthAndTextAreBoundByTheCapacity)
{
    CIOBuffer a(4UL);
    a.SetLength(99);
    EXPECT_EQ(a.GetLength(), 4);
    a.SetLength(-1);
    EXPECT_EQ(a.GetLength(), 0);
    a.SetText("longer than four");
    EXPECT_EQ(a.ToString(), "long");
    EXPECT_EQ(a.GetData()[4], '\0');
    a.SetText("ab");
    EXPECT_EQ(a.ToString(), "ab");
    EXPECT_STREQ(a.GetData(), "ab");
    CIOBuffer none;
    none.SetText("x"); // no block: nothing written, nothing thrown
    EXPECT_EQ(none.GetLength(), 0);
}

class ClosablePort : public CIOCP {
public:
    using CIOCP::CloseIOCP;
};

TEST(IOCP, PostedRecordsComeBackOnceWithTheirActionAndForeignCompletionsAreNone)
{
    CIOCP port;
    CIOBuffer data("xyz");
    COverlapped* a = port.CreateOverlapped(OV_SEND, nullptr, data);
    COverlapped* b = port.CreateOverlapped(OV_RECEIVE, nullptr, CIOBuffer(10UL));
    EXPECT_EQ(a->GetWSABuf()->len, 3u) << "a send covers the data";
    EXPECT_EQ(b->GetWSABuf()->len, 10u) << "a receive covers the capacity";
    EXPECT_EQ(port.InFlight(), 2u);
    port.PutIOCP(a);
    port.PutIOCP(b);
    std::unique_ptr<COverlapped> first = port.WaitIOCP(5000);
    std::unique_ptr<COverlapped> second = port.WaitIOCP(5000);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first.get(), a);
    EXPECT_EQ(first->GetAction(), OV_SEND);
    EXPECT_EQ(second->GetAction(), OV_RECEIVE);
    EXPECT_EQ(port.InFlight(), 0u);
    EXPECT_FALSE(port.WaitIOCP(10)) << "a time-out gives no record";
    // Nor does a completion that is none of the port's records.
    OVERLAPPED foreign{};
    ASSERT_TRUE(PostQueuedCompletionStatus(port.GetHandle(), 0, 0, &foreign));
    EXPECT_FALSE(port.WaitIOCP(5000));
}

TEST(IOCP, AClosedPortThrowsItsTextsAndPausesTheCycle)
{
    ClosablePort port;
    COverlapped* record = port.CreateOverlapped(OV_SEND, nullptr, CIOBuffer("a"));
    port.CloseIOCP();
    const auto text = [](auto fn) { return commtest::Thrown<CException>(fn); };
    EXPECT_EQ(text([&] { port.PutIOCP(record); }), "Cannot put on IO completion port, not created");
    EXPECT_EQ(text([&] { port.WaitIOCP(10); }), "Cannot wait on IO completion port, not created");
    EXPECT_EQ(text([&] { port.AttachIOCP(reinterpret_cast<HANDLE>(1), 0); }),
              "Cannot attach to IO completion port, not created");
    EXPECT_EQ(text([&] { port.AttachIOCP(INVALID_HANDLE_VALUE, 0); }),
              "Cannot attach to IO completion port, bad handle");
    EXPECT_EQ(text([&] { port.AttachIOCP(nullptr, 0); }), "Cannot attach to IO completion port, bad handle");
    // The record is still listed and goes with the port.
    EXPECT_EQ(port.InFlight(), 1u);
    // A worker's cycle pauses instead of spinning.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.ThreadExecuteFcn(), 1) << "the cycle always asks to go on";
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
}

TEST(IOCP, AttachingANonSocketThrowsWithTheSystemCode)
{
    CIOCP port;
    try {
        port.AttachIOCP(reinterpret_cast<HANDLE>(0x12345), 0);
        FAIL() << "no exception";
    } catch (const CException& e) {
        EXPECT_STREQ(e.what(), "Cannot attach to IO completion port");
        EXPECT_NE(e.GetLastError(), 0u);
    }
}

TEST(IOCP, CallbacksRunOnATimeOutOfTheWorkers)
{
    std::atomic<int> calls{0};
    auto tick = [](void* arg) {
        ++*static_cast<std::atomic<int>*>(arg);
        return 0;
    };
    Workers workers(1);
    workers.iocp.GetCallbackMgr().Register(CUserCallback(tick, &calls));
    EXPECT_TRUE(Eventually([&] { return calls.load() >= 2; }));
}

TEST(IOCP, ARecordWhoseOwnerWasNullifiedIsOnlyFreed)
{
    Workers workers(2);
    RecordingSink sink;
    CWSASocket socket(workers.iocp, &sink);
    COverlapped* record = workers.iocp.CreateOverlapped(OV_ERROR, &socket, CIOBuffer("boom"));
    workers.iocp.NullifyOwner(&socket);
    EXPECT_EQ(record->GetOwner(), nullptr);
    workers.iocp.PutIOCP(record);
    EXPECT_TRUE(Eventually([&] { return workers.iocp.InFlight() == 0; }));
    EXPECT_EQ(sink.Events().size(), 0u);
}

} // namespace
} // namespace wsatest
