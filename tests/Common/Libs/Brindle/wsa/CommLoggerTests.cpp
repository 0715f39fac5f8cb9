// The engine's log shipper against the Python log server: queued records,
// a restart of the server, and its monitor lines.
#include "WSATestSupport.h"

#include "Brindle/base/Identity.h"
#include "Brindle/base/MonitorStream.h"
#include "Brindle/base/RegSection.h"
#include "Brindle/comm/CommIOCP.h"
#include "Brindle/comm/CommLogger.h"
#include "TempDir.h"


namespace wsatest {
namespace {

TEST(CommLogger, QueuedRecordsAndARestartReachTheServerInOrderWithMonitorLines)
{
    testsupport::ScopedRegistryDir registry;
    const std::string oldName = GetLocalApplicationName();
    SetLocalApplicationName("CommLoggerTest");
    const std::string monitor = registry.dir().str() + "/mon/Monitor.log";
    ASSERT_TRUE(CRegSection(HKEY_CURRENT_USER, "/Software/Halvern/CommLoggerTest").SetStr("Monitor Log File", monitor));
    mstr.Reset();

    {
        PortWorkers<CCommIOCP> pool;
        LogServer server;
        CCommLogger logger(pool.iocp);
        for (int i = 1; i <= 3; ++i)
            logger.Log(CLogData(SEVERITY_INFORMATION, "Engine", CVar("queued " + std::to_string(i))));
        EXPECT_EQ(logger.QueueSize(), 4u);
        logger.Start(server.port, "127.0.0.1");
        EXPECT_EQ(server.Ask("wait 3"), "count 3");
        ASSERT_TRUE(Eventually([&] { return logger.Connected(); }));
        EXPECT_EQ(server.Ask("stop"), "ok");
        ASSERT_TRUE(Eventually([&] { return !logger.Connected(); }));
        logger.Log(CLogData(SEVERITY_INFORMATION, "Engine", CVar("down 4")));
        logger.Log(CLogData(SEVERITY_INFORMATION, "Engine", CVar("down 5")));
        server.Listen();
        EXPECT_EQ(server.Ask("wait 5"), "count 5");
        server.ExpectReport({{"bad", ""}, {"order", "ok"}, {"resets", "1"}, {"gaps", ""}, {"f_0", "down 5"},
                             {"f_A", "CommLoggerTest"}});
        logger.Stop();
    }
    int opens = 0, closes = 0;
    for (const std::string& line : FileLines(monitor)) {
        EXPECT_NE(line.find(" - CommLoggerTest - (Service "), std::string::npos) << line;
        opens += line.find("(Service Open|LogServer|127.0.0.1:") != std::string::npos ? 1 : 0;
        closes += line.find("(Service Close|LogServer|127.0.0.1:") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(opens, 2);
    EXPECT_EQ(closes, 2);
    mstr.Reset();
    SetLocalApplicationName(oldName.c_str());
}

} // namespace
} // namespace wsatest
