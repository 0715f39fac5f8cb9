// The message layer: the parser cutting byte streams into messages (split
// at every byte, many per receive, garbage, broken and truncated messages,
// the pending limit), sending messages down, the trace layer's output, and
// the credential layer's dispatch.
#include "Brindle/comm/CredentialLayer.h"
#include "Brindle/comm/MsgParser.h"
#include "Brindle/comm/MsgTrace.h"

#include "CommTestSupport.h"
#include "LayerPair.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using namespace Brindle;
using namespace commtest;

namespace {

std::string Text(const char* id, const char* key = "k", const char* value = "v")
{
    CMsg msg{CVar(id)};
    msg.get_header().set(key) = value;
    msg.add(CRec(CVar("R"))).set("a") = "1";
    return msg.build_string();
}

class ParserStack : public ::testing::Test {
protected:
    void SetUp() override
    {
        Stack(transport, parser, top);
        transport.Open();
    }
    void* Source() { return transport.GetSource(); }

    MemoryTransport transport;
    CMsgParser parser;
    MsgRecorder top;
};

} // namespace

TEST_F(ParserStack, EverySplitOfAStreamGivesTheSameMessagesInOrder)
{
    const std::string stream = "junk" + Text("ONE") + "\x03 between " + Text("TWO", "x", "y") + "tail";
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        top.msgs.clear();
        transport.Receive(stream.substr(0, cut));
        transport.Receive(stream.substr(cut));
        ASSERT_EQ(top.Ids(), (std::vector<std::string>{"ONE", "TWO"})) << cut;
    }
    // Each message carries its source and values.
    EXPECT_EQ(top.msgs[0].get_source(), Source());
    EXPECT_EQ(top.sources[1], Source());
    EXPECT_EQ(top.msgs[1].get_header().get("x"), "y");
    // And one byte per receive: one message per ETX.
    top.msgs.clear();
    for (const char c : stream)
        transport.Receive(std::string(1, c));
    EXPECT_EQ(top.Ids(), (std::vector<std::string>{"ONE", "TWO"}));
    EXPECT_EQ(parser.GetPendingSize(Source()), 0u);
}

TEST_F(ParserStack, TruncatedAndBrokenMessagesDoNotStopTheNext)
{
    const std::string good = Text("GOOD");
    const std::string truncated = good.substr(0, good.size() / 2);
    std::string broken = good;
    broken.erase(broken.find('\x02'), 1); // no end of header
    transport.Receive(truncated);
    transport.Receive(good + broken + Text("AFTER"));
    EXPECT_EQ(top.Ids(), (std::vector<std::string>{"GOOD", "AFTER"}));
}

TEST_F(ParserStack, PendingTextIsBoundedAndForgottenOnClose)
{
    parser.SetMessageLimit(100);
    transport.Receive("\x01" + std::string(60, 'a'));
    EXPECT_EQ(parser.GetPendingSize(Source()), 61u);
    transport.Receive(std::string(60, 'b'));
    EXPECT_EQ(parser.GetPendingSize(Source()), 0u);
    ASSERT_EQ(top.errors.size(), 1u);
    EXPECT_EQ(top.errors[0], "Message too long: 121 bytes dropped");
    // The stream resumes at the next SOH.
    transport.Receive(std::string(20, 'c') + "\x03" + Text("NEXT"));
    EXPECT_EQ(top.Ids(), (std::vector<std::string>{"NEXT"}));

    transport.Receive("\x01" "half");
    transport.Close();
    EXPECT_EQ(parser.GetPendingSize(Source()), 0u);
    EXPECT_EQ(top.closes.size(), 1u);
}

TEST_F(ParserStack, SendMsgSendsTheTextForm)
{
    CMsg msg{CVar("OUT")};
    msg.get_header().set("n") = "1";
    EXPECT_TRUE(top.Send(Source(), msg));
    ASSERT_EQ(transport.Sent().size(), 1u);
    EXPECT_EQ(transport.Sent()[0], msg.build_string());
    // A message that has no text form is refused, not mangled.
    CMsg bad{CVar("BAD")};
    bad.get_header().set("n") = "a\x03" "b";
    EXPECT_FALSE(top.Send(Source(), bad));
    EXPECT_EQ(transport.Sent().size(), 1u);
    // No message layer below: refused.
    MsgRecorder alone;
    EXPECT_FALSE(alone.Send(nullptr, msg));
}

