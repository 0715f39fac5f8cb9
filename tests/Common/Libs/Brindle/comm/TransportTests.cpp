// The TCP and datagram transports against the Python network peer
// (peers/netpeer.py) on loopback: dialling and redialling, byte-exact
// streams through partial writes, listeners and their children, accept and
// bind failures, soaks of many connections, datagrams and multicast.
#include "Brindle/base/CritSec.h"
#include "Brindle/comm/CommConnectProcess.h"
#include "Brindle/comm/CommDatagram.h"
#include "Brindle/comm/CommListener.h"
#include "Brindle/comm/CommMultiplexer.h"
#include "Brindle/comm/CommSocket.h"
#include "Brindle/comm/CommTimeout.h"

#include "CommLogCapture.h"
#include "TransportTestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <thread>

using namespace Brindle;
using namespace transporttest;
using commtest::CommLogCapture;

namespace {

std::string Port(int port)
{
    return std::to_string(port);
}

int BoundPort(SOCKET socket)
{
    sockaddr_in bound{};
    int length = sizeof bound;
    EXPECT_EQ(getsockname(socket, reinterpret_cast<sockaddr*>(&bound), &length), 0);
    return ntohs(bound.sin_port);
}

std::size_t OpenDescriptors()
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

// A listener on host:port under a multiplexer and `top`.
struct Served {
    Served(CCommIOCP& iocp, CCommLayer& top, int port, const char* host = "127.0.0.1", int backlog = 5)
        : listener(iocp)
    {
        mux.SetChain(&top);
        EXPECT_TRUE(listener.SetAddress(port, host, true));
        listener.SetChain(&mux);
        EXPECT_TRUE(listener.Listen(backlog));
    }
    CCommMultiplexer mux;
    CCommListener listener;
};

// A pause policy that grows with the attempt and remembers what it was
// asked.
class GrowingTimeout : public CCommTimeout {
public:
    long GetDelay(unsigned attempt) override
    {
        std::lock_guard<std::mutex> guard(lock);
        asked.push_back(attempt);
        return attempt < 3 ? static_cast<long>(attempt) : 1;
    }
    std::mutex lock;
    std::vector<unsigned> asked;
};

TEST(CommTimeout, PausesGrowWithTheAttemptUnlessFixed)
{
    struct Case {
        long fixed;
        unsigned attempt;
        long pause;
    };
    const Case cases[] = {{0, 1, 10},   {0, 10, 10},  {0, 11, 60}, {0, 120, 60}, {0, 121, 600},
                          {0, 100000, 600}, {5, 1, 5}, {5, 11, 5}, {5, 500, 5},  {-3, 11, 60}};
    for (const Case& c : cases) {
        CCommTimeout timeout(c.fixed);
        EXPECT_EQ(timeout.GetDelay(c.attempt), c.pause) << c.fixed << " / " << c.attempt;
    }
}

TEST(CommSocket, AddressesFailedLookupsAndSendsWithoutAConnection)
{
    CCommIOCP iocp;
    CCommSocket socket(iocp);
    EXPECT_EQ(socket.GetAddress(), "listen:0");
    ASSERT_TRUE(socket.SetAddress(4000, nullptr, true));
    EXPECT_EQ(socket.GetAddress(), "listen:4000");
    EXPECT_EQ(socket.GetSockAddr().sin_addr.s_addr, htonl(INADDR_ANY));
    ASSERT_TRUE(socket.SetAddress(0, "127.0.0.1", true)); // port 0 keeps 4000
    EXPECT_EQ(socket.GetAddress(), "127.0.0.1:4000");
    EXPECT_EQ(ntohs(socket.GetSockAddr().sin_port), 4000);
    ASSERT_TRUE(socket.SetAddress(4001, "localhost", true));
    EXPECT_EQ(socket.GetSockAddr().sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    // A failed lookup keeps the address, its text and the port.
    EXPECT_FALSE(socket.SetAddress(4002, "no-such-host.invalid", true));
    EXPECT_EQ(socket.GetAddress(), "localhost:4001");
    EXPECT_EQ(ntohs(socket.GetSockAddr().sin_port), 4001);
    EXPECT_EQ(socket.GetSockAddr().sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    // Without resolving only text and port change.
    EXPECT_TRUE(socket.SetAddress(4003, "elsewhere", false));
    EXPECT_EQ(socket.GetAddress(), "elsewhere:4003");
    EXPECT_EQ(socket.GetSockAddr().sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    const std::string longName(80, 'h');
    EXPECT_TRUE(socket.SetAddress(1, longName.c_str(), false));
    EXPECT_EQ(socket.GetHostname(), std::string(63, 'h'));
    // Without a connection a send is refused and posts nothing.
    EXPECT_FALSE(socket.Send("data"));
    EXPECT_FALSE(socket.SendData(socket.GetSource(), "data"));
    EXPECT_EQ(iocp.InFlight(), 0u);
    EXPECT_EQ(socket.OutstandingOverlapped(), 0);
    EXPECT_FALSE(socket.Connected());
}

TEST(CommSocket, ConnectToAClosedPortFailsAndLeavesNoHandle)
{
    Net net(2);
    auto socket = Client(net.iocp, net.peer.Int("freeport", "port"), net.top);
    const std::size_t before = OpenSocketCount();
    EXPECT_FALSE(socket->Connect());
    EXPECT_EQ(socket->Socket(), INVALID_SOCKET);
    EXPECT_EQ(OpenSocketCount(), before);
    // The non-blocking dial reports the refusal through its event.
    EXPECT_FALSE(AsyncDial(*socket));
    EXPECT_EQ(socket->Socket(), INVALID_SOCKET);
    std::lock_guard<std::mutex> guard(net.top.Lock());
    EXPECT_TRUE(net.top.opens.empty());
}

// Both dials, blocking and not, open the connection on a worker and carry
// 4 MiB in random chunks through a peer that reads slowly and echoes, so
// sends are written in part many times; everything comes back byte-exact.
TEST(CommSocket, FourMebibytesInRandomChunksArriveByteExactBothWays)
{
    for (const bool async : {false, true}) {
        SCOPED_TRACE(async ? "async dial" : "blocking dial");
        Net net;
        auto socket = net.Dial("slowecho", async);
        Recorder& top = net.top;
        EXPECT_TRUE(socket->Connected());

        std::mt19937 rng(async ? 7 : 11);
        std::uniform_int_distribution<std::size_t> length(1, 70000);
        std::string sent;
        const std::size_t total = 4u << 20;
        while (sent.size() < total) {
            const std::string chunk = commtest::RandomBytes(rng, std::min(length(rng), total - sent.size()));
            ASSERT_TRUE(socket->SendData(socket->GetSource(), chunk));
            sent += chunk;
        }
        ASSERT_TRUE(top.Until([&] { return top.received[socket->GetSource()].size() >= total; }));
        {
            std::lock_guard<std::mutex> guard(top.Lock());
            EXPECT_TRUE(top.received[socket->GetSource()] == sent) << "echo differs";
        }
        EXPECT_EQ(net.peer.Sum("digest 0 " + std::to_string(total)), Sum(sent));
        // Every send has finished: only sends count for a dialled socket.
        WaitFor([&] { return socket->OutstandingOverlapped() == 0; });
        EXPECT_FALSE(socket->CheckOutstandingOverlapped(1, true));
        EXPECT_TRUE(socket->CheckOutstandingOverlapped(0, false));
        EXPECT_TRUE(socket->Connected());
        EXPECT_TRUE(socket->Close());
        EXPECT_FALSE(socket->Connected());
        EXPECT_EQ(top.Events(socket->GetSource()), "ODC");
    }
}

TEST(CommSocket, LinesFromTwoThreadsArriveWholeAndInEachThreadsOrder)
{
    Net net(2);
    auto socket = net.Dial("sink");
    constexpr int kLines = 3000;
    std::vector<std::thread> senders;
    for (const char t : {'a', 'b'})
        senders.emplace_back([&, t] {
            std::mt19937 rng(t);
            std::uniform_int_distribution<int> length(1, 5000);
            for (int i = 0; i < kLines; ++i) {
                const int n = length(rng);
                const std::string line =
                    std::string(1, t) + " " + std::to_string(i) + " " + std::string(n, t) + " " + std::to_string(n) + "\n";
                EXPECT_TRUE(socket->Send(line));
            }
        });
    for (auto& t : senders)
        t.join();
    EXPECT_EQ(net.peer.Ask("lines 0 " + std::to_string(2 * kLines)),
              "{\"count\":" + std::to_string(2 * kLines) + ",\"bad\":0,\"order\":true}");
}

TEST(CommSocket, PeerCloseIsHandedUpOnceAfterTheOpen)
{
    Net net(2);
    auto socket = net.Dial("close");
    ASSERT_TRUE(net.top.Until([&] { return net.top.closes.size() == 1; }));
    EXPECT_FALSE(socket->Connected());
    WaitFor([&] { return socket->Socket() == INVALID_SOCKET; }); // closed after the close went up
    EXPECT_EQ(net.top.Events(socket->GetSource()), "OC");
}

// The port comes up only after two failed attempts; the connect thread
// keeps dialling with the policy's growing pauses, logs each failure with
// the next attempt time, and connects. A peer close then makes it redial;
// Close ends the redialling.
TEST(CommConnectProcess, RedialsWithGrowingPausesUntilThePortComesUp)
{
    for (const bool async : {true, false}) {
        SCOPED_TRACE(async ? "async" : "blocking");
        CCommConnectProcess::SetAsyncConnect(async);
        CommLogCapture log;
        Net net(2);
        Recorder& top = net.top;
        const int port = net.peer.Int("freeport", "port");
        GrowingTimeout timeout;
        auto socket = Client(net.iocp, port, top);
        socket->SetTimeout(&timeout);
        socket->AutoConnect(false, true); // the first dial fails at once
        EXPECT_TRUE(socket->IsAutoConnect());
        WaitFor([&] { return log.Matching("CCommConnectProcess: thread ").size() >= 4; }); // 2 attempts, 2 failures
        EXPECT_EQ(net.peer.Int("listen " + Port(port), "port"), port);
        ASSERT_TRUE(top.Until([&] { return top.opens.size() == 1; }));
        {
            std::lock_guard<std::mutex> guard(timeout.lock);
            ASSERT_GE(timeout.asked.size(), 3u);
            for (std::size_t i = 0; i < timeout.asked.size(); ++i)
                EXPECT_EQ(timeout.asked[i], i + 1);
        }
        const std::string attempt = (async ? " async" : "") + std::string(" connect attempt 1 to 127.0.0.1:") + Port(port);
        const std::string failed = " connection attempt 1 failed, next connect attempt at ";
        int sawAttempt = 0, sawFailure = 0;
        for (const auto& record : log.Matching("CCommConnectProcess: thread ")) {
            EXPECT_EQ(record.source + " " + std::to_string(record.severity), "CCommConnectProcess 0");
            sawAttempt += record.text.find(attempt) != std::string::npos;
            const auto at = record.text.find(failed);
            if (at != std::string::npos && ++sawFailure) {
                EXPECT_EQ(record.text.size() - at - failed.size(), 16u) << record.text; // YYYYMMDDHH:MM:SS
            }
        }
        EXPECT_TRUE(sawAttempt && sawFailure);
        // The peer drops the connection: up layers see the close, the
        // socket dials again.
        net.peer.Ask("close 0");
        ASSERT_TRUE(top.Until([&] { return top.opens.size() == 2; }));
        EXPECT_EQ(net.peer.Int("wait_accepted 2", "count"), 2);
        EXPECT_TRUE(socket->Close());
        EXPECT_FALSE(socket->IsAutoConnect());
        EXPECT_FALSE(socket->Connected());
        EXPECT_EQ(top.Events(socket->GetSource()), "OCOC");
    }
    CCommConnectProcess::SetAsyncConnect(true);
}

// A listener with a multiplexer and a recorder above it, and three peer
// clients: each child knows its peer's address, the listener's source
// lists them all, one send to it reaches all three, a send to one child
// reaches that client only, and closes by either side take children off.
TEST(CommListener, ThreeClientsAreAddressedOneByOneAndAllAtOnce)
{
    Net net;
    NetPeer& peer = net.peer;
    Recorder& top = net.top;
    const int port = peer.Int("freeport", "port");
    Served served(net.iocp, top, port);
    CCommListener& listener = served.listener;
    EXPECT_EQ(listener.GetAddress(), "127.0.0.1:" + Port(port));

    std::vector<int> clientPorts;
    for (int i = 0; i < 3; ++i)
        clientPorts.push_back(peer.Int("dial " + Port(port), "port"));
    ASSERT_TRUE(top.Until([&] { return top.opens.size() == 3; }));
    EXPECT_EQ(listener.size(), 3u);
    std::list<void*> sources;
    EXPECT_TRUE(listener.GetSourceList(listener.GetSource(), sources));
    EXPECT_FALSE(listener.GetSourceList(top.opens[0], sources));
    EXPECT_TRUE(listener.IsList(listener.GetSource()));
    EXPECT_FALSE(listener.IsList(top.opens[0]));
    const std::vector<void*> opened = top.Opens();
    EXPECT_EQ(std::set<void*>(sources.begin(), sources.end()), std::set<void*>(opened.begin(), opened.end()));
    // Each child carries its peer's address; map clients to children.
    std::vector<CCommSocket*> childOf(3, nullptr);
    // Taken under the lock the listener deletes children after, so reading
    // them here is ordered before any deletion.
    std::vector<void*> sourceOf(3, nullptr);
    {
        CSystemLock lock;
        for (CCommSocket* child : listener) {
            EXPECT_EQ(child->GetHostname(), "127.0.0.1");
            EXPECT_EQ(child->GetParent(), &listener);
            EXPECT_TRUE(child->Connected());
            EXPECT_FALSE(child->IsAutoConnect());
            const auto it = std::find(clientPorts.begin(), clientPorts.end(), child->GetPort());
            ASSERT_NE(it, clientPorts.end());
            childOf[it - clientPorts.begin()] = child;
            sourceOf[it - clientPorts.begin()] = child->GetSource();
        }
    }
    const auto received = [&](int i, std::size_t n) {
        return Unhex(peer.Field("crecv " + std::to_string(i) + " " + std::to_string(n), "text"));
    };
    EXPECT_TRUE(top.Send(listener.GetSource(), "hello all|"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(received(i, 10), "hello all|");
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(top.Send(sourceOf[i], "to " + std::to_string(i)));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(received(i, 14), "hello all|to " + std::to_string(i));
    // Data from a client arrives with its child's source.
    peer.Ask("csend 1 6869"); // "hi"
    ASSERT_TRUE(top.Until([&] { return top.received[sourceOf[1]] == "hi"; }));

    // The peer closes client 0: its child is deleted and leaves the list.
    peer.Ask("cclose 0");
    ASSERT_TRUE(top.Until([&] { return top.closes.size() == 1; }));
    EXPECT_EQ(top.closes[0], sourceOf[0]);
    WaitFor([&] { return listener.size() == 2; });
    // Closing a child here takes it off the list at once; the peer sees the
    // end of its stream.
    EXPECT_TRUE(childOf[2]->Close());
    EXPECT_EQ(listener.size(), 1u);
    EXPECT_EQ(peer.Field("cwaitclose 2", "closed"), "true");
    ASSERT_TRUE(top.Until([&] { return top.closes.size() == 2; }));
    EXPECT_EQ(top.closes[1], sourceOf[2]);
    sources.clear();
    listener.GetSourceList(listener.GetSource(), sources);
    EXPECT_EQ(sources, std::list<void*>{sourceOf[1]});
    EXPECT_TRUE(top.Send(listener.GetSource(), "last"));
    EXPECT_EQ(received(1, 18), "hello all|to 1last");
    // The peer can hold the bytes before a worker has taken the send's
    // completion: then the standing receive is all that is left.
    WaitFor([&] { return listener.CheckAllOutstandingOverlapped(2, false) == 0; });
    EXPECT_EQ(listener.CheckAllOutstandingOverlapped(1, false), 1); // the standing receive
    // Closing by the count: the last child goes, its client sees the end.
    EXPECT_EQ(listener.CheckAllOutstandingOverlapped(1, true), 1);
    EXPECT_EQ(listener.size(), 0u);
    EXPECT_EQ(peer.Field("cwaitclose 1", "closed"), "true");
    ASSERT_TRUE(top.Until([&] { return top.closes.size() == 3; }));
    WaitFor([&] { return served.mux.size() == 1; });
}

TEST(CommListener, PeersThatCloseAtOnceLeaveNoChildBehind)
{
    Net net;
    const int port = net.peer.Int("freeport", "port");
    Served served(net.iocp, net.top, port, nullptr);
    EXPECT_EQ(served.listener.GetAddress(), "listen:" + Port(port));
    constexpr int kPeers = 30;
    for (int i = 0; i < kPeers; ++i)
        net.peer.Ask("dialclose " + Port(port));
    ASSERT_TRUE(net.top.Until([&] { return net.top.closes.size() == kPeers; }));
    WaitFor([&] { return served.listener.size() == 0; });
    // The last child unlinks itself after its close went up.
    WaitFor([&] { return served.mux.size() == 1; }); // the listener alone
    std::lock_guard<std::mutex> guard(net.top.Lock());
    EXPECT_EQ(net.top.opens.size(), static_cast<std::size_t>(kPeers));
    // A deleted child's address may serve a later one: open and close
    // alternate for every source.
    for (const auto& [source, events] : net.top.events) {
        ASSERT_EQ(events.size() % 2, 0u) << events;
        for (std::size_t i = 0; i < events.size(); i += 2)
            EXPECT_EQ(events.substr(i, 2), "OC") << events;
    }
}

TEST(CommListener, BindFailureIsRefusedAndListenerCanRetry)
{
    CCommIOCP iocp;
    CCommListener first(iocp), second(iocp);
    ASSERT_TRUE(first.SetAddress(0, "127.0.0.1", true));
    ASSERT_TRUE(first.Listen(5));
    ASSERT_TRUE(second.SetAddress(BoundPort(first.Socket()), "127.0.0.1", true));
    EXPECT_FALSE(second.Listen(5));
    EXPECT_EQ(second.Socket(), INVALID_SOCKET);
    ASSERT_TRUE(second.SetAddress(0, "192.0.2.254", true)); // not ours
    EXPECT_FALSE(second.Listen(5));
}

// Out of descriptors: the accept that cannot make its socket is reported
// up and started again after a pause; once descriptors are free again the
// next client gets through and the first child stays.
TEST(CommListener, AcceptFailuresAreReportedAndRetriedAfterAPause)
{
    Net net(2);
    Recorder& top = net.top;
    const int port = net.peer.Int("freeport", "port");
    Served served(net.iocp, top, port);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    const int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lowest, 0);
    ::close(lowest);
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(lowest);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    net.peer.Ask("dial " + Port(port));
    const bool reported = top.Until([&] { return top.errors.size() >= 2; });
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &old), 0);
    ASSERT_TRUE(reported);
    {
        std::lock_guard<std::mutex> guard(top.Lock());
        EXPECT_EQ(top.opens.size(), 1u); // the connection already waiting got through
        for (const auto& e : top.errors) {
            EXPECT_EQ(e.source, served.listener.GetSource());
            EXPECT_EQ(e.code, static_cast<unsigned long>(EMFILE));
            EXPECT_EQ(e.text, "CCommListener::Accept - invalid socket");
        }
    }
    net.peer.Ask("dial " + Port(port));
    ASSERT_TRUE(top.Until([&] { return top.opens.size() == 2; }));
    EXPECT_EQ(served.listener.size(), 2u);
    EXPECT_NE(served.listener.Socket(), INVALID_SOCKET);
}

// Closing a connection from inside its own data handler, on either end:
// the child leaves the listener at once, the peer sees the end, and the
// receive that can no longer start leaves no record behind.
TEST(CommListener, ConnectionsClosedFromTheirOwnDataHandlerLeaveNothing)
{
    Net net;
    Recorder& top = net.top;
    net.peer.Ask("mode echo");
    const int echoPort = net.peer.Int("listen", "port");
    const int port = net.peer.Int("freeport", "port");
    top.onData = [](void* source, const std::string&) {
        static_cast<CCommSocket*>(static_cast<CCommLayer*>(source))->Close();
    };
    Served served(net.iocp, top, port);
    const std::size_t listening = net.iocp.InFlight();
    net.peer.Ask("dial " + Port(port));
    ASSERT_TRUE(top.Until([&] { return top.opens.size() == 1; }));
    net.peer.Ask("csend 0 627965"); // "bye"
    EXPECT_EQ(net.peer.Field("cwaitclose 0", "closed"), "true");
    WaitFor([&] { return served.listener.size() == 0 && served.mux.size() == 1; });

    auto client = Client(net.iocp, echoPort, served.mux);
    ASSERT_TRUE(client->Connect());
    ASSERT_TRUE(top.Until([&] { return top.opens.size() == 2; }));
    ASSERT_TRUE(client->Send("ping"));
    // The close goes up from inside the data handler, before the data is
    // recorded.
    ASSERT_TRUE(top.Until([&] { return top.closes.size() == 2 && top.received[client->GetSource()] == "ping"; }));
    EXPECT_FALSE(client->Connected());
    WaitFor([&] { return net.iocp.InFlight() == listening; });
}

// 200 connections between our own sockets and our own listener, opened at
// once and closed in random order by either end (or by destroying the
// client), leave no socket, descriptor, record or child behind.
TEST(CommTransportSoak, TwoHundredConnectionsOpenedAndClosedInRandomOrderLeaveNothing)
{
    const std::size_t socketsBefore = OpenSocketCount();
    const std::size_t fdsBefore = OpenDescriptors();
    {
        CCommIOCP iocp;
        Workers workers(iocp, 3);
        Recorder serverTop, clientTop;
        CCommMultiplexer clientMux;
        clientMux.SetChain(&clientTop);
        Served served(iocp, serverTop, 0, "127.0.0.1", 64);
        const int port = BoundPort(served.listener.Socket());
        const std::size_t inFlightListening = iocp.InFlight();

        constexpr int kConnections = 200;
        std::vector<std::unique_ptr<CCommSocket>> clients;
        for (int i = 0; i < kConnections; ++i) {
            clients.push_back(Client(iocp, port, clientMux));
            ASSERT_TRUE(clients.back()->Connect());
        }
        ASSERT_TRUE(serverTop.Until([&] { return serverTop.opens.size() == kConnections; }));
        ASSERT_TRUE(clientTop.Until([&] { return clientTop.opens.size() == kConnections; }));
        EXPECT_EQ(served.listener.size(), static_cast<std::size_t>(kConnections));

        // The child of each client, by the client's own port.
        std::map<int, CCommSocket*> childByPort;
        {
            CSystemLock lock;
            for (CCommSocket* child : served.listener)
                childByPort[child->GetPort()] = child;
        }
        std::vector<CCommSocket*> childOf;
        for (const auto& client : clients)
            childOf.push_back(childByPort.at(BoundPort(client->Socket())));
        std::vector<int> order(kConnections);
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), std::mt19937(2026));
        // Each connection is closed once, so a child is alive when closed.
        for (int k = 0; k < kConnections; ++k) {
            const int i = order[k];
            if (k % 3 == 0)
                clients[i]->Close();
            else if (k % 3 == 1)
                clients[i].reset();
            else
                childOf[i]->Close(); // server side; its client sees the close
        }
        ASSERT_TRUE(serverTop.Until([&] { return serverTop.closes.size() == kConnections; }));
        WaitFor([&] { return served.listener.size() == 0; });
        clients.clear();
        WaitFor([&] { return iocp.InFlight() == inFlightListening; });
        // Children closed here are deleted on a worker a moment later.
        WaitFor([&] { return served.mux.size() == 1; });
        EXPECT_EQ(clientMux.size(), 0u);
    }
    EXPECT_EQ(OpenSocketCount(), socketsBefore);
    EXPECT_EQ(OpenDescriptors(), fdsBefore);
}

// Objects destroyed while their operations are in flight and data flows:
// a client with a pending receive and sends, a listener with children.
TEST(CommTransportSoak, ObjectsDestroyedWithOperationsInFlight)
{
    Net net(4);
    net.peer.Ask("mode echo");
    const int port = net.peer.Int("listen", "port");
    for (int round = 0; round < 20; ++round) {
        Recorder top;
        auto socket = Client(net.iocp, port, top);
        ASSERT_TRUE(socket->Connect());
        ASSERT_TRUE(top.Until([&] { return top.opens.size() == 1; }));
        for (int i = 0; i < 50; ++i)
            socket->Send(std::string(10000, 'x'));
        socket.reset(); // with sends and the receive in flight
    }
    Recorder& top = net.top;
    CCommMultiplexer mux;
    mux.SetChain(&top);
    const int listenPort = net.peer.Int("freeport", "port");
    for (int round = 0; round < 5; ++round) {
        auto listener = std::make_unique<CCommListener>(net.iocp);
        listener->SetAddress(listenPort, "127.0.0.1", true);
        listener->SetChain(&mux);
        ASSERT_TRUE(listener->Listen(5));
        const std::size_t opened = top.Opens().size();
        for (int i = 0; i < 3; ++i)
            net.peer.Ask("dial " + Port(listenPort));
        ASSERT_TRUE(top.Until([&] { return top.opens.size() == opened + 3; }));
        listener.reset();
    }
    WaitFor([&] { return net.iocp.InFlight() == 0; });
    std::lock_guard<std::mutex> guard(top.Lock());
    EXPECT_EQ(top.closes.size(), top.opens.size());
}

const std::size_t kSizes[] = {1, 2, 100, 1400, 1473, 9000, 32768, 60000};

TEST(CommDatagram, AddressesAndRefusals)
{
    CCommIOCP iocp;
    CCommDatagram sender(iocp);
    // No socket: nothing is sent, not even an empty datagram.
    EXPECT_FALSE(sender.Send("x"));
    EXPECT_FALSE(sender.Send(""));
    EXPECT_EQ(sender.MaxMsgSize(), 0);
    EXPECT_FALSE(sender.SetTTL(1));
    EXPECT_FALSE(sender.SetLoopback(true));
    ASSERT_TRUE(sender.SetAddress(5000, "239.1.2.3", true));
    EXPECT_EQ(sender.GetAddress(), "UDP:239.1.2.3:5000");
    EXPECT_FALSE(sender.SetAddress(5001, "no-such-host.invalid", true));
    EXPECT_EQ(sender.GetAddress(), "UDP:239.1.2.3:5000");
    EXPECT_TRUE(sender.SetAddress(0, "text-only", false));
    EXPECT_EQ(sender.GetAddress(), "UDP:text-only:5000");
    ASSERT_TRUE(sender.Connect());
    EXPECT_EQ(sender.MaxMsgSize(), CCommDatagram::MaxDatagramSize);
    EXPECT_FALSE(sender.Send(std::string(CCommDatagram::MaxDatagramSize + 1, 'x')));
    EXPECT_EQ(iocp.InFlight(), 0u); // refused without an operation
    EXPECT_TRUE(sender.SetTTL(1));
    EXPECT_TRUE(sender.SetLoopback(false));
    EXPECT_TRUE(sender.CheckOutstandingOverlapped(0));
    EXPECT_FALSE(sender.CheckOutstandingOverlapped(1));
    EXPECT_TRUE(sender.Close());
    EXPECT_EQ(sender.Socket(), INVALID_SOCKET);
    EXPECT_FALSE(sender.Send("x"));
}

TEST(CommDatagramFrom, DatagramsOfOneToSixtyThousandBytesArriveWithTheirSenderAndEmptyOnesAreSkipped)
{
    Net net(2);
    Recorder& top = net.top;
    const int port = net.peer.Int("freeport", "port");
    auto receiver = std::make_unique<CCommDatagramFrom>(net.iocp);
    ASSERT_TRUE(receiver->SetAddress(port, "127.0.0.1", true));
    receiver->SetChain(&top);
    std::vector<int> senders, lengths;
    top.onData = [&](void*, const std::string&) {
        senders.push_back(ntohs(receiver->GetFrom().sin_port));
        lengths.push_back(receiver->GetFromLength());
    };
    ASSERT_TRUE(receiver->BeginReceive(false));
    EXPECT_FALSE(receiver->IsMember());
    int from = -1;
    for (std::size_t i = 0; i < std::size(kSizes); ++i) {
        from = net.peer.Int("usend " + std::to_string(port) + " " + std::to_string(kSizes[i]), "from");
        ASSERT_TRUE(top.Until([&] { return top.datagrams == i + 1; })) << kSizes[i];
    }
    // An empty datagram is not handed up and does not close the receiver.
    net.peer.Ask("usend " + std::to_string(port) + " 0");
    net.peer.Ask("usend " + std::to_string(port) + " 10");
    std::vector<std::size_t> sizes(std::begin(kSizes), std::end(kSizes));
    sizes.push_back(10);
    ASSERT_TRUE(top.Until([&] { return top.datagrams == sizes.size(); }));
    std::lock_guard<std::mutex> guard(top.Lock());
    ASSERT_EQ(top.sizes, sizes);
    std::string expected;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        expected += Pattern(sizes[i]);
        EXPECT_EQ(senders[i], from);
    }
    EXPECT_TRUE(top.received[receiver->GetSource()] == expected);
    for (const int length : lengths)
        EXPECT_EQ(length, static_cast<int>(sizeof(sockaddr_in)));
    EXPECT_TRUE(top.errors.empty());
    EXPECT_TRUE(top.closes.empty());
    EXPECT_NE(receiver->Socket(), INVALID_SOCKET);
    EXPECT_EQ(receiver->OutstandingOverlapped(), 1); // the standing receive
}

