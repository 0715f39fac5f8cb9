// The framed secure channel and the message security layer between stacks
// wired back to back in memory (handshakes, split and damaged frames, reset
// notices, re-keying, bundles, strict mode), and both over a socket whose
// peer goes away while two threads send.
#include "Brindle/comm/Codec.h"
#include "Brindle/comm/MsgPack.h"
#include "Brindle/comm/MsgParser.h"
#include "Brindle/comm/MsgSecurityLayer.h"
#include "Brindle/comm/SecurityLayer.h"

#include "CommTestSupport.h"
#include "LayerPair.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>

using namespace Brindle;
using namespace commtest;

namespace {

// Two stacks wired back to back in memory: transport, the layers in Below,
// the security layer (its notices counted) and Top, on both ends.
template <typename Security, typename Sink, typename Context, typename Top, typename... Below>
class SecuredPair : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::apply([&](auto&... layers) { Stack(link.a, layers..., left, leftTop); }, leftBelow);
        std::apply([&](auto&... layers) { Stack(link.b, layers..., right, rightTop); }, rightBelow);
        left.SetNotify(&leftNotices);
        right.SetNotify(&rightNotices);
        link.Open();
    }
    void* L() { return link.a.GetSource(); }
    void* R() { return link.b.GetSource(); }
    CRefCountedPtr<Context> Left() { return left.GetSecurityContext(L()); }
    CRefCountedPtr<Context> Right() { return right.GetSecurityContext(R()); }
    // A handshake from the left; true when both ends reach `secure`.
    bool HandshakeTo(int secure)
    {
        const bool sent = Left()->InitiateHandShake();
        link.Pump();
        return sent && Left()->GetState() == secure && Right()->GetState() == secure;
    }
    // Starts a handshake and relays it up to the responder's key test,
    // which is dropped for the test to answer.
    void UpToTheKeyTest()
    {
        Left()->InitiateHandShake();
        for (const bool toRight : {true, false, true})
            ASSERT_TRUE(toRight ? Relay(link.a, link.b) : Relay(link.b, link.a));
        std::string keyTest;
        ASSERT_TRUE(link.b.TakeOne(keyTest));
    }

    MemoryLink link;
    std::tuple<Below...> leftBelow, rightBelow;
    Security left, right;
    Top leftTop, rightTop;
    HandshakeNotices<Sink, Context> leftNotices, rightNotices;
};

class ChannelPair : public SecuredPair<CSecurityLayer, CSecurityLayerSink, CSecurityContext, ByteRecorder> {
protected:
    bool Handshake() { return HandshakeTo(CSecurityContext::SECURE_TX); }
    // A frame as the peer would send it, from a cipher of the given kind.
    static std::string Frame(char type, char method, const std::string& data, bool encrypt,
                             const std::string& key = kKey32)
    {
        TestCipher cipher(method == '1' ? CChannelCipher::CIPHER_BLOWFISH : CChannelCipher::CIPHER_NONE, key,
                          method == '5');
        CProtocolPacket packet;
        packet.SetContext(&cipher);
        EXPECT_TRUE(packet.Create(type, method, data, false, encrypt));
        return packet.GetBuffer();
    }
};

CMsg App(const char* id, const std::string& value = "v")
{
    CMsg msg{CVar(id)};
    msg.get_header().set("k") = value;
    msg.add(CRec(CVar("R"))).set("a") = "1";
    return msg;
}

class MsecPair
    : public SecuredPair<CMsgSecurityLayer, CMsgSecuritySink, CMsgSecurityContext, MsgRecorder, CMsgParser> {
protected:
    bool Handshake() { return HandshakeTo(7); }
    void Inject(MemoryTransport& to, const CMsg& msg) { to.Receive(msg.build_string()); }
};

// Counts intact "SECRET" messages or payloads of 100 bytes; anything else,
// an error included, is a fault.
template <typename Sink, typename Context>
class CountingSink : public Sink {
public:
    void OnHandShakeSuccess(Context*) override { ++success; }
    void OnHandShakeFailed(Context*) override {}
    std::atomic<int> intact{0}, broken{0}, success{0};
};

