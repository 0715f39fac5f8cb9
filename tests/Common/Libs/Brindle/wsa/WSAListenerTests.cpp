// Listeners against Python clients: children with the peer's address,
// broadcast to many, children that end, CloseAll, a port in use, errors
// that re-arm, echo from many clients at once.
#include "WSATestSupport.h"

#include "Brindle/base/CritSec.h"

#include <atomic>
#include <set>

namespace wsatest {
namespace {

class ProbeListener : public CWSAListener {
public:
    using CWSAListener::CWSAListener;
    // An accept that could not start, as the system reports it.
    void FailAccept(unsigned long code)
    {
        CSyncLock<CCritSec> guard(m_lock);
        PostError(NewRecord(OV_ACCEPT, CIOBuffer(192UL)), code);
    }
};

// A listener on a loopback port with its sink, workers and a Python peer.
template <typename Sink = RecordingSink>
struct Listening {
    explicit Listening(int workers = 3) : pool(workers), peer(PeerScript(), {})
    {
        EXPECT_TRUE(listener.SetAddress(0, "127.0.0.1", true) && listener.Listen(16));
        port = listener.GetLocalPort();
        EXPECT_GT(port, 0);
    }
    ~Listening() { listener.StopCompletions(); }
    // n more Python clients connect (numbered on from the last); true once
    // the listener has `children`.
    bool Connect(int n, std::size_t children)
    {
        const std::string answer = peer.Ask("connect " + std::to_string(port) + " " + std::to_string(n));
        EXPECT_EQ(answer, "connected " + std::to_string(clients) + " " + std::to_string(clients + n - 1));
        clients += n;
        return Eventually([&] { return listener.size() == children; });
    }
    Workers pool;
    Sink sink;
    ProbeListener listener{pool.iocp, &sink};
    testsupport::PythonPeer peer;
    int port = 0;
    int clients = 0;
};

TEST(WSAListener, BroadcastReachesFiftyChildrenAndTheirEndsEmptyTheList)
{
    Listening l;
    ASSERT_TRUE(l.Connect(50, 50));
    ASSERT_TRUE(l.sink.WaitCount('o', 50));

    EXPECT_EQ(l.listener.Broadcast(CIOBuffer("tick\n\r")), 50u);
    EXPECT_EQ(l.peer.Ask("lines 0 49"), "lines tick") << "every child got the same bytes once";
    EXPECT_EQ(l.listener.Broadcast(CIOBuffer("tock\n")), 50u);
    EXPECT_EQ(l.peer.Ask("lines 0 49"), "lines \rtock");

    // Children carry the peer's address.
    std::set<int> peerPorts;
    for (int i = 0; i < 50; ++i)
        peerPorts.insert(Number(l.peer.Ask("localport " + std::to_string(i))));
    {
        CSyncLock<CCritSec> guard(l.listener.GetLock());
        for (const auto& child : l.listener) {
            EXPECT_EQ(child->GetHostname(), "127.0.0.1");
            EXPECT_EQ(peerPorts.count(child->GetPort()), 1u);
            EXPECT_EQ(child->GetParent(), &l.listener);
            EXPECT_FALSE(child->IsAutoConnect());
        }
    }
    EXPECT_EQ(l.peer.Ask("closeall"), "ok");
    ASSERT_TRUE(l.sink.WaitCount('c', 50));
    EXPECT_TRUE(Eventually([&] { return l.listener.size() == 0; }));
    EXPECT_EQ(l.sink.Count('c'), 50) << "one OnClose per child";
    // Each child's OnOpen came before its OnClose.
    std::set<CWSASocket*> open;
    for (const RecordingSink::Event& e : l.sink.Events()) {
        if (e.kind == 'o')
            open.insert(e.socket);
        if (e.kind == 'c') {
            EXPECT_EQ(open.erase(e.socket), 1u);
        }
    }
    EXPECT_EQ(l.listener.Broadcast(CIOBuffer("nobody\n")), 0u);
}

TEST(WSAListener, BroadcastWithThreeChildrenQueuesThreeSends)
{
    Listening l;
    // The clients read nothing, so the sends stay queued behind a full window.
    ASSERT_TRUE(l.Connect(3, 3));
    CIOBuffer block(static_cast<unsigned long>(8 << 20));
    block.SetLength(8 << 20);
    EXPECT_EQ(l.listener.Broadcast(block), 3u);
    {
        CSyncLock<CCritSec> guard(l.listener.GetLock());
        for (const auto& child : l.listener)
            EXPECT_EQ(child->OutstandingOverlapped(), 2) << "its receive and the one send";
    }
    EXPECT_EQ(l.listener.CheckAllOutstandingOverlapped(1, false), 3u);
    EXPECT_EQ(l.listener.size(), 3u);
    EXPECT_EQ(l.listener.CheckAllOutstandingOverlapped(1, true), 3u) << "slow children are closed";
    EXPECT_EQ(l.listener.size(), 0u);
    EXPECT_EQ(l.peer.Ask("eofall 0 2"), "eof");
}

TEST(WSAListener, CloseAllClosesEveryChildWithoutOnClose)
{
    Listening l;
    ASSERT_TRUE(l.Connect(5, 5));
    l.listener.CloseAll();
    EXPECT_EQ(l.listener.size(), 0u);
    EXPECT_EQ(l.peer.Ask("eofall 0 4"), "eof");
    EXPECT_EQ(l.sink.Count('c'), 0);
    // Still listening.
    EXPECT_TRUE(l.Connect(1, 1));
}

TEST(WSAListener, ListenOnAPortInUseFails)
{
    Listening l;
    CWSAListener second(l.pool.iocp, &l.sink);
    ASSERT_TRUE(second.SetAddress(l.port, "127.0.0.1", true));
    EXPECT_FALSE(second.Listen(4));
    EXPECT_EQ(second.Socket(), INVALID_SOCKET);
}

TEST(WSAListener, AnAcceptErrorIsReportedAndTheListenerGoesOnAccepting)
{
    Listening l;
    l.listener.FailAccept(WSAEMFILE);
    ASSERT_TRUE(l.sink.WaitCount('e', 1));
    EXPECT_EQ(l.sink.Events().front().socket, &l.listener);
    EXPECT_EQ(l.sink.Events().front().code, WSAEMFILE);
    EXPECT_NE(l.listener.Socket(), INVALID_SOCKET) << "the listener stays open";
    // After a pause a second accept is started beside the one still waiting.
    EXPECT_TRUE(Eventually([&] { return l.listener.OutstandingOverlapped() == 2; }));
    EXPECT_TRUE(l.Connect(2, 2));
    EXPECT_EQ(l.sink.Count('c'), 0);
}

TEST(WSAListener, ManyClientsEchoAtOnceAndEachGetsItsOwnBytesBack)
{
    Listening l(4);
    l.sink.echo = true;
    constexpr int kClients = 20;
    ASSERT_TRUE(l.Connect(kClients, kClients));
    ASSERT_TRUE(l.sink.WaitCount('o', kClients));
    for (int i = 0; i < kClients; ++i) {
        const std::vector<std::string> sent = Words(l.peer.Ask("sendbytes " + std::to_string(i) + " 200000 " +
                                                               std::to_string(100 + i)));
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_EQ(l.peer.Ask("read " + std::to_string(i) + " 200000"), "read " + sent[1]) << "client " << i;
    }
}

TEST(WSAListener, AChildThatClosesTheListenerFromItsOwnHandlerIsNotDestroyedUnderIt)
{
    // OnData of a child calls CloseAll: the child is closed at once and
    // destroyed later, outside its own completion.
    struct Closer : RecordingSink {
        // Set after the workers start; the data that reaches OnData comes
        // later, through the kernel, which orders nothing for the compiler.
        std::atomic<CWSAListener*> listener{nullptr};
        void OnData(CWSASocket* s, const CIOBuffer& data) override
        {
            RecordingSink::OnData(s, data);
            listener.load()->CloseAll();
        }
    };
    Listening<Closer> l;
    l.sink.listener.store(&l.listener);
    ASSERT_TRUE(l.Connect(2, 2));
    EXPECT_EQ(l.peer.Ask("send 0 bye"), "ok");
    EXPECT_EQ(l.peer.Ask("eofall 0 1"), "eof");
    EXPECT_TRUE(Eventually([&] { return l.listener.size() == 0; }));
}

} // namespace
} // namespace wsatest