// Then far more than the 32 KiB send buffer at once: every send is taken
// and waits for room, none fails.
TEST(CommDatagram, DatagramsOfOneToSixtyThousandBytesReachThePeerAndAFullSendBufferWaitsForRoom)
{
    Net net(2);
    auto sender = std::make_unique<CCommDatagram>(net.iocp);
    sender->SetChain(&net.top);
    ASSERT_TRUE(sender->SetAddress(net.peer.Int("ubind", "port"), "127.0.0.1", true));
    ASSERT_TRUE(sender->Connect());
    for (const std::size_t size : kSizes) {
        ASSERT_TRUE(sender->SendData(sender->GetSource(), Pattern(size)));
        EXPECT_EQ(net.peer.Sum("urecv"), Sum(Pattern(size)));
    }
    for (int i = 0; i < 2000; ++i)
        ASSERT_TRUE(sender->Send(std::string(8192, 'u'))) << i;
    WaitFor([&] { return sender->OutstandingOverlapped() == 0; });
    std::lock_guard<std::mutex> guard(net.top.Lock());
    EXPECT_TRUE(net.top.errors.empty()) << net.top.errors.front().text;
    EXPECT_NE(sender->Socket(), INVALID_SOCKET);
}

TEST(CommDatagramFrom, BindAndMembershipFailuresAreLoggedAndLeaveTheSocketClosed)
{
    CommLogCapture log;
    CCommIOCP iocp;
    struct Case {
        const char* host;
        bool multicast;
        const char* logged;
    };
    const Case cases[] = {
        {"192.0.2.254", false, "CCommDatagramFrom::Bind() - ::bind error - "},
        {"127.0.0.1", true, "CCommDatagramFrom::Bind() - ::setsockopt IP_ADD_MEMBERSHIP error - "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        log.Take();
        CCommDatagramFrom receiver(iocp);
        ASSERT_TRUE(receiver.SetAddress(0, c.host, true));
        EXPECT_FALSE(receiver.BeginReceive(c.multicast));
        EXPECT_FALSE(receiver.IsMember());
        EXPECT_EQ(receiver.Socket(), INVALID_SOCKET);
        const auto records = log.Take();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].text.rfind(c.logged, 0), 0u) << records[0].text;
        EXPECT_GT(records[0].text.size(), std::string(c.logged).size()); // the system's text follows
    }
    // A receiver that never joined closes without leaving a group.
    CCommDatagramFrom plain(iocp);
    plain.SetAddress(0, "127.0.0.1", true);
    ASSERT_TRUE(plain.BeginReceive(false));
    log.Take();
    EXPECT_TRUE(plain.Close());
    EXPECT_TRUE(log.Take().empty());
    EXPECT_EQ(iocp.InFlight(), 1u); // the aborted receive, dequeued by nobody here
}

