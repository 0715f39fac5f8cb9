// Client sockets against a Python peer (data both ways, the peer's close,
// ordered partial writes, pending operations at close, error records, the
// host field), the connect thread's redialling, and the server and client
// holders with the bridge to a data sink.
#include "WSATestSupport.h"

#include "Brindle/base/CritSec.h"
#include "Brindle/base/Datasink.h"
#include "Brindle/base/Exception.h"
#include "Brindle/wsa/SocketClient.h"
#include "Brindle/wsa/SocketServer.h"
#include "Brindle/wsa/WSAConnectProcess.h"
#include "Brindle/wsa/WSADatasinkBridge.h"
#include "CommLogCapture.h"

#include <cstring>
#include <regex>

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

// A Python peer, a port with workers, a sink and a socket of type S on them.
template <typename S = CWSASocket>
struct Connected {
    explicit Connected(int workers = 2) : pool(workers), peer(PeerScript(), {}) {}
    // The peer listens (by `listen`) -> its port.
    int Listen(const std::string& listen = "listen") { return port = Number(peer.Ask(listen)); }
    // The peer takes the next connection.
    bool Accept() { return Words(peer.Ask("accept")).at(0) == "accepted"; }
    // Dials the peer's listener at `host`, looked up now or when dialling,
    // accepts on its side (connection 0) and waits for the sink to hear the
    // open.
    bool Dial(const std::string& listen = "listen", const char* host = "127.0.0.1", bool resolve = true)
    {
        return Listen(listen) > 0 && socket->SetAddress(port, host, resolve) && socket->Connect() && Accept() &&
               sink.WaitCount('o', 1);
    }
    std::string Received() { return sink.Received(socket.get()); }
    Workers pool;
    testsupport::PythonPeer peer;
    RecordingSink sink;
    std::unique_ptr<S> socket = std::make_unique<S>(pool.iocp, &sink);
    int port = 0;
};

// With auto-connect off the socket dials at once, on the caller's thread.
TEST(WSASocket, ConnectExchangesDataAndThePeersCloseGivesOneOnClose)
{
    Connected c;
    ASSERT_TRUE(c.socket->SetAddress(c.Listen(), "127.0.0.1", true));
    c.socket->AutoConnect(false);
    ASSERT_TRUE(c.Accept());
    ASSERT_TRUE(c.sink.WaitCount('o', 1));
    EXPECT_TRUE(c.socket->Connected());
    EXPECT_EQ(c.socket->GetAddress(), "127.0.0.1:" + std::to_string(c.port));

    EXPECT_EQ(c.peer.Ask("send 0 hello\\n"), "ok");
    ASSERT_TRUE(c.sink.WaitReceived(c.socket.get(), 6));
    EXPECT_EQ(c.Received(), "hello\n");
    EXPECT_TRUE(c.socket->Send(CIOBuffer("back\n")));
    EXPECT_EQ(c.peer.Ask("line 0"), "line back");

    EXPECT_EQ(c.peer.Ask("close 0"), "ok");
    ASSERT_TRUE(c.sink.WaitCount('c', 1));
    EXPECT_FALSE(c.socket->Connected());
    // OnClose comes before the handle is closed.
    EXPECT_TRUE(Eventually([&] { return c.socket->Socket() == INVALID_SOCKET && c.pool.iocp.InFlight() == 0; }));
    std::vector<RecordingSink::Event> events = c.sink.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().kind, 'o') << "OnOpen comes first";
    EXPECT_EQ(events.back().kind, 'c');
    EXPECT_EQ(c.sink.Count('c'), 1);
    EXPECT_EQ(c.sink.Count('e'), 0);
    EXPECT_FALSE(c.socket->Send(CIOBuffer("late"))) << "no socket after the end";
    EXPECT_FALSE(c.socket->IsAutoConnect());
}

TEST(WSASocket, ConnectToAPortNobodyListensOnFailsAndHoldsNoSocket)
{
    Connected c;
    const int free = FreePort(c.pool.iocp);
    ASSERT_GT(free, 0);
    ASSERT_TRUE(c.socket->SetAddress(free, "127.0.0.1", true));
    EXPECT_FALSE(c.socket->Connect());
    EXPECT_EQ(c.socket->Socket(), INVALID_SOCKET);
    EXPECT_EQ(c.sink.Events().size(), 0u);
}

