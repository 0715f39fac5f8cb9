// The framed secure channel between two layer stacks wired back to back in
// memory: handshakes with each method, frames split at every byte, frames
// that fail their checks mid-stream, reset notices, a second handshake on
// the same connection, and the refusals of SendData and strict mode.
#include "Brindle/comm/SecurityLayer.h"

#include "CommTestSupport.h"
#include "LayerPair.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>

using namespace Brindle;
using namespace commtest;

namespace {

using Notices = HandshakeNotices<CSecurityLayerSink, CSecurityContext>;

// transport -> CSecurityLayer -> recorder, on both ends.
class ChannelPair : public ::testing::Test {
protected:
    void SetUp() override
    {
        Stack(link.a, left, leftTop);
        Stack(link.b, right, rightTop);
        left.SetNotify(&leftNotices);
        right.SetNotify(&rightNotices);
        link.Open();
    }
    CRefCountedPtr<CSecurityContext> Left() { return left.GetSecurityContext(link.a.GetSource()); }
    CRefCountedPtr<CSecurityContext> Right() { return right.GetSecurityContext(link.b.GetSource()); }
    bool Handshake()
    {
        const bool sent = Left()->InitiateHandShake();
        link.Pump();
        return sent && Left()->GetState() == CSecurityContext::SECURE_TX &&
               Right()->GetState() == CSecurityContext::SECURE_TX;
    }
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

    MemoryLink link;
    CSecurityLayer left, right;
    ByteRecorder leftTop, rightTop;
    Notices leftNotices, rightNotices;
};

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
    EXPECT_EQ(leftNotices.success, 3);
    EXPECT_EQ(rightNotices.success, 3);
    EXPECT_EQ(leftNotices.failed, 2);
    EXPECT_EQ(rightNotices.failed, 2);
    EXPECT_TRUE(leftTop.errors.empty());
    EXPECT_TRUE(rightTop.errors.empty());
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

TEST_F(ChannelPair, SendDataWaitsForTheHandshake)
{
    EXPECT_FALSE(leftTop.Send("too early"));
    EXPECT_TRUE(link.a.Sent().empty());
    Left()->InitiateHandShake();
    EXPECT_FALSE(leftTop.Send("still too early"));
    link.Pump();
    EXPECT_TRUE(leftTop.Send("now"));
    // A source without a context.
    EXPECT_FALSE(left.SendData(&rightTop, "nowhere"));
}

TEST_F(ChannelPair, ThresholdDecidesCompression)
{
    ASSERT_TRUE(Handshake());
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
    Left()->InitiateHandShake();
    ASSERT_TRUE(Relay(link.a, link.b)); // I_SYNC
    ASSERT_TRUE(Relay(link.b, link.a)); // P_KEY_EXCH
    ASSERT_TRUE(Relay(link.a, link.b)); // I_KEY_EXCH
    std::string step;
    ASSERT_TRUE(link.b.TakeOne(step)); // P_KEY_TEST, answered wrongly below
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

namespace {

// Counts intact payloads of one size; anything else is a fault.
class CountingTop : public CCommLayer, public CSecurityLayerSink {
public:
    explicit CountingTop(std::size_t size) : m_size(size) {}
    void OnOpen(void*) override {}
    void OnClose(void*) override {}
    void OnData(void*, const std::string& data) override
    {
        (data == std::string(m_size, 'r') ? intact : broken)++;
    }
    void OnError(void*, unsigned long, const std::string&) override { ++broken; }
    void OnHandShakeSuccess(CSecurityContext*) override { ++success; }
    void OnHandShakeFailed(CSecurityContext*) override {}
    std::atomic<int> intact{0}, broken{0}, success{0};

private:
    std::size_t m_size;
};

} // namespace

// Two threads send over a secured loopback connection while the peer ends
// it: every send either arrives whole or reports false, and the senders
// stop on their own once the connection's context is gone.
TEST(ChannelOverSocket, SendsRacingACloseAreRefusedCleanly)
{
    int first = -1;
    int second = -1;
    ASSERT_TRUE(SocketTransport::Pair(first, second));
    SocketTransport leftEnd(first), rightEnd(second);
    CSecurityLayer left, right;
    CountingTop leftTop(100), rightTop(100);
    Stack(leftEnd, left, leftTop);
    Stack(rightEnd, right, rightTop);
    left.SetNotify(&leftTop);
    right.SetNotify(&rightTop);
    leftEnd.Start();
    rightEnd.Start();
    void* source = leftEnd.GetSource();
    ASSERT_TRUE(left.GetSecurityContext(source)->InitiateHandShake());
    ASSERT_TRUE(Eventually([&] { return leftTop.success == 1 && rightTop.success == 1; }));

    std::atomic<int> sent{0};
    const auto sender = [&] {
        while (left.SendData(source, std::string(100, 'r')))
            ++sent;
    };
    std::thread a(sender), b(sender);
    ASSERT_TRUE(Eventually([&] { return rightTop.intact >= 200; }));
    rightEnd.Stop();
    a.join();
    b.join();
    leftEnd.Join();
    EXPECT_TRUE(left.GetSecurityContext(source).IsNull());
    EXPECT_FALSE(left.SendData(source, "after the close"));
    EXPECT_EQ(rightTop.broken, 0);
    EXPECT_LE(rightTop.intact, sent);
}