// Multicast looped back on this host: the peer sends to the group our
// receiver joined; our sender (TTL 1, loopback on) reaches the peer's
// member and our own receiver.
TEST(CommDatagramFrom, MulticastIsLoopedBackToMembersOnThisHost)
{
    Net net(2);
    NetPeer& peer = net.peer;
    CCommIOCP& iocp = net.iocp;
    Recorder& top = net.top;
    CommLogCapture log;
    const char* group = "239.255.77.31";
    const int port = peer.Int("freeport", "port");
    CCommDatagramFrom receiver(iocp);
    ASSERT_TRUE(receiver.SetAddress(port, group, true));
    EXPECT_EQ(receiver.GetAddress(), std::string("UDP:") + group + ":" + std::to_string(port));
    receiver.SetChain(&top);
    if (!receiver.BeginReceive(true)) {
        const auto records = log.Take();
        GTEST_SKIP() << "no multicast route here: " << (records.empty() ? "?" : records.back().text);
    }
    EXPECT_TRUE(receiver.IsMember());
    const std::string sent = peer.Ask("msend " + std::string(group) + " " + std::to_string(port) + " 321", true);
    if (sent.find("error") != std::string::npos)
        GTEST_SKIP() << "the kernel sends no multicast here: " << sent;
    ASSERT_TRUE(top.Until([&] { return top.datagrams == 1; }));
    EXPECT_EQ(top.received[receiver.GetSource()], Pattern(321));

    ASSERT_EQ(peer.Field("mjoin " + std::string(group) + " " + std::to_string(port), "ok"), "true");
    CCommDatagram sender(iocp);
    ASSERT_TRUE(sender.SetAddress(port, group, true));
    ASSERT_TRUE(sender.Connect());
    EXPECT_TRUE(sender.SetTTL(1));
    EXPECT_TRUE(sender.SetLoopback(true));
    ASSERT_TRUE(sender.Send(Pattern(1000)));
    EXPECT_EQ(peer.Sum("mrecv"), Sum(Pattern(1000)));
    ASSERT_TRUE(top.Until([&] { return top.datagrams == 2; }));
    EXPECT_EQ(top.received[receiver.GetSource()], Pattern(321) + Pattern(1000));
    log.Take();
    EXPECT_TRUE(receiver.Close());
    EXPECT_FALSE(receiver.IsMember());
    EXPECT_TRUE(log.Take().empty()); // the group was left without complaint
}

} // namespace
