// The message parser, trace and credential layers, and the records they
// carry (heartbeat, application, credentials, session), read from texts a
// peer wrote.
#include "Brindle/base/Identity.h"
#include "Brindle/comm/Application.h"
#include "Brindle/comm/CredentialLayer.h"
#include "Brindle/comm/Credentials.h"
#include "Brindle/comm/Heartbeat.h"
#include "Brindle/comm/MsgParser.h"
#include "Brindle/comm/MsgTrace.h"
#include "Brindle/comm/SessionData.h"

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

class Callback : public CCredentialCallback {
public:
    void OnLogin(void* source, const CCredentials& c) override { calls.push_back("login " + c.get_username()), sources.push_back(source); }
    void OnLogout(void* source) override { calls.push_back("logout"), sources.push_back(source); }
    void OnHeartbeat(void*, const CHeartbeat& h) override { calls.push_back("heartbeat " + std::to_string(h.GetCounter())); }
    void OnApplication(void*, const CApplication& a) override { calls.push_back("application " + a.GetApplication()); }
    std::vector<std::string> calls;
    std::vector<void*> sources;
};

CMsg Parsed(const std::string& text)
{
    CMsg msg;
    EXPECT_TRUE(msg.parse(text)) << Hex(text);
    return msg;
}

// A message built by the Python peer: header id and values, hex-coded.
CMsg PeerMsg(const std::string& id, const std::vector<std::pair<std::string, std::string>>& values)
{
    std::string list;
    for (const auto& [k, v] : values)
        list += (list.empty() ? "" : ",") + std::string("[\"") + Hex(k) + "\",\"" + Hex(v) + "\"]";
    return Parsed(Unhex(AskOp("msg", {{"id", Hex(id)}, {"values", Json::Raw("[" + list + "]")}}, "text")));
}

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

TEST(Records, DefaultHeartbeatCarriesCountAndApplication)
{
    SetLocalApplicationName("RecordTests");
    const CMsg msg = Parsed(CHeartbeat::GetDefaultHeartbeatMsg(7));
    EXPECT_EQ(msg.get_header().get_id(), "HEARTBEAT");
    EXPECT_EQ(msg.get_header().get("Count"), "7");
    EXPECT_EQ(msg.get_header().get("Resp"), "0");
    EXPECT_EQ(msg.get_header().get("Date").length(), 16u);
    ASSERT_EQ(msg.size(), 1u);
    EXPECT_EQ(msg.begin()->get_id(), "APPLICATION");
    EXPECT_EQ(msg.begin()->get("App"), "RecordTests");
    EXPECT_EQ(msg.begin()->get("IP"), GetLocalIPAddress());

    const CMsg stamped = Parsed(CHeartbeat::GetDefaultHeartbeatMsg("2024010112:00:00", 3));
    EXPECT_EQ(stamped.get_header().get("Date"), "2024010112:00:00");

    const CMsg app = Parsed(CApplication::GetDefaultApplicationMsg());
    EXPECT_EQ(app.get_header().get_id(), "APPLICATION");
    EXPECT_EQ(app.get_header().get("Ver"), GetLocalVersion());
    EXPECT_EQ(app.size(), 0u);
    // A heartbeat has a time only with a counter.
    EXPECT_EQ(CHeartbeat(0).GetTimestamp(), "");
    EXPECT_EQ(CHeartbeat(1).GetTimestamp().size(), 16u);
    EXPECT_EQ(CApplication(false), CApplication(false));
    EXPECT_EQ(CApplication(false).GetHostname(), "");
    EXPECT_EQ(CApplication(true).GetHostname(), GetLocalHostname());
}

TEST(Records, ReadFromAPeersValues)
{
    CHeartbeat beat;
    beat.SetCounter(9);
    beat.FromRecord(PeerMsg("HEARTBEAT", {{"Count", "4294967295"}, {"Resp", "1"}, {"Other", "x"}}).get_header());
    EXPECT_EQ(beat.GetCounter(), 4294967295u);
    EXPECT_EQ(beat.GetResponseRequested(), 1);
    EXPECT_EQ(beat.GetTimestamp(), "");

    // Numbers that do not read are 0; missing values leave members alone.
    CSessionData session;
    session.set_Username("kept");
    session.FromRecord(PeerMsg("S", {{"0", "abc"}, {"11", "-5"}, {"15", "12x"}, {"13", "99999999999"}}).get_header());
    EXPECT_EQ(session.get_SessionId(), 0);
    EXPECT_EQ(session.get_SessionStart(), -5);
    EXPECT_EQ(session.get_Source(), 12);
    EXPECT_EQ(session.get_LastHeartbeat(), 99999999999L);
    EXPECT_EQ(session.get_Username(), "kept");

    CCredentials c;
    c.FromRecord(PeerMsg("Credentials", {{"1", "bob"}, {"2", "pw"}, {"10", "today"}, {"1", "alice"}}).get_header());
    EXPECT_EQ(c.get_username(), "alice");
    EXPECT_EQ(c.get_build_date(), "today");
}