TEST(WSASocket, SendsArriveInOrderThroughPartialWrites)
{
    constexpr int kBlocks = 160;
    constexpr int kSize = 32 * 1024; // 5 MiB in all: far beyond both buffers
    Connected c(3);
    ASSERT_TRUE(c.Dial("listen 0 4096"));
    // Sent from two threads in turn, each send a block of its own: block k
    // is the big-endian 32-bit k repeated.
    std::mutex order;
    int next = 0;
    auto sender = [&] {
        for (;;) {
            std::lock_guard<std::mutex> guard(order);
            if (next == kBlocks)
                return;
            CIOBuffer block(static_cast<unsigned long>(kSize));
            for (int i = 0; i < kSize; ++i)
                block.GetData()[i] = static_cast<char>(next >> (24 - 8 * (i % 4)));
            block.SetLength(kSize);
            ASSERT_TRUE(c.socket->Send(block));
            ++next;
        }
    };
    std::thread a(sender), b(sender);
    a.join();
    b.join();
    EXPECT_GT(c.socket->OutstandingOverlapped(), 0) << "the peer reads nothing yet: sends wait";
    ASSERT_TRUE(c.peer.WriteLine("readseq 0 " + std::to_string(kBlocks) + " " + std::to_string(kSize) + " 0.3"));
    ASSERT_TRUE(Eventually([&] { return c.socket->OutstandingOverlapped() == 1; })) << "only the receive is left";
    c.socket->Close();
    std::string answer;
    ASSERT_TRUE(c.peer.ReadLine(answer));
    EXPECT_EQ(answer, "ordered");
}

TEST(WSASocket, CloseWithOperationsPendingDropsTheirAbortedCompletions)
{
    Connected c;
    ASSERT_TRUE(c.Dial("listen 0 4096"));
    CIOBuffer big(static_cast<unsigned long>(1 << 20));
    big.SetLength(1 << 20);
    for (int i = 0; i < 8; ++i)
        c.socket->Send(big);
    EXPECT_GT(c.socket->OutstandingOverlapped(), 1);
    c.socket->Close();
    EXPECT_EQ(c.socket->OutstandingOverlapped(), 0);
    EXPECT_FALSE(c.socket->Connected());
    EXPECT_TRUE(Eventually([&] { return c.pool.iocp.InFlight() == 0; })) << "aborted records are freed";
    EXPECT_EQ(c.peer.Ask("eofall 0 0"), "eof");
    EXPECT_EQ(c.sink.Count('c'), 0) << "a close by the program gives no OnClose";
    EXPECT_EQ(c.sink.Count('e'), 0) << "aborted operations are no errors";
    EXPECT_FALSE(big.Shared()) << "no record keeps the bytes";
}

TEST(WSASocket, AFailedSendReportsItsOwnTextAndLeavesTheSharedBytesAlone)
{
    Connected<ProbeSocket> c;
    ASSERT_TRUE(c.Dial());
    const std::string payload(600, 'P');
    CIOBuffer shared(payload);
    c.socket->FailSend(shared, WSAECONNRESET);
    ASSERT_TRUE(c.sink.WaitCount('c', 1));
    std::vector<RecordingSink::Event> events = c.sink.Events();
    ASSERT_GE(events.size(), 3u);
    const RecordingSink::Event& error = events[events.size() - 2];
    EXPECT_EQ(error.kind, 'e') << "OnError comes before OnClose";
    EXPECT_EQ(error.code, WSAECONNRESET);
    EXPECT_EQ(error.text, CException::FormatLastError(WSAECONNRESET));
    EXPECT_EQ(shared.ToString(), payload) << "the text never goes into a shared send buffer";
    EXPECT_EQ(c.peer.Ask("eof 0"), "eof");
}

