// The server and client holders: their own ports and workers, a Python
// client reading a broadcast, a Python server fed by an auto-connecting
// client, restarts.
#include "WSATestSupport.h"

#include "Brindle/wsa/SocketClient.h"
#include "Brindle/wsa/SocketServer.h"

namespace wsatest {
namespace {

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
    RecordingSink sink;
    testsupport::PythonPeer peer(PeerScript(), {});
    const int port = Number(peer.Ask("listen"));
    CSocketClient client(&sink);
    EXPECT_FALSE(client.Send(CIOBuffer("early")));
    ASSERT_TRUE(client.Start("localhost", port));
    ASSERT_EQ(Words(peer.Ask("accept")).at(0), "accepted");
    ASSERT_TRUE(sink.WaitCount('o', 1));
    EXPECT_TRUE(client.Connected());
    EXPECT_TRUE(client.Send(CIOBuffer("hello\n")));
    EXPECT_EQ(peer.Ask("line 0"), "line hello");
    client.Stop();
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(peer.Ask("eof 0"), "eof");

    CSocketClient once(&sink);
    EXPECT_TRUE(once.Start("127.0.0.1", port, false));
    EXPECT_EQ(Words(peer.Ask("accept")).at(0), "accepted");
    EXPECT_EQ(peer.Ask("unlisten"), "ok");
    CSocketClient refused(&sink);
    EXPECT_FALSE(refused.Start("127.0.0.1", port, false));
}

} // namespace
} // namespace wsatest

#include "Brindle/base/Datasink.h"
#include "Brindle/wsa/WSADatasinkBridge.h"

namespace wsatest {
namespace {

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
    testsupport::PythonPeer peer(PeerScript(), {});
    const int port = Number(peer.Ask("listen"));
    CSocketClient client(&bridge);
    ASSERT_TRUE(client.Start("127.0.0.1", port, false));
    ASSERT_EQ(Words(peer.Ask("accept")).at(0), "accepted");
    EXPECT_EQ(peer.Ask("send 0 stream\\n"), "ok");
    ASSERT_TRUE(Eventually([&] { return data.Snapshot() == "open |stream\n"; })) << data.Snapshot();
    EXPECT_EQ(peer.Ask("close 0"), "ok");
    ASSERT_TRUE(Eventually([&] { return data.Snapshot() == "open close |stream\n"; })) << data.Snapshot();
    for (void* source : data.Sources())
        EXPECT_EQ(source, client.GetSocket());
}

} // namespace
} // namespace wsatest
