// The message security layer between two stacks wired back to back in
// memory: the handshake with each method, plain messages before and after,
// bundles, out-of-order and failed handshakes, re-keying, strict mode, and
// packed records that do not unpack.
#include "Brindle/comm/Codec.h"
#include "Brindle/comm/MsgParser.h"
#include "Brindle/comm/MsgSecurityLayer.h"
#include "Brindle/comm/MsgPack.h"

#include "CommTestSupport.h"
#include "LayerPair.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

using namespace Brindle;
using namespace commtest;

namespace {

using Notices = HandshakeNotices<CMsgSecuritySink, CMsgSecurityContext>;

CMsg App(const char* id, const std::string& value = "v")
{
    CMsg msg{CVar(id)};
    msg.get_header().set("k") = value;
    msg.add(CRec(CVar("R"))).set("a") = "1";
    return msg;
}

class MsecPair : public ::testing::Test {
protected:
    void SetUp() override
    {
        Stack(link.a, leftParser, left, leftTop);
        Stack(link.b, rightParser, right, rightTop);
        left.SetNotify(&leftNotices);
        right.SetNotify(&rightNotices);
        link.Open();
    }
    void* L() { return link.a.GetSource(); }
    void* R() { return link.b.GetSource(); }
    CRefCountedPtr<CMsgSecurityContext> Left() { return left.GetSecurityContext(L()); }
    CRefCountedPtr<CMsgSecurityContext> Right() { return right.GetSecurityContext(R()); }
    bool Handshake()
    {
        const bool sent = Left()->InitiateHandShake();
        link.Pump();
        return sent && Left()->GetState() == 7 && Right()->GetState() == 7;
    }
    // The header ids the left side sent since the last clear.
    std::vector<std::string> LeftSentIds()
    {
        std::vector<std::string> ids;
        for (const std::string& text : link.a.Sent()) {
            CMsg msg;
            EXPECT_TRUE(msg.parse(text));
            ids.push_back(msg.get_header().get_id().get_value());
        }
        return ids;
    }
    void Inject(MemoryTransport& to, const CMsg& msg) { to.Receive(msg.build_string()); }

    MemoryLink link;
    CMsgParser leftParser, rightParser;
    CMsgSecurityLayer left, right;
    MsgRecorder leftTop, rightTop;
    Notices leftNotices, rightNotices;
};

} // namespace

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
        EXPECT_EQ(LeftSentIds(), (std::vector<std::string>{"MSEC_PACK"}));
        CMsg wire;
        ASSERT_TRUE(wire.parse(link.a.Sent()[0]));
        EXPECT_EQ(wire.begin()->get("4"), method == 9 ? "0" : "1") << "the encrypt field says what was done";
        EXPECT_EQ(wire.begin()->get("1"), "1");
        if (method != 9) {
            EXPECT_EQ(link.a.Sent()[0].find("SECRET"), std::string::npos);
        }
    }
    EXPECT_EQ(leftNotices.success, 3);
    EXPECT_EQ(rightNotices.success, 3);
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
    Left()->InitiateHandShake();
    ASSERT_TRUE(Relay(link.a, link.b)); // MSEC_INITIATE
    ASSERT_TRUE(Relay(link.b, link.a)); // MSEC_P_KEY_EXCH
    ASSERT_TRUE(Relay(link.a, link.b)); // MSEC_I_KEY_EXCH
    std::string step;
    ASSERT_TRUE(link.b.TakeOne(step)); // MSEC_P_KEY_TEST, replaced below
    EXPECT_EQ(Left()->GetState(), 3);
    CMsg test{CVar("MSEC_P_KEY_TEST")};
    test.get_header().set("Magic") = MimeEncode("short", 5);
    Inject(link.a, test);
    EXPECT_EQ(Left()->GetState(), 0);
    EXPECT_EQ(leftNotices.failed, 1);
    ASSERT_TRUE(link.a.TakeOne(step));
    EXPECT_NE(step.find("MSEC_HANDSHAKE_FAILED"), std::string::npos);
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

namespace {

// Counts intact "SECRET" messages; anything else is a fault.
class CountingTop : public CMsgLayer, public CMsgSecuritySink {
public:
    void OnOpen(void*) override {}
    void OnClose(void*) override {}
    void OnMsg(void*, const CMsg& msg) override { (msg == App("SECRET", "r") ? intact : broken)++; }
    void OnHandShakeSuccess(CMsgSecurityContext*) override { ++success; }
    void OnHandShakeFailed(CMsgSecurityContext*) override {}
    std::atomic<int> intact{0}, broken{0}, success{0};
};

} // namespace

// Two threads send packed messages while the peer ends the connection: the
// context they share stays valid, each message arrives whole or the send
// says false, and the senders stop once the context is gone.
TEST(MsecOverSocket, SendsRacingACloseAreRefusedCleanly)
{
    int first = -1;
    int second = -1;
    ASSERT_TRUE(SocketTransport::Pair(first, second));
    SocketTransport leftEnd(first), rightEnd(second);
    CMsgParser leftParser, rightParser;
    CMsgSecurityLayer left, right;
    CountingTop leftTop, rightTop;
    Stack(leftEnd, leftParser, left, leftTop);
    Stack(rightEnd, rightParser, right, rightTop);
    left.SetNotify(&leftTop);
    right.SetNotify(&rightTop);
    leftEnd.Start();
    rightEnd.Start();
    void* source = leftEnd.GetSource();
    const CRefCountedPtr<CMsgSecurityContext> context = left.GetSecurityContext(source);
    ASSERT_TRUE(context->InitiateHandShake());
    ASSERT_TRUE(Eventually([&] { return leftTop.success == 1 && rightTop.success == 1; }));

    std::atomic<int> sent{0};
    const auto sender = [&] {
        while (left.SendMsg(source, App("SECRET", "r")))
            ++sent;
    };
    std::thread a(sender), b(sender);
    ASSERT_TRUE(Eventually([&] { return rightTop.intact >= 200; }));
    rightEnd.Stop();
    a.join();
    b.join();
    leftEnd.Join();
    EXPECT_TRUE(left.GetSecurityContext(source).IsNull());
    // The context a caller kept is detached, not freed.
    EXPECT_FALSE(context->SendMsg(App("SECRET", "r")));
    EXPECT_EQ(rightTop.broken, 0);
    EXPECT_LE(rightTop.intact, sent);
}