class CountingChannelTop : public CCommLayer, public CountingSink<CSecurityLayerSink, CSecurityContext> {
public:
    explicit CountingChannelTop(CSecurityLayer&) {}
    void OnOpen(void*) override {}
    void OnClose(void*) override {}
    void OnData(void*, const std::string& data) override { (data == std::string(100, 'r') ? intact : broken)++; }
    void OnError(void*, unsigned long, const std::string&) override { ++broken; }
};

class CountingMsgTop : public CMsgLayer, public CountingSink<CMsgSecuritySink, CMsgSecurityContext> {
public:
    explicit CountingMsgTop(CMsgSecurityLayer&) {}
    void OnOpen(void*) override {}
    void OnClose(void*) override {}
    void OnMsg(void*, const CMsg& msg) override { (msg == App("SECRET", "r") ? intact : broken)++; }
};

// Two threads send with `send` over a secured loopback connection while the
// peer ends it: every send either arrives whole or reports false, and the
// senders stop on their own once the connection's context is gone. A
// context the caller kept is detached, not freed: `detached` uses it.
template <typename End, typename Send, typename Detached>
void RaceAClose(Send send, Detached detached)
{
    int first = -1;
    int second = -1;
    ASSERT_TRUE(SocketTransport::Pair(first, second));
    End left(first);
    End right(second);
    left.transport.Start();
    right.transport.Start();
    void* source = left.Source();
    const auto context = left.Context();
    ASSERT_TRUE(context->InitiateHandShake());
    ASSERT_TRUE(Eventually([&] { return left.top.success == 1 && right.top.success == 1; }));

    std::atomic<int> sent{0};
    const auto sender = [&] {
        while (send(left.layer, source))
            ++sent;
    };
    std::thread a(sender), b(sender);
    ASSERT_TRUE(Eventually([&] { return right.top.intact >= 200; }));
    right.transport.Stop();
    a.join();
    b.join();
    left.transport.Join();
    EXPECT_TRUE(left.layer.GetSecurityContext(source).IsNull());
    EXPECT_FALSE(send(left.layer, source));
    detached(*context);
    EXPECT_EQ(right.top.broken, 0);
    EXPECT_LE(right.top.intact, sent);
}

} // namespace

TEST_F(ChannelPair, HandshakeWithEachMethodThenDataBothWays)
{
    for (const ENCRYPTION_METHOD method : {ENCRYPTION_BLOWFISH, ENCRYPTION_CRYPT, ENCRYPTION_PLAIN}) {
        right.SetMethod(method);
        ASSERT_TRUE(Handshake()) << method;
        EXPECT_EQ(Left()->GetMethod(), method);
        EXPECT_EQ(Left()->GetKey(), Right()->GetKey());
        EXPECT_EQ(Left()->GetKey().size(), 32u);
        const std::string big(70000, 'b');
        ASSERT_TRUE(leftTop.Send("to the right"));
        ASSERT_TRUE(rightTop.Send(big));
        link.Pump();
        ASSERT_FALSE(rightTop.data_.empty());
        EXPECT_EQ(rightTop.data_.back(), "to the right");
        EXPECT_EQ(leftTop.data_.back(), big);
        // No plain text on the wire with a cipher in force.
        if (method != ENCRYPTION_PLAIN) {
            for (const std::string& sent : link.a.Sent())
                EXPECT_EQ(sent.find("to the right"), std::string::npos);
        }
    }
    // The first handshake had nothing to reset; each later one reset a
    // secure context on both sides first.
    EXPECT_EQ(std::tie(leftNotices.success, rightNotices.success, leftNotices.failed, rightNotices.failed),
              std::make_tuple(3, 3, 2, 2));
    EXPECT_TRUE(leftTop.errors.empty() && rightTop.errors.empty());
}

TEST_F(ChannelPair, FramesSplitAtEveryByte)
{
    link.chunk = 1;
    ASSERT_TRUE(Handshake());
    for (const std::size_t n : {0u, 1u, 1025u, 5000u}) {
        const std::string data(n, static_cast<char>('a' + n % 26));
        ASSERT_TRUE(leftTop.Send(data));
        link.Pump();
        ASSERT_FALSE(rightTop.data_.empty());
        EXPECT_EQ(rightTop.data_.back(), data) << n;
    }
    EXPECT_EQ(rightTop.data_.size(), 4u);
}