TEST(Records, RecordsTravelThroughTheTextForm)
{
    CCredentials c;
    c.Initialize();
    c.set_username("bob");
    c.set_extra("seven");
    CMsg login("LOGIN");
    login.add(c.ToRecord());
    CCredentials back;
    back.FromRecord(Parsed(login.build_string())["Credentials"]);
    EXPECT_EQ(back.get_login_name(), GetLocalLoginName());
    EXPECT_EQ(back.get_extra(), "seven");
    EXPECT_EQ(back.get_version(), c.get_version());
    ASSERT_EQ(c.ToRecord().size(), 11u);
    EXPECT_EQ(c.ToRecord().begin()->get_id(), "0");

    CSessionData s;
    s.set_SessionId(-3);
    s.set_SessionEnd(1700000000L);
    s.set_NTLoginName("nt");
    CSessionData t;
    t.FromRecord(Parsed(CMsg(s.ToRecord()).build_string()).get_header());
    EXPECT_EQ(t, s);
}

TEST(Records, CredentialsPrintThreeLinesAndCompareByTheirLogin)
{
    CCredentials a;
    a.set_application("App");
    a.set_version("1.2");
    a.set_build_date("Jan 1");
    a.set_login_name("me");
    a.set_hostname("host");
    a.set_ip_address("1.2.3.4");
    a.set_session_id("42");
    a.set_username("bob");
    a.set_password("pw");
    std::ostringstream out;
    out << a;
    EXPECT_EQ(out.str(), "Credentials - Application: App Version: 1.2 Build Date: Jan 1\n"
                         "              Login: me Hostname: host IP: 1.2.3.4\n"
                         "              Session: 42 Username: bob Password: pw\n");
    CCredentials b = a;
    b.set_version("other");
    b.set_application("other");
    EXPECT_TRUE(a == b);
    const auto differ = [&](void (CCredentials::*set)(const std::string&)) {
        CCredentials c = a;
        (c.*set)("changed");
        return !(a == c);
    };
    for (const auto set : {&CCredentials::set_session_id, &CCredentials::set_username, &CCredentials::set_password,
                           &CCredentials::set_hostname, &CCredentials::set_ip_address})
        EXPECT_TRUE(differ(set));
    CCredentials anonymous;
    EXPECT_FALSE(anonymous == anonymous);
    a.Reset();
    EXPECT_FALSE(a == a);
}

TEST(Records, SessionDumpAndTable)
{
    CSessionData s;
    const std::string dump = s.ToText();
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 16);
    EXPECT_EQ(dump.substr(0, dump.find('\n')), "SessionId = 0");
    s.set_LastHeartbeat(1700000000L);
    s.set_ClientIP("10.1.1.1");
    EXPECT_NE(s.ToText().find("LastHeartbeat = 1700000000\n"), std::string::npos);
    EXPECT_NE(s.ToText().find("ClientIP = 10.1.1.1\n"), std::string::npos);
    EXPECT_EQ(CSessionData::GetCreateTableSQL("Sessions"),
              "CREATE TABLE Sessions (SessionId integer, Username varchar(50), Password varchar(50), "
              "ClientApp varchar(50), ClientHost varchar(50), ClientIP varchar(50), ServerApp varchar(50), "
              "ServerHost varchar(50), ServerIP varchar(50), SystemSession varchar(50), SessionActive varchar(50), "
              "SessionStart timestamp, SessionEnd timestamp, LastHeartbeat timestamp, NTLoginName varchar(50), "
              "Source integer)");
    // The columns move members like the message binding does.
    CSessionData t;
    for (const CSessionColumn& column : CSessionData::DBOPS)
        column.set(t, column.get(s));
    EXPECT_EQ(t, s);
}