// The host is stored as a name and looked up when dialling.
TEST(WSASocket, ASinkThatKeepsReceivedBuffersKeepsTheirBytes)
{
    Connected c;
    c.sink.keep = true;
    ASSERT_TRUE(c.Dial("listen", "localhost", false));
    EXPECT_EQ(c.peer.Ask("send 0 AAAA"), "ok");
    ASSERT_TRUE(c.sink.WaitReceived(c.socket.get(), 4));
    EXPECT_EQ(c.peer.Ask("send 0 BBBBBBBB"), "ok");
    ASSERT_TRUE(c.sink.WaitReceived(c.socket.get(), 12));
    ASSERT_GE(c.sink.kept.size(), 2u);
    EXPECT_EQ(c.sink.kept.front().ToString(), "AAAA");
    EXPECT_FALSE(c.sink.kept.front().SameBlock(c.sink.kept.back()));
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

TEST(WSASocket, DestroyingASocketWhileThePeerSendsIsSafe)
{
    Connected c(4);
    ASSERT_TRUE(c.Dial());
    ASSERT_TRUE(c.peer.WriteLine("sendbytes 0 4000000 7"));
    ASSERT_TRUE(c.sink.WaitCount('d', 3));
    c.socket->StopCompletions(); // waits for a running OnData; a fault here is a crash
    EXPECT_TRUE(c.socket->CompletionsStopped());
    EXPECT_EQ(c.socket->Socket(), INVALID_SOCKET);
    c.socket.reset();
    std::string answer;
    c.peer.ReadLine(answer);
    EXPECT_TRUE(Eventually([&] { return c.pool.iocp.InFlight() == 0; }));
}

TEST(WSAConnectProcess, ThePauseGrowsAtTheEleventhAndTheHundredTwentyFirstAttempt)
{
    struct Case {
        long attempt;
        long pause;
        long next;
    };
    const Case cases[] = {
        {1, 10, 10}, {10, 10, 10}, {11, 10, 60},   {12, 60, 60},   {120, 60, 60},
        {121, 60, 600}, {500, 600, 600}, {11, 90, 90}, {121, 900, 900}, {1, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CWSAConnectProcess::NextPause(c.attempt, c.pause), c.next) << c.attempt << " after " << c.pause;
    // The schedule a socket sees: ten attempts 10 s apart, then 60 s, then 600 s.
    long pause = CWSASocket::ConnectPause, total = 0;
    for (long attempt = 1; attempt <= 130; ++attempt) {
        total += pause = CWSAConnectProcess::NextPause(attempt, pause);
        if (attempt == 10) {
            EXPECT_EQ(total, 100);
        }
    }
    EXPECT_EQ(total, 10 * 10 + 110 * 60 + 10 * 600);
}

class Redial : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { CWSAConnectProcess::SetAsyncConnect(GetParam()); }
    void TearDown() override { CWSAConnectProcess::SetAsyncConnect(true); }
};

TEST_P(Redial, AnAutoConnectingSocketDialsUntilTheServerComesUpAndAgainAfterThePeerCloses)
{
    commtest::CommLogCapture log;
    Connected c;
    const int port = FreePort(c.pool.iocp);
    ASSERT_GT(port, 0);
    ASSERT_TRUE(c.socket->SetAddress(port, "127.0.0.1", true));
    c.socket->AutoConnect(true);
    EXPECT_TRUE(c.socket->IsAutoConnect());
    ASSERT_TRUE(Eventually([&] { return log.Matching("CWSAConnectProcess: thread").size() >= 2; }));
    EXPECT_EQ(c.sink.Count('o'), 0);
    ASSERT_EQ(c.Listen("listen " + std::to_string(port)), port);
    ASSERT_TRUE(c.Accept()) << "redialled within the pause";
    ASSERT_TRUE(c.sink.WaitCount('o', 1));

    const std::vector<commtest::LogRecord> records = log.Take();
    const std::string kind = GetParam() ? "async connect" : "connect";
    const std::regex attempt("CWSAConnectProcess: thread [0-9]+ " + kind + " attempt ([0-9]+) to 127\\.0\\.0\\.1:" +
                             std::to_string(port));
    const std::regex failed("CWSAConnectProcess: thread [0-9]+ connection attempt ([0-9]+) failed, next connect "
                            "attempt at [0-9]{10}:[0-9]{2}:[0-9]{2}");
    int attempts = 0, failures = 0;
    for (const commtest::LogRecord& r : records) {
        std::smatch m;
        EXPECT_EQ(r.source + " " + std::to_string(r.severity), "CWSAConnectProcess 0");
        if (std::regex_match(r.text, m, attempt)) {
            EXPECT_EQ(std::stoi(m[1]), ++attempts);
        } else if (std::regex_match(r.text, m, failed)) {
            EXPECT_EQ(std::stoi(m[1]), attempts) << "a failure names its attempt";
            ++failures;
        } else {
            ADD_FAILURE() << "unexpected record: " << r.text;
        }
    }
    EXPECT_EQ(attempts, 2) << "the first attempt failed, the second (10 s later) got through";
    EXPECT_EQ(failures, 1);

    // The peer goes away: OnClose, then the connect thread dials again.
    EXPECT_EQ(c.peer.Ask("close 0"), "ok");
    ASSERT_TRUE(c.sink.WaitCount('c', 1));
    ASSERT_TRUE(c.Accept());
    ASSERT_TRUE(c.sink.WaitCount('o', 2));
    EXPECT_TRUE(c.socket->Send(CIOBuffer("again\n")));
    EXPECT_EQ(c.peer.Ask("line 1"), "line again");
    const std::vector<commtest::LogRecord> after = log.Take();
    ASSERT_FALSE(after.empty());
    EXPECT_NE(after.front().text.find(kind + " attempt 1 to"), std::string::npos)
        << "a success reset the counter: " << after.front().text;
    c.socket->Close();
    EXPECT_EQ(c.peer.Ask("eof 1"), "eof");
    EXPECT_EQ(c.sink.Count('c'), 1) << "Close by the program gives no OnClose";
}

INSTANTIATE_TEST_SUITE_P(Dialling, Redial, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& mode) { return mode.param ? "Async" : "Blocking"; });