TEST_F(ChannelPair, SendDataWaitsForTheHandshakeAndTheThresholdDecidesCompression)
{
    EXPECT_FALSE(leftTop.Send("too early"));
    EXPECT_TRUE(link.a.Sent().empty());
    Left()->InitiateHandShake();
    EXPECT_FALSE(leftTop.Send("still too early"));
    link.Pump();
    EXPECT_TRUE(leftTop.Send("now"));
    // A source without a context.
    EXPECT_FALSE(left.SendData(&rightTop, "nowhere"));
    // Above the threshold a body is compressed.
    link.Pump();
    link.a.ClearSent();
    ASSERT_TRUE(leftTop.Send(std::string(1024, 'x')));
    ASSERT_TRUE(leftTop.Send(std::string(1025, 'x')));
    const auto sent = link.a.Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0][2], '0');
    EXPECT_EQ(sent[1][2], '1');
    EXPECT_EQ(sent[0][3], '1');
    link.Pump();
    EXPECT_EQ(rightTop.data_.back(), std::string(1025, 'x'));
}

TEST_F(ChannelPair, BadFramesAreDiscardedReportedAndLaterFramesFlow)
{
    ASSERT_TRUE(Handshake());
    const std::string good = Frame(28, '1', "good", true, Right()->GetKey());
    std::string badCrc = good;
    badCrc[33] ^= 0x01;
    // A frame that claims 4 GiB, then a good frame right behind it in the
    // same receive: the claim fails at once.
    std::string huge = good.substr(0, 32);
    huge.replace(16, 8, "ffffffff");
    SetCheckByte(huge);

    struct Case {
        std::string bytes;
        const char* error;
    };
    const Case cases[] = {{badCrc, "Bad buffer CRC!"}, {huge, "Bad frame length!"}};
    for (const Case& c : cases) {
        rightTop.errors.clear();
        const int failedBefore = rightNotices.failed;
        link.b.Receive(c.bytes);
        ASSERT_EQ(rightTop.errors.size(), 1u) << c.error;
        EXPECT_EQ(rightTop.errors[0], c.error);
        EXPECT_EQ(rightNotices.failed, failedBefore + 1);
        EXPECT_EQ(Right()->GetState(), CSecurityContext::WAIT_FOR_SYNC);
        // The reset notice reaches the peer, which goes idle too.
        link.Pump();
        EXPECT_EQ(Left()->GetState(), CSecurityContext::WAIT_FOR_SYNC);
        // A new handshake on the same connection, and data again.
        ASSERT_TRUE(Handshake()) << c.error;
        ASSERT_TRUE(leftTop.Send("after"));
        link.Pump();
        EXPECT_EQ(rightTop.data_.back(), "after");
    }
}

TEST_F(ChannelPair, ResetNoticeIsUnderstoodInAnyState)
{
    ASSERT_TRUE(Handshake());
    const std::size_t sentBefore = link.b.Sent().size();
    link.b.Receive(Frame(3, '0', "", false));
    EXPECT_EQ(Right()->GetState(), CSecurityContext::WAIT_FOR_SYNC);
    EXPECT_EQ(rightNotices.failed, 1);
    EXPECT_TRUE(rightTop.errors.empty());
    // It is not answered, and an idle context ignores another.
    EXPECT_EQ(link.b.Sent().size(), sentBefore);
    link.b.Receive(Frame(3, '0', "", false));
    EXPECT_EQ(rightNotices.failed, 1);
    // Mid-handshake (leaving the secure state was the first failure).
    Left()->InitiateHandShake();
    EXPECT_EQ(leftNotices.failed, 1);
    link.a.Receive(Frame(3, '0', "", false));
    EXPECT_EQ(Left()->GetState(), CSecurityContext::WAIT_FOR_SYNC);
    EXPECT_EQ(leftNotices.failed, 2);
}

