// The framed secure channel and the message security layer over TCP against
// the Python wire peer (peers/wirepeer.py), each side as initiator and as
// responder, with the methods of the cipher table, two handshakes on one
// connection, and the channel through a TLS tunnel made with socat.
#include "Brindle/comm/MsgParser.h"
#include "Brindle/comm/MsgSecurityLayer.h"
#include "Brindle/comm/SecurityLayer.h"

#include "ChildProcess.h"
#include "CommTestSupport.h"
#include "LayerPair.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using namespace Brindle;
using namespace commtest;
using testsupport::ChildProcess;

namespace {

// What the reader thread saw, for the test thread to wait on, with the
// handshake notices of Sink about its Context counted.
template <typename Sink, typename Context>
class Seen : public Sink, public Waitable {
public:
    void OnHandShakeSuccess(Context*) override { Note([&] { ++success; }); }
    void OnHandShakeFailed(Context*) override { Note([&] { ++failed; }); }
    int closes = 0, success = 0, failed = 0;
};

// The top of a channel stack: keeps each payload and, when asked, answers
// it with "echo:" and the payload.
class ChannelTop : public CCommLayer, public Seen<CSecurityLayerSink, CSecurityContext> {
public:
    ChannelTop(CSecurityLayer&, bool echo) : m_echo(echo) {}
    void OnOpen(void*) override {}
    void OnData(void* source, const std::string& data) override
    {
        Note([&] { payloads.push_back(data); });
        if (m_echo)
            CallDownData(source, "echo:" + data);
    }
    void OnError(void*, unsigned long, const std::string& text) override { Note([&] { errors.push_back(text); }); }
    void OnClose(void*) override { Note([&] { ++closes; }); }
    bool Send(void* source, const std::string& data) { return CallDownData(source, data); }
    std::vector<std::string> payloads, errors;

private:
    bool m_echo;
};

// The top of a message stack: keeps each message with InBundle at its
// delivery and, when asked, answers "PING" with "ECHO" of the same values.
class MsecTop : public CMsgLayer, public Seen<CMsgSecuritySink, CMsgSecurityContext> {
public:
    MsecTop(CMsgSecurityLayer& layer, bool echo) : m_layer(layer), m_echo(echo) {}
    void OnOpen(void*) override {}
    void OnMsg(void* source, const CMsg& msg) override
    {
        const CRefCountedPtr<CMsgSecurityContext> context = m_layer.GetSecurityContext(source);
        Note([&] {
            msgs.push_back(msg);
            inBundle.push_back(context.NotNull() && context->InBundle());
            ids.push_back(msg.get_header().get_id().get_value());
        });
        if (m_echo && msg.get_header().get_id() == "PING") {
            CMsg echo(msg);
            echo.get_header().set_id(CVar("ECHO"));
            echo.prepare_string(); // the copy still holds the parsed text
            CallDownMsg(source, echo);
        }
    }
    void OnClose(void*) override { Note([&] { ++closes; }); }
    bool Send(void* source, const CMsg& msg) { return CallDownMsg(source, msg); }
    std::vector<std::string> ids;
    std::vector<CMsg> msgs;
    std::vector<bool> inBundle;

private:
    CMsgSecurityLayer& m_layer;
    bool m_echo;
};

using ChannelStack = SocketStack<CSecurityLayer, ChannelTop>;

struct MsecStack : SocketStack<CMsgSecurityLayer, MsecTop, CMsgParser> {
    MsecStack(int fd, bool echo, int method) : SocketStack(fd, echo) { layer.SetPreferredMethod(method); }
};

std::vector<std::string> PeerArgs(const std::vector<std::string>& args)
{
    std::vector<std::string> argv{testsupport::FindPython(), "-u", PeerScript()};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

int Occurrences(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The port a listening peer printed ("PORT n"), or 0.
int PeerPort(ChildProcess& peer)
{
    if (!peer.ReadUntil([&] { return peer.Stdout().find('\n') != std::string::npos; }))
        return 0;
    const std::string& out = peer.Stdout();
    return out.starts_with("PORT ") ? std::stoi(out.substr(5)) : 0;
}

// True once something listens on 127.0.0.1:port (read from the kernel's
// table, so that no connection is made to find out).
bool IsListening(int port)
{
    std::ifstream table("/proc/net/tcp");
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    std::string slot, local, remote, state, rest;
    while (table >> slot >> local >> remote >> state && std::getline(table, rest))
        if (local == wanted && state == "0A")
            return true;
    return false;
}

// One accepted connection on a fresh listener, with the peer told the port.
int AcceptFrom(const std::vector<std::string>& peerArgs, std::unique_ptr<ChildProcess>& peer)
{
    int port = 0;
    const int listener = SocketTransport::Listen(port);
    if (listener < 0)
        return -1;
    std::vector<std::string> args = peerArgs;
    args.insert(args.begin() + 2, std::to_string(port));
    peer = std::make_unique<ChildProcess>(PeerArgs(args));
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ::close(listener);
    return fd;
}

struct MethodCase {
    ENCRYPTION_METHOD channel;
    int msec;
};

class PeerOverTcp : public ::testing::TestWithParam<MethodCase> {
protected:
    void SetUp() override
    {
        if (testsupport::FindPython().empty())
            GTEST_SKIP() << "python3 not found";
    }
};

std::string MethodName(const ::testing::TestParamInfo<MethodCase>& info)
{
    return std::string("method") + static_cast<char>(info.param.channel);
}

} // namespace

TEST_P(PeerOverTcp, ChannelPythonInitiatorTwoHandshakes)
{
    std::unique_ptr<ChildProcess> peer;
    const int fd = AcceptFrom({"channel", "initiator", "rounds=2", "count=3"}, peer);
    ASSERT_GE(fd, 0);
    ChannelStack s(fd, true);
    s.layer.SetMethod(GetParam().channel);
    s.transport.Start();

    EXPECT_EQ(peer->Wait(), 0) << peer->Stdout();
    s.transport.Join();
    EXPECT_EQ(Occurrences(peer->Stdout(), "handshake ok"), 2);
    EXPECT_EQ(Occurrences(peer->Stdout(), "got echo:ping"), 6) << peer->Stdout();
    std::lock_guard<std::mutex> guard(s.top.Lock());
    EXPECT_EQ(s.top.success, 2);
    // The peer's second round opens with a reset notice.
    EXPECT_EQ(s.top.failed, 1);
    EXPECT_TRUE(s.top.errors.empty());
    ASSERT_EQ(s.top.payloads.size(), 6u);
    EXPECT_EQ(s.top.payloads[5], "ping 1.2 " + std::string(1400, 'x'));
    EXPECT_EQ(s.top.closes, 1);
}

TEST_P(PeerOverTcp, ChannelOurInitiatorTwoHandshakes)
{
    ChildProcess peer(PeerArgs({"channel", "responder", "listen", std::string("method=") + static_cast<char>(GetParam().channel)}));
    const int port = PeerPort(peer);
    ASSERT_GT(port, 0) << peer.Stdout();
    ChannelStack s(SocketTransport::Connect(port), false);
    s.transport.Start();
    void* source = s.Source();

    const std::vector<std::string> pings{"", "short", std::string(1500, 'c'), std::string(70000, 'l')};
    for (int round = 1; round <= 2; ++round) {
        ASSERT_TRUE(s.Context()->InitiateHandShake());
        ASSERT_TRUE(s.top.Until([&] { return s.top.success == round; })) << peer.Stdout();
        EXPECT_EQ(s.Context()->GetMethod(), GetParam().channel);
        for (const std::string& ping : pings)
            ASSERT_TRUE(s.top.Send(source, ping));
        ASSERT_TRUE(s.top.Until([&] { return s.top.payloads.size() == pings.size() * round; }));
    }
    ASSERT_TRUE(s.top.Send(source, "bye"));
    EXPECT_EQ(peer.Wait(), 0) << peer.Stdout();
    s.transport.Join();
    std::lock_guard<std::mutex> guard(s.top.Lock());
    for (std::size_t i = 0; i < pings.size(); ++i)
        EXPECT_EQ(s.top.payloads[i], "echo:" + pings[i]) << i;
    EXPECT_EQ(s.top.failed, 1) << "the second handshake reset a secure context";
    EXPECT_TRUE(s.top.errors.empty());
    EXPECT_EQ(Occurrences(peer.Stdout(), "reset notice"), 1);
}

TEST_P(PeerOverTcp, MsecPythonInitiator)
{
    std::unique_ptr<ChildProcess> peer;
    const int fd = AcceptFrom({"msec", "initiator", "count=3"}, peer);
    ASSERT_GE(fd, 0);
    MsecStack s(fd, true, GetParam().msec);
    s.transport.Start();

    EXPECT_EQ(peer->Wait(), 0) << peer->Stdout();
    s.transport.Join();
    EXPECT_EQ(Occurrences(peer->Stdout(), "got ECHO"), 3) << peer->Stdout();
    std::lock_guard<std::mutex> guard(s.top.Lock());
    EXPECT_EQ(s.top.success, 1);
    ASSERT_EQ(s.top.ids, (std::vector<std::string>{"HELLO", "PING", "PING", "PING"}));
    EXPECT_EQ(s.top.inBundle, (std::vector<bool>{false, true, true, false}));
    EXPECT_EQ(s.top.msgs[3].get_header().get("N"), "2");
    EXPECT_EQ(s.top.msgs[3].get_header().get("Pad"), std::string(1800, 'y'));
}

TEST_P(PeerOverTcp, MsecOurInitiatorRekeysAfterOneRefusal)
{
    ChildProcess peer(PeerArgs({"msec", "responder", "listen", "method=" + std::to_string(GetParam().msec)}));
    const int port = PeerPort(peer);
    ASSERT_GT(port, 0) << peer.Stdout();
    MsecStack s(SocketTransport::Connect(port), false, GetParam().msec);
    s.transport.Start();
    void* source = s.Source();

    CMsg plain{CVar("PING")};
    plain.get_header().set("N") = "plain";
    ASSERT_TRUE(s.top.Send(source, plain));
    ASSERT_TRUE(s.top.Until([&] { return s.top.ids.size() == 1; }));

    ASSERT_TRUE(s.Context()->InitiateHandShake());
    ASSERT_TRUE(s.top.Until([&] { return s.top.success == 1; })) << peer.Stdout();
    EXPECT_EQ(s.Context()->GetMethod(), GetParam().msec);
    for (int i = 0; i < 3; ++i) {
        CMsg ping{CVar("PING")};
        ping.get_header().set("N") = CVar(i);
        ping.add(CRec(CVar("Body"))).set("Text") = std::string(static_cast<std::size_t>(i) * 1000, 'b');
        ASSERT_TRUE(s.top.Send(source, ping));
    }
    ASSERT_TRUE(s.top.Until([&] { return s.top.ids.size() == 4; }));

    // A secure peer refuses a new MSEC_INITIATE; once both are idle the
    // next one succeeds.
    ASSERT_TRUE(s.Context()->InitiateHandShake());
    ASSERT_TRUE(s.top.Until([&] { return s.top.failed == 1; })) << peer.Stdout();
    EXPECT_EQ(s.Context()->GetState(), 0);
    ASSERT_TRUE(s.Context()->InitiateHandShake());
    ASSERT_TRUE(s.top.Until([&] { return s.top.success == 2; })) << peer.Stdout();

    ASSERT_TRUE(s.top.Send(source, CMsg(CVar("BYE"))));
    EXPECT_EQ(peer.Wait(), 0) << peer.Stdout();
    s.transport.Join();
    std::lock_guard<std::mutex> guard(s.top.Lock());
    ASSERT_EQ(s.top.ids, (std::vector<std::string>{"ECHO", "ECHO", "ECHO", "ECHO"}));
    EXPECT_EQ(s.top.msgs[0].get_header().get("N"), "plain");
    EXPECT_EQ(s.top.msgs[3].get_header().get("N"), "2");
    ASSERT_EQ(s.top.msgs[3].size(), 1u);
    EXPECT_EQ(s.top.msgs[3].begin()->get("Text"), std::string(2000, 'b'));
    EXPECT_EQ(Occurrences(peer.Stdout(), "handshake ok"), 2);
}

INSTANTIATE_TEST_SUITE_P(Methods, PeerOverTcp,
                         ::testing::Values(MethodCase{ENCRYPTION_BLOWFISH, 1}, MethodCase{ENCRYPTION_CRYPT, 2},
                                           MethodCase{ENCRYPTION_PLAIN, 5}),
                         MethodName);

// The recipe of the README: our initiator talks to a plain local port, socat
// carries it over TLS (certificate checked) to a socat that hands it to the
// Python responder.
TEST(SecureChannelTls, ChannelThroughSocatTunnels)
{
    if (testsupport::FindPython().empty())
        GTEST_SKIP() << "python3 not found";
    if (::access("/usr/bin/socat", X_OK) != 0 || ::access("/usr/bin/openssl", X_OK) != 0)
        GTEST_SKIP() << "socat or openssl not installed";
    testsupport::TempDir dir;
    const std::string cert = (dir.path() / "cert.pem").string();
    const std::string key = (dir.path() / "key.pem").string();
    ChildProcess makeCert({"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                           "-nodes", "-days", "2", "-keyout", key, "-out", cert, "-subj", "/CN=localhost", "-addext",
                           "subjectAltName=DNS:localhost,IP:127.0.0.1"});
    ASSERT_EQ(makeCert.Wait(), 0) << makeCert.Stderr();

    ChildProcess peer(PeerArgs({"channel", "responder", "listen"}));
    const int peerPort = PeerPort(peer);
    ASSERT_GT(peerPort, 0);
    int tlsPort = 0, plainPort = 0; // free ports for the two tunnel ends
    const int a = SocketTransport::Listen(tlsPort), b = SocketTransport::Listen(plainPort);
    ::close(a);
    ::close(b);
    ChildProcess server({"/usr/bin/socat",
                         "OPENSSL-LISTEN:" + std::to_string(tlsPort) + ",bind=127.0.0.1,reuseaddr,fork,cert=" + cert +
                             ",key=" + key + ",verify=0,openssl-min-proto-version=TLS1.2",
                         "TCP:127.0.0.1:" + std::to_string(peerPort)});
    ChildProcess client({"/usr/bin/socat",
                         "TCP-LISTEN:" + std::to_string(plainPort) + ",bind=127.0.0.1,reuseaddr,fork",
                         "OPENSSL:localhost:" + std::to_string(tlsPort) + ",cafile=" + cert +
                             ",openssl-min-proto-version=TLS1.2"});
    for (int i = 0; i < 500 && !(IsListening(tlsPort) && IsListening(plainPort)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int fd = SocketTransport::Connect(plainPort);
    ASSERT_GE(fd, 0) << "the tunnels did not start: " << server.Stderr() << client.Stderr();
    ChannelStack s(fd, false);
    s.layer.SetStrict(true);
    s.transport.Start();
    void* source = s.Source();

    ASSERT_TRUE(s.Context()->InitiateHandShake());
    ASSERT_TRUE(s.top.Until([&] { return s.top.success == 1 || s.top.closes > 0; })) << server.Stderr();
    ASSERT_EQ(s.top.success, 1) << server.Stderr() << client.Stderr();
    ASSERT_TRUE(s.top.Send(source, "through TLS"));
    ASSERT_TRUE(s.top.Send(source, "bye"));
    EXPECT_EQ(peer.Wait(), 0) << peer.Stdout();
    ASSERT_TRUE(s.top.Until([&] { return !s.top.payloads.empty(); }));
    EXPECT_EQ(s.top.payloads[0], "echo:through TLS");
    s.transport.Stop();
}