TEST(WSAConnect, ClosingWhileTheConnectThreadDialsStopsIt)
{
    commtest::CommLogCapture log;
    Connected c;
    ASSERT_TRUE(c.socket->SetAddress(FreePort(c.pool.iocp), "127.0.0.1", true));
    c.socket->AutoConnect(true);
    ASSERT_TRUE(Eventually([&] { return !log.Matching("CWSAConnectProcess").empty(); }));
    c.socket->Close();
    const std::size_t seen = log.Take().size();
    c.socket.reset();
    EXPECT_LE(seen, 2u);
    EXPECT_TRUE(log.Take().empty()) << "nothing logs after the close";
    EXPECT_EQ(c.sink.Events().size(), 0u);
}

TEST(SocketServer, BroadcastsToItsClientsAndRestarts)
{
    RecordingSink sink;
    CSocketServer server(&sink, 2);
    EXPECT_FALSE(server.Running());
    EXPECT_EQ(server.Broadcast(CIOBuffer("x")), 0u);
    ASSERT_TRUE(server.Start(0, "127.0.0.1"));
    const int port = server.GetLocalPort();
    ASSERT_GT(port, 0);
    testsupport::PythonPeer peer(PeerScript(), {});
    EXPECT_EQ(peer.Ask("connect " + std::to_string(port) + " 3"), "connected 0 2");
    ASSERT_TRUE(Eventually([&] { return server.size() == 3; }));
    EXPECT_EQ(server.Broadcast(CIOBuffer("news\n")), 3u);
    EXPECT_EQ(peer.Ask("lines 0 2"), "lines news");
    server.Stop();
    EXPECT_EQ(peer.Ask("eofall 0 2"), "eof");
    EXPECT_EQ(server.size(), 0u);

    CSocketServer clash(&sink, 1);
    ASSERT_TRUE(server.Start(port, "127.0.0.1")) << "the same port again after a stop";
    EXPECT_FALSE(clash.Start(port, "127.0.0.1"));
    EXPECT_FALSE(clash.Running());
}

TEST(SocketClient, AutoConnectsSendsAndStops)
{
    Connected c;
    CSocketClient client(&c.sink);
    EXPECT_FALSE(client.Send(CIOBuffer("early")));
    ASSERT_TRUE(client.Start("localhost", c.Listen()));
    ASSERT_TRUE(c.Accept());
    ASSERT_TRUE(c.sink.WaitCount('o', 1));
    EXPECT_TRUE(client.Connected());
    EXPECT_TRUE(client.Send(CIOBuffer("hello\n")));
    EXPECT_EQ(c.peer.Ask("line 0"), "line hello");
    client.Stop();
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(c.peer.Ask("eof 0"), "eof");

    CSocketClient once(&c.sink);
    EXPECT_TRUE(once.Start("127.0.0.1", c.port, false));
    EXPECT_TRUE(c.Accept());
    EXPECT_EQ(c.peer.Ask("unlisten"), "ok");
    CSocketClient refused(&c.sink);
    EXPECT_FALSE(refused.Start("127.0.0.1", c.port, false));
}

// Writes down what a data sink hears: the events, the text and every
// call's source.
class CollectingDatasink : public Brindle::CDatasink {
public:
    void OnOpen(void* source) override { Add(source, "open ", ""); }
    void OnClose(void* source) override { Add(source, "close ", ""); }
    void OnData(const char* data, int length, void* source) override
    {
        Add(source, "", std::string(data, static_cast<std::size_t>(length)));
    }
    std::string Snapshot()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_events + "|" + m_text;
    }
    std::vector<void*> Sources()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_sources;
    }

private:
    void Add(void* source, const char* event, const std::string& text)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_events += event;
        m_text += text;
        m_sources.push_back(source);
    }
    std::mutex m_lock;
    std::string m_events;
    std::string m_text;
    std::vector<void*> m_sources;
};

TEST(WSADatasinkBridge, ADataSinkHearsTheSocketsStream)
{
    CollectingDatasink data;
    CWSADatasinkBridge bridge(&data);
    Connected c;
    CSocketClient client(&bridge);
    ASSERT_TRUE(client.Start("127.0.0.1", c.Listen(), false));
    ASSERT_TRUE(c.Accept());
    EXPECT_EQ(c.peer.Ask("send 0 stream\\n"), "ok");
    ASSERT_TRUE(Eventually([&] { return data.Snapshot() == "open |stream\n"; })) << data.Snapshot();
    EXPECT_EQ(c.peer.Ask("close 0"), "ok");
    ASSERT_TRUE(Eventually([&] { return data.Snapshot() == "open close |stream\n"; })) << data.Snapshot();
    for (void* source : data.Sources())
        EXPECT_EQ(source, client.GetSocket());
}

} // namespace
} // namespace wsatest