TEST_F(ChannelPair, UnexpectedPacketsFailTheHandshake)
{
    // Data before any handshake.
    link.b.Receive(Frame(28, '1', "early", false));
    ASSERT_EQ(rightTop.errors.size(), 1u);
    EXPECT_EQ(rightTop.errors[0], "OnPacket error!");
    EXPECT_TRUE(rightTop.data_.empty());
    // A wrong key-test answer.
    UpToTheKeyTest();
    EXPECT_EQ(Right()->GetState(), CSecurityContext::P_KEY_TEST);
    link.b.Receive(Frame(20, '1', "not the reversed test string....", true, Right()->GetKey()));
    EXPECT_EQ(Right()->GetState(), CSecurityContext::WAIT_FOR_SYNC);
    EXPECT_EQ(rightNotices.failed, 1);
    EXPECT_EQ(rightNotices.success, 0);
    // A peer group that is not acceptable.
    Left()->InitiateHandShake();
    link.a.Receive(Frame(6, '1', "00000005 00000000 00000003 00000004 00000005 00000009", false));
    EXPECT_EQ(Left()->GetState(), CSecurityContext::WAIT_FOR_SYNC);
}

TEST_F(ChannelPair, StrictModeRefusesPlainDataAfterTheHandshake)
{
    ASSERT_TRUE(Handshake());
    link.b.Receive(Frame(28, '1', "plain, lenient", false));
    EXPECT_EQ(rightTop.data_.back(), "plain, lenient");
    right.SetStrict(true);
    link.b.Receive(Frame(28, '1', "plain, strict", false));
    EXPECT_EQ(rightTop.data_.back(), "plain, lenient");
    ASSERT_EQ(rightTop.errors.size(), 1u);
}

TEST_F(ChannelPair, SetEncryptionRulesAndTheKeyStaysOutOfTheTrace)
{
    std::ostringstream trace;
    right.SetTrace(&trace);
    ASSERT_TRUE(Handshake());
    const std::string key = Right()->GetKey();
    EXPECT_NE(trace.str().find("CProtocolPacket::Parse: 32 bytes ["), std::string::npos);
    EXPECT_NE(trace.str().find("Setting key to "), std::string::npos);
    EXPECT_EQ(trace.str().find(key), std::string::npos);

    EXPECT_FALSE(Right()->SetEncryption('1', key.substr(1)));
    EXPECT_EQ(Right()->GetKey(), key);
    EXPECT_TRUE(Right()->SetEncryption('5', "short"));
    EXPECT_FALSE(Right()->EncryptsData());
}

TEST_F(MsecPair, HandshakeWithEachMethodAndPackedTraffic)
{
    for (const int method : {1, 2, 9}) {
        right.SetPreferredMethod(method);
        // A secure responder refuses MSEC_INITIATE: start both idle.
        Left()->Reset();
        Right()->Reset();
        ASSERT_TRUE(Handshake()) << method;
        EXPECT_EQ(Left()->GetMethod(), method);
        EXPECT_EQ(Left()->GetKey(), Right()->GetKey());
        link.a.ClearSent();
        const std::string big(5000, 'q');
        ASSERT_TRUE(leftTop.Send(L(), App("SECRET", big)));
        ASSERT_TRUE(rightTop.Send(R(), App("REPLY")));
        link.Pump();
        ASSERT_FALSE(rightTop.msgs.empty());
        EXPECT_EQ(rightTop.msgs.back(), App("SECRET", big));
        EXPECT_EQ(rightTop.msgs.back().get_source(), R());
        EXPECT_EQ(leftTop.msgs.back(), App("REPLY"));
        ASSERT_EQ(link.a.Sent().size(), 1u);
        CMsg wire;
        ASSERT_TRUE(wire.parse(link.a.Sent()[0]));
        EXPECT_EQ(wire.get_header().get_id(), "MSEC_PACK");
        EXPECT_EQ(wire.begin()->get("4"), method == 9 ? "0" : "1") << "the encrypt field says what was done";
        EXPECT_EQ(wire.begin()->get("1"), "1");
        if (method != 9) {
            EXPECT_EQ(link.a.Sent()[0].find("SECRET"), std::string::npos);
        }
    }
    EXPECT_EQ(std::tie(leftNotices.success, rightNotices.success), std::make_tuple(3, 3));
}