TEST(MsgTrace, PrintsWhatReachesIt)
{
    std::ostringstream out;
    MemoryTransport transport;
    CMsgParser parser;
    CMsgTrace trace(out);
    Stack(transport, parser, trace);
    transport.Open();
    transport.Receive(Text("SEEN"));
    CMsg sent{CVar("SENT")};
    EXPECT_TRUE(trace.SendMsg(transport.GetSource(), sent));
    transport.Close();

    std::ostringstream source;
    source << transport.GetSource();
    std::ostringstream seenDump;
    CMsg seen;
    ASSERT_TRUE(seen.parse(Text("SEEN")));
    seen.set_source(transport.GetSource());
    seen.print(seenDump);
    std::ostringstream sentDump;
    sent.print(sentDump);
    EXPECT_EQ(out.str(), "OnOpen: " + source.str() + "\n" + "OnMsg: " + source.str() + "\n" + seenDump.str() +
                             "SendMsg: " + source.str() + "\n" + sentDump.str() + "OnClose: " + source.str() + "\n");
    EXPECT_EQ(transport.Sent().size(), 1u);
}

namespace {

class Callback : public CCredentialCallback {
public:
    void OnLogin(void* source, const CCredentials& c) override { calls.push_back("login " + c.get_username()), sources.push_back(source); }
    void OnLogout(void* source) override { calls.push_back("logout"), sources.push_back(source); }
    void OnHeartbeat(void*, const CHeartbeat& h) override { calls.push_back("heartbeat " + std::to_string(h.GetCounter())); }
    void OnApplication(void*, const CApplication& a) override { calls.push_back("application " + a.GetApplication()); }
    std::vector<std::string> calls;
    std::vector<void*> sources;
};

} // namespace

TEST(CredentialLayer, DispatchesToTheCallbackOrPassesUp)
{
    MemoryTransport transport;
    CMsgParser parser;
    CCredentialLayer credentials;
    MsgRecorder top;
    Stack(transport, parser, credentials, top);
    transport.Open();

    CCredentials bob;
    bob.set_username("bob");
    CMsg login{CVar("LOGIN")};
    login.add(bob.ToRecord());
    CMsg misnamed{CVar("LOGIN")};
    misnamed.add(CRec(CVar("credentials"))).set("1") = "eve";
    const std::string stream = login.build_string() + misnamed.build_string() +
                               CMsg(CVar("LOGOUT")).build_string() + CHeartbeat::GetDefaultHeartbeatMsg(7) +
                               CMsg(CApplication(false).ToRecord()).build_string() + Text("OTHER");

    // Without a callback everything passes up.
    transport.Receive(stream);
    EXPECT_EQ(top.Ids(), (std::vector<std::string>{"LOGIN", "LOGIN", "LOGOUT", "HEARTBEAT", "APPLICATION", "OTHER"}));

    Callback callback;
    credentials.SetCallback(&callback);
    top.msgs.clear();
    transport.Receive(stream);
    EXPECT_EQ(callback.calls, (std::vector<std::string>{"login bob", "logout", "heartbeat 7", "application "}));
    EXPECT_EQ(callback.sources[0], transport.GetSource());
    EXPECT_EQ(top.Ids(), (std::vector<std::string>{"OTHER"}));

    // Logins and logouts go down as messages.
    EXPECT_TRUE(credentials.SendLogin(transport.GetSource(), bob));
    EXPECT_TRUE(credentials.SendLogout(transport.GetSource()));
    const auto sent = transport.Sent();
    ASSERT_EQ(sent.size(), 2u);
    transport.Receive(sent[0] + sent[1]);
    EXPECT_EQ(callback.calls.back(), "logout");
    EXPECT_EQ(callback.calls[callback.calls.size() - 2], "login bob");
}
