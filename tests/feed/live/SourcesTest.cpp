// The database and serial sources, TLS, and failover between two servers,
// against real zphd processes on loopback.
#include "PtyPair.h"
#include "RecordingController.h"
#include "ZphdServer.h"
#include "protocol/FieldIds.h"
#include "zph/ZPHKey.h"
#include "zphsource/SerialSource.h"

#include "Brindle/base/SerialPort.h"

#include <gtest/gtest.h>

using namespace ZPH;

using namespace ZPHWire;
using namespace feedtest;
using namespace std::chrono_literals;

namespace {

SourceSettings DatabaseTo(int port, const std::string& user, const std::string& password)
{
    SourceSettings s;
    s.kind = SOURCE_DATABASE;
    s.dbHost = "127.0.0.1";
    s.dbPort = port;
    s.dbUser = user;
    s.dbPassword = password;
    return s;
}

// The server name of the last welcome the feed brought.
std::string LastWelcome(FeedRecorder& feed)
{
    const auto welcomes = feed.OfType(MSG_WELCOME);
    const char* name = welcomes.empty() ? nullptr : welcomes.back().GetValue(F_SERVER_NAME);
    return name != nullptr ? name : "";
}

} // namespace

TEST(DatabaseSource, AGoodPasswordLogsInAndABadOneIsRefused)
{
    ZphdServer server;
    RecordingController controller;
    controller.Dial(DatabaseTo(server.DatabasePort(), "trader2", "trader2"), 100);
    ZPHSource* source = controller.GetSource();
    EXPECT_EQ(source->GetKind(), SOURCE_DATABASE);
    ASSERT_TRUE(controller.WaitState(FEED_LIVE));
    EXPECT_EQ(controller.GetUserLevel(), 102);
    EXPECT_TRUE(controller.LoadPage(2));
    source->Disconnect();

    controller.SetSourceSettings(ROLE_PRIMARY, DatabaseTo(server.DatabasePort(), "trader2", "wrong"));
    source->Connect();
    ASSERT_TRUE(controller.WaitFor([&] { return !controller.loginFailures.empty(); }));
    EXPECT_NE(controller.loginFailures.front(), "<none>") << "the server says why";
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(source->GetFeedState(), FEED_DEAD);
    EXPECT_EQ(controller.Locked([&] { return controller.loginFailures.size(); }), 1u);
    source->Disconnect();

    // The password is proved, never sent: the login carries no password text.
    controller.SetSourceSettings(ROLE_PRIMARY, DatabaseTo(server.DatabasePort(), "nobody", "trader2"));
    source->Connect();
    ASSERT_TRUE(controller.WaitFor([&] { return controller.loginFailures.size() == 2; }));
}

TEST(SerialSource, TheFeedRunsOverAPseudoTerminalPair)
{
    testsupport::PtyPair pair;
    ASSERT_TRUE(pair.Running());
    ZphdServer server({"--serial", pair.First()});
    RecordingController controller;
    SourceSettings s;
    s.kind = SOURCE_SERIAL;
    s.serialPort = pair.Second();
    s.serialBaud = "115200";
    s.serialParity = "NONE";
    controller.SetSourceSettings(ROLE_PRIMARY, s);
    auto* source = dynamic_cast<CSerialSource*>(controller.GetSource());
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(source->UsesModem());
    ASSERT_NE(source->GetPort(), nullptr);
    EXPECT_EQ(source->GetStatusText(), pair.Second() + " 115200 8N1");
    source->SetReconnectDelay(200);
    source->Connect();
    ASSERT_TRUE(controller.WaitState(FEED_LIVE));
    EXPECT_TRUE(source->GetPort()->IsConnected());
    EXPECT_EQ(controller.GetUserLevel(), 101) << "the login names the user";
    ASSERT_TRUE(controller.LoadPage(1));
    server.Ok("set 1 2 5 OVER THE LINE");
    EXPECT_TRUE(controller.WaitLine(1, 2, [](const LineObject& line) { return line.m_issueName == "OVER THE LINE"; }));
    source->Disconnect();
    EXPECT_FALSE(source->GetPort()->IsConnected()) << "the port closes with the source";
}

TEST(SecureSource, TlsWorksWithTheServersCertificateAndNeverWithoutTrust)
{
    ZphdServer server({"--tls"});
    ASSERT_FALSE(server.Certificate().empty());
    RecordingController controller;

    // Trusting the server's certificate: socket and database sources.
    SourceSettings socket = SocketTo(server.SocketPort());
    socket.socketHost = "localhost";
    socket.socketSecure = true;
    socket.socketCaFile = server.Certificate();
    controller.Dial(socket, 100);
    ASSERT_TRUE(controller.WaitState(FEED_LIVE));
    EXPECT_TRUE(controller.LoadPage(1));
    controller.GetSource()->Disconnect();

    SourceSettings db = DatabaseTo(server.DatabasePort(), "trader1", "trader1");
    db.dbSecure = true;
    db.dbCaFile = server.Certificate();
    controller.Dial(db, 100);
    ASSERT_TRUE(controller.WaitState(FEED_LIVE));
    controller.GetSource()->Disconnect();

    // Without trust in the certificate, or without TLS at all, no feed.
    controller.Locked([&] { controller.log.clear(); controller.states.clear(); return 0; });
    socket.socketCaFile.clear();
    controller.Dial(socket, 100);
    ASSERT_TRUE(controller.WaitFor([&] { return controller.Logged("certificate"); }));
    controller.GetSource()->Disconnect();
    socket.socketSecure = false;
    controller.Dial(socket, 100);
    std::this_thread::sleep_for(2s);
    controller.GetSource()->Disconnect();
    EXPECT_EQ(controller.Locked([&] { return std::count(controller.states.begin(), controller.states.end(), FEED_LIVE); }), 0);
}

TEST(Failover, TheBackupServesWhenSelectedAndThePrimaryAgainAfterwards)
{
    ZphdServer primary({"--name", "primary-feed"});
    ZphdServer backup({"--name", "backup-feed"});
    RecordingController controller;
    FeedRecorder feed;
    controller.Register(&feed, false);
    controller.SetSourceSettings(ROLE_PRIMARY, SocketTo(primary.SocketPort()));
    controller.SetSourceSettings(ROLE_BACKUP, DatabaseTo(backup.DatabasePort(), "trader1", "trader1"));

    controller.GetSource()->Connect();
    ASSERT_TRUE(controller.WaitState(FEED_LIVE));
    EXPECT_TRUE(controller.WaitFor([&] { return LastWelcome(feed) == "primary-feed"; }));
    EXPECT_EQ(controller.GetSource()->GetName(), "Primary");

    // Connect backup: the active source disconnects, the backup is selected.
    controller.GetSource()->Disconnect();
    controller.SetFailover(1);
    ZPHSource* source = controller.GetSource();
    EXPECT_EQ(source->GetName(), "Backup");
    EXPECT_EQ(source->GetKind(), SOURCE_DATABASE);
    source->Connect();
    ASSERT_TRUE(controller.WaitState(FEED_LIVE));
    EXPECT_TRUE(controller.WaitFor([&] { return LastWelcome(feed) == "backup-feed"; }));
    EXPECT_TRUE(controller.LoadPage(3));

    // Selecting the primary while the backup runs stops the backup.
    controller.SetFailover(0);
    EXPECT_FALSE(source->IsConnected());
    controller.GetSource()->Connect();
    ASSERT_TRUE(controller.WaitState(FEED_LIVE));
    EXPECT_TRUE(controller.WaitFor([&] { return LastWelcome(feed) == "primary-feed"; }));
    controller.Unregister(&feed, false);
}