TEST_F(MsecPair, PlainMessagesPassBeforeAndAfter)
{
    ASSERT_TRUE(leftTop.Send(L(), App("BEFORE")));
    link.Pump();
    EXPECT_EQ(rightTop.Ids(), (std::vector<std::string>{"BEFORE"}));
    ASSERT_TRUE(Handshake());
    Inject(link.b, App("PLAIN"));
    EXPECT_EQ(rightTop.Ids(), (std::vector<std::string>{"BEFORE", "PLAIN"}));
    // Handshake messages never reach the application.
    EXPECT_EQ(leftTop.msgs.size(), 0u);
}

TEST_F(MsecPair, FramesSplitAtEveryByte)
{
    link.chunk = 1;
    ASSERT_TRUE(Handshake());
    ASSERT_TRUE(leftTop.Send(L(), App("BYTEWISE", std::string(3000, 'z'))));
    link.Pump();
    EXPECT_EQ(rightTop.msgs.back(), App("BYTEWISE", std::string(3000, 'z')));
}

TEST_F(MsecPair, BundleDeliversEachRecordWithInBundle)
{
    ASSERT_TRUE(Handshake());
    std::vector<bool> inBundle;
    rightTop.onMsg = [&](const CMsg&) { inBundle.push_back(Right()->InBundle()); };
    std::vector<CRefCountedPtr<CMsg>> batch{CRefCountedPtr<CMsg>(new CMsg(App("ONE"))),
                                            CRefCountedPtr<CMsg>(new CMsg(App("TWO"))),
                                            CRefCountedPtr<CMsg>(new CMsg(App("THREE")))};
    ASSERT_TRUE(Left()->SendMsgs(batch.begin(), batch.end()));
    link.Pump();
    EXPECT_EQ(rightTop.Ids(), (std::vector<std::string>{"ONE", "TWO", "THREE"}));
    EXPECT_EQ(inBundle, (std::vector<bool>{true, true, false}));
    EXPECT_FALSE(Right()->InBundle());

    // Built piece by piece; an unencrypted piece may join, and it is
    // understood in any state.
    ASSERT_TRUE(Left()->BuildBundle(App("A"), true));
    ASSERT_TRUE(Left()->BuildBundle(App("B"), false));
    ASSERT_TRUE(Left()->SendBundle());
    link.Pump();
    EXPECT_EQ(rightTop.msgs.back(), App("B"));
    EXPECT_EQ(rightTop.msgs[rightTop.msgs.size() - 2], App("A"));
    Left()->Reset();
    EXPECT_FALSE(Left()->BuildBundle(App("C"), true));
}

TEST_F(MsecPair, DamagedRecordsAreSkippedAndTheRestDelivered)
{
    ASSERT_TRUE(Handshake());
    CMsg bundle{CVar("MSEC_PACK")};
    bundle.add(*Left()->PackMessage(App("FIRST"), true));
    CRec broken = *Left()->PackMessage(App("SECOND"), true);
    broken.set("3") = "100000";
    bundle.add(broken);
    CRec huge = *PackBuffer(App("HUGE").build_string());
    huge.begin()->set_value(CVar("2000000000"));
    bundle.add(huge);
    bundle.add(*Left()->PackMessage(App("FOURTH"), true));
    Inject(link.b, bundle);
    EXPECT_EQ(rightTop.Ids(), (std::vector<std::string>{"FIRST", "FOURTH"}));
}

TEST_F(MsecPair, InitiateWhileSecureFailsOnceThenRekeys)
{
    ASSERT_TRUE(Handshake());
    const std::string firstKey = Left()->GetKey();
    // The responder refuses MSEC_INITIATE in state 7 and says so.
    EXPECT_FALSE(Handshake());
    EXPECT_EQ(Left()->GetState(), 0);
    EXPECT_EQ(Right()->GetState(), 0);
    EXPECT_EQ(rightNotices.failed, 1);
    EXPECT_EQ(leftNotices.failed, 1);
    // Both idle: the next exchange agrees on a fresh group and key.
    ASSERT_TRUE(Handshake());
    EXPECT_NE(Left()->GetKey(), firstKey);
    ASSERT_TRUE(leftTop.Send(L(), App("REKEYED")));
    link.Pump();
    EXPECT_EQ(rightTop.msgs.back(), App("REKEYED"));
}

