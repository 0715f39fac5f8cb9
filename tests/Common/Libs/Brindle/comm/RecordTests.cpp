// Heartbeat, application, credentials and session records: the messages
// they make, reading them from texts a peer wrote, equality of credentials
// and the session's table definition and text dump.
#include "Brindle/base/Identity.h"
#include "Brindle/comm/Application.h"
#include "Brindle/comm/Credentials.h"
#include "Brindle/comm/Heartbeat.h"
#include "Brindle/comm/SessionData.h"

#include "CommTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using namespace Brindle;
using namespace commtest;

namespace {

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
    return Parsed(Unhex(Field(Ask(R"({"op":"msg","id":")" + Hex(id) + R"(","values":[)" + list + "]}"), "text")));
}

} // namespace

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
}

TEST(Records, HeartbeatTimestampOnlyWithACounter)
{
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

TEST(Records, CredentialsEquality)
{
    CCredentials a;
    a.set_session_id("1");
    a.set_username("bob");
    a.set_password("pw");
    a.set_hostname("h");
    a.set_ip_address("10.0.0.1");
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

TEST(Records, CredentialsPrintThreeLines)
{
    CCredentials c;
    c.set_application("App");
    c.set_version("1.2");
    c.set_build_date("Jan 1");
    c.set_login_name("me");
    c.set_hostname("host");
    c.set_ip_address("1.2.3.4");
    c.set_session_id("42");
    c.set_username("bob");
    c.set_password("pw");
    std::ostringstream out;
    out << c;
    EXPECT_EQ(out.str(), "Credentials - Application: App Version: 1.2 Build Date: Jan 1\n"
                         "              Login: me Hostname: host IP: 1.2.3.4\n"
                         "              Session: 42 Username: bob Password: pw\n");
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
