// Client sockets against a Python peer: connect, data both ways, the peer's
// close, ordered sends with partial writes, close with operations pending,
// error records, kept receive buffers, the host field.
#include "WSATestSupport.h"

#include "Brindle/base/Exception.h"
#include "Brindle/base/CritSec.h"

#include <cstring>

namespace wsatest {
namespace {

class ProbeSocket : public CWSASocket {
public:
    using CWSASocket::CWSASocket;
    // A send whose call failed at once, as the system reports it.
    void FailSend(const CIOBuffer& buffer, unsigned long code)
    {
        CSyncLock<CCritSec> guard(m_lock);
        PostError(NewRecord(OV_SEND, buffer), code);
    }
};

struct Connected {
    explicit Connected(int workers = 2) : pool(workers), peer(PeerScript(), {}) {}
    // Dials the peer's listener (made by `listen`) at `host`, looked up now
    // or when dialling, accepts on its side (connection 0) and waits for the
    // sink to hear the open.
    bool Dial(CWSASocket& socket, RecordingSink& sink, const std::string& listen = "listen",
              const char* host = "127.0.0.1", bool resolve = true)
    {
        port = Number(peer.Ask(listen));
        if (port <= 0 || !socket.SetAddress(port, host, resolve) || !socket.Connect())
            return false;
        return Words(peer.Ask("accept")).at(0) == "accepted" && sink.WaitCount('o', 1);
    }
    Workers pool;
    testsupport::PythonPeer peer;
    int port = 0;
};

TEST(WSASocket, ConnectExchangesDataAndThePeersCloseGivesOneOnClose)
{
    Connected c;
    RecordingSink sink;
    CWSASocket socket(c.pool.iocp, &sink);
    ASSERT_TRUE(c.Dial(socket, sink));
    EXPECT_TRUE(socket.Connected());
    EXPECT_EQ(socket.GetAddress(), "127.0.0.1:" + std::to_string(c.port));

    EXPECT_EQ(c.peer.Ask("send 0 hello\\n"), "ok");
    ASSERT_TRUE(sink.WaitReceived(&socket, 6));
    EXPECT_EQ(sink.Received(&socket), "hello\n");

    EXPECT_TRUE(socket.Send(CIOBuffer("back\n")));
    EXPECT_EQ(c.peer.Ask("line 0"), "line back");

    EXPECT_EQ(c.peer.Ask("close 0"), "ok");
    ASSERT_TRUE(sink.WaitCount('c', 1));
    EXPECT_FALSE(socket.Connected());
    // OnClose comes before the handle is closed.
    EXPECT_TRUE(Eventually([&] { return socket.Socket() == INVALID_SOCKET; }));
    EXPECT_TRUE(Eventually([&] { return c.pool.iocp.InFlight() == 0; }));
    std::vector<RecordingSink::Event> events = sink.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().kind, 'o') << "OnOpen comes first";
    EXPECT_EQ(events.back().kind, 'c');
    EXPECT_EQ(sink.Count('c'), 1);
    EXPECT_EQ(sink.Count('e'), 0);
    EXPECT_FALSE(socket.Send(CIOBuffer("late"))) << "no socket after the end";
}

TEST(WSASocket, ConnectToAPortNobodyListensOnFailsAndHoldsNoSocket)
{
    Workers pool;
    RecordingSink sink;
    const int free = FreePort(pool.iocp);
    ASSERT_GT(free, 0);
    CWSASocket socket(pool.iocp, &sink);
    ASSERT_TRUE(socket.SetAddress(free, "127.0.0.1", true));
    EXPECT_FALSE(socket.Connect());
    EXPECT_EQ(socket.Socket(), INVALID_SOCKET);
    EXPECT_EQ(sink.Events().size(), 0u);
}

TEST(WSASocket, SendsArriveInOrderThroughPartialWrites)
{
    constexpr int kBlocks = 160;
    constexpr int kSize = 32 * 1024; // 5 MiB in all: far beyond both buffers
    Connected c(3);
    RecordingSink sink;
    CWSASocket socket(c.pool.iocp, &sink);
    ASSERT_TRUE(c.Dial(socket, sink, "listen 0 4096"));
    // Sent from two threads in turn, each send a block of its own.
    std::mutex order;
    int next = 0;
    auto sender = [&] {
        for (;;) {
            std::lock_guard<std::mutex> guard(order);
            if (next == kBlocks)
                return;
            CIOBuffer block(static_cast<unsigned long>(kSize));
            for (int i = 0; i < kSize; i += 4) {
                const unsigned char be[4] = {static_cast<unsigned char>(next >> 24), static_cast<unsigned char>(next >> 16),
                                             static_cast<unsigned char>(next >> 8), static_cast<unsigned char>(next)};
                std::memcpy(block.GetData() + i, be, 4);
            }
            block.SetLength(kSize);
            ASSERT_TRUE(socket.Send(block));
            ++next;
        }
    };
    std::thread a(sender), b(sender);
    a.join();
    b.join();
    EXPECT_GT(socket.OutstandingOverlapped(), 0) << "the peer reads nothing yet: sends wait";
    ASSERT_TRUE(c.peer.WriteLine("readseq 0 " + std::to_string(kBlocks) + " " + std::to_string(kSize) + " 0.3"));
    ASSERT_TRUE(Eventually([&] { return socket.OutstandingOverlapped() == 1; })) << "only the receive is left";
    socket.Close();
    std::string answer;
    ASSERT_TRUE(c.peer.ReadLine(answer));
    EXPECT_EQ(answer, "ordered");
}

TEST(WSASocket, CloseWithOperationsPendingDropsTheirAbortedCompletions)
{
    Connected c;
    RecordingSink sink;
    CWSASocket socket(c.pool.iocp, &sink);
    ASSERT_TRUE(c.Dial(socket, sink, "listen 0 4096"));
    CIOBuffer big(static_cast<unsigned long>(1 << 20));
    big.SetLength(1 << 20);
    for (int i = 0; i < 8; ++i)
        socket.Send(big);
    EXPECT_GT(socket.OutstandingOverlapped(), 1);
    socket.Close();
    EXPECT_EQ(socket.OutstandingOverlapped(), 0);
    EXPECT_FALSE(socket.Connected());
    EXPECT_TRUE(Eventually([&] { return c.pool.iocp.InFlight() == 0; })) << "aborted records are freed";
    const std::string end = c.peer.Ask("eofall 0 0");
    EXPECT_EQ(end, "eof");
    EXPECT_EQ(sink.Count('c'), 0) << "a close by the program gives no OnClose";
    EXPECT_EQ(sink.Count('e'), 0) << "aborted operations are no errors";
    EXPECT_FALSE(big.Shared()) << "no record keeps the bytes";
}

TEST(WSASocket, AFailedSendReportsItsOwnTextAndLeavesTheSharedBytesAlone)
{
    Connected c;
    RecordingSink sink;
    ProbeSocket socket(c.pool.iocp, &sink);
    ASSERT_TRUE(c.Dial(socket, sink));
    const std::string payload(600, 'P');
    CIOBuffer shared(payload);
    socket.FailSend(shared, WSAECONNRESET);
    ASSERT_TRUE(sink.WaitCount('c', 1));
    std::vector<RecordingSink::Event> events = sink.Events();
    ASSERT_GE(events.size(), 3u);
    const RecordingSink::Event& error = events[events.size() - 2];
    EXPECT_EQ(error.kind, 'e') << "OnError comes before OnClose";
    EXPECT_EQ(error.code, WSAECONNRESET);
    EXPECT_EQ(error.text, CException::FormatLastError(WSAECONNRESET));
    EXPECT_EQ(shared.ToString(), payload) << "the text never goes into a shared send buffer";
    EXPECT_EQ(c.peer.Ask("eof 0"), "eof");
}

TEST(WSASocket, ASinkThatKeepsReceivedBuffersKeepsTheirBytes)
{
    Connected c;
    RecordingSink sink;
    sink.keep = true;
    CWSASocket socket(c.pool.iocp, &sink);
    ASSERT_TRUE(c.Dial(socket, sink));
    EXPECT_EQ(c.peer.Ask("send 0 AAAA"), "ok");
    ASSERT_TRUE(sink.WaitReceived(&socket, 4));
    EXPECT_EQ(c.peer.Ask("send 0 BBBBBBBB"), "ok");
    ASSERT_TRUE(sink.WaitReceived(&socket, 12));
    ASSERT_GE(sink.kept.size(), 2u);
    EXPECT_EQ(sink.kept.front().ToString(), "AAAA");
    EXPECT_FALSE(sink.kept.front().SameBlock(sink.kept.back()));
}

TEST(WSASocket, TheHostTextHoldsSixtyFourCharactersAndRefusesMore)
{
    Workers pool;
    CWSASocket socket(pool.iocp, nullptr);
    const std::string longest(64, 'h');
    EXPECT_TRUE(socket.SetAddress(81, longest.c_str(), false));
    EXPECT_EQ(socket.GetHostname(), longest);
    EXPECT_EQ(socket.GetAddress(), longest + ":81");
    const std::string tooLong(65, 'h');
    EXPECT_FALSE(socket.SetAddress(82, tooLong.c_str(), false));
    EXPECT_EQ(socket.GetHostname(), longest) << "a refused host leaves the old one";
    EXPECT_EQ(socket.GetPort(), 81);

    struct Case {
        int port;
        const char* host;
        bool resolve;
        bool ok;
        int portAfter;
    };
    const Case cases[] = {
        {7000, "127.0.0.1", true, true, 7000},
        {0, "127.0.0.1", true, true, 7000}, // port 0 keeps the port
        {7001, "localhost", true, true, 7001},
        {7002, "no-such-host.invalid", true, false, 7001},
        {7003, "no-such-host.invalid", false, true, 7003},
        {7004, nullptr, true, true, 7004}, // any address
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host != nullptr ? c.host : "(null)");
        EXPECT_EQ(socket.SetAddress(c.port, c.host, c.resolve), c.ok);
        EXPECT_EQ(socket.GetPort(), c.portAfter);
    }
}

TEST(WSASocket, AStoredNameIsLookedUpWhenDialling)
{
    Connected c;
    RecordingSink sink;
    CWSASocket socket(c.pool.iocp, &sink);
    EXPECT_TRUE(c.Dial(socket, sink, "listen", "localhost", false));
}

TEST(WSASocket, DestroyingASocketWhileThePeerSendsIsSafe)
{
    Connected c(4);
    RecordingSink sink;
    auto socket = std::make_unique<CWSASocket>(c.pool.iocp, &sink);
    ASSERT_TRUE(c.Dial(*socket, sink));
    ASSERT_TRUE(c.peer.WriteLine("sendbytes 0 4000000 7"));
    ASSERT_TRUE(sink.WaitCount('d', 3));
    socket->StopCompletions(); // waits for a running OnData; a fault here is a crash
    EXPECT_TRUE(socket->CompletionsStopped());
    EXPECT_EQ(socket->Socket(), INVALID_SOCKET);
    socket.reset();
    std::string answer;
    c.peer.ReadLine(answer);
    EXPECT_TRUE(Eventually([&] { return c.pool.iocp.InFlight() == 0; }));
}

} // namespace
} // namespace wsatest