TEST_F(MsecPair, HandshakeFailedResetsWithoutAnAnswer)
{
    ASSERT_TRUE(Handshake());
    link.b.ClearSent();
    Inject(link.b, CMsg(CVar("MSEC_HANDSHAKE_FAILED")));
    EXPECT_EQ(Right()->GetState(), 0);
    EXPECT_EQ(rightNotices.failed, 1);
    EXPECT_TRUE(link.b.Sent().empty());
    // Out of order: answered with MSEC_HANDSHAKE_FAILED.
    Inject(link.b, CMsg(CVar("MSEC_P_HANDSHAKE")));
    ASSERT_EQ(link.b.Sent().size(), 1u);
    EXPECT_NE(link.b.Sent()[0].find("MSEC_HANDSHAKE_FAILED"), std::string::npos);
    EXPECT_EQ(rightNotices.failed, 2);
}

TEST_F(MsecPair, KeyTestOfTheWrongLengthFails)
{
    UpToTheKeyTest();
    EXPECT_EQ(Left()->GetState(), 3);
    CMsg test{CVar("MSEC_P_KEY_TEST")};
    test.get_header().set("Magic") = MimeEncode("short", 5);
    Inject(link.a, test);
    EXPECT_EQ(Left()->GetState(), 0);
    EXPECT_EQ(leftNotices.failed, 1);
    std::string answer;
    ASSERT_TRUE(link.a.TakeOne(answer));
    EXPECT_NE(answer.find("MSEC_HANDSHAKE_FAILED"), std::string::npos);
}

TEST_F(MsecPair, StrictModeRefusesPlainMessagesOnceSecured)
{
    right.SetStrict(true);
    left.SetStrict(true);
    Inject(link.b, App("EARLY"));
    EXPECT_EQ(rightTop.Ids(), (std::vector<std::string>{"EARLY"}));
    ASSERT_TRUE(Handshake());
    Inject(link.b, App("PLAIN"));
    CMsg unencrypted{CVar("MSEC_PACK")};
    unencrypted.add(*PackBuffer(App("UNENCRYPTED").build_string()));
    Inject(link.b, unencrypted);
    EXPECT_EQ(rightTop.Ids(), (std::vector<std::string>{"EARLY"}));
    // Nor does this side send any.
    EXPECT_FALSE(Left()->BuildBundle(App("UNENCRYPTED"), false));
    EXPECT_TRUE(Left()->BuildBundle(App("ENCRYPTED"), true));
    // After a failure the connection stays strict.
    Inject(link.a, CMsg(CVar("MSEC_HANDSHAKE_FAILED")));
    EXPECT_FALSE(leftTop.Send(L(), App("PLAIN AGAIN")));
    const std::vector<CRefCountedPtr<CMsg>> batch{CRefCountedPtr<CMsg>(new CMsg(App("PACKED PLAIN")))};
    link.a.ClearSent();
    EXPECT_FALSE(Left()->SendMsgs(batch.begin(), batch.end()));
    EXPECT_TRUE(link.a.Sent().empty());
}

TEST_F(MsecPair, ContextsComeAndGoWithTheConnection)
{
    EXPECT_TRUE(Left().NotNull());
    link.a.Close();
    EXPECT_TRUE(Left().IsNull());
    EXPECT_FALSE(left.SendMsg(L(), App("GONE")));
    EXPECT_EQ(leftTop.closes.size(), 1u);
    // A message on an unknown source makes its context.
    Inject(link.a, App("HELLO"));
    EXPECT_TRUE(Left().NotNull());
}

TEST(ChannelOverSocket, SendsRacingACloseAreRefusedCleanly)
{
    RaceAClose<SocketStack<CSecurityLayer, CountingChannelTop>>(
        [](CSecurityLayer& layer, void* source) { return layer.SendData(source, std::string(100, 'r')); },
        [](CSecurityContext&) {});
}

TEST(MsecOverSocket, SendsRacingACloseAreRefusedCleanly)
{
    RaceAClose<SocketStack<CMsgSecurityLayer, CountingMsgTop, CMsgParser>>(
        [](CMsgSecurityLayer& layer, void* source) { return layer.SendMsg(source, App("SECRET", "r")); },
        [](CMsgSecurityContext& context) { EXPECT_FALSE(context.SendMsg(App("SECRET", "r"))); });
}
