// The engine's log shipper against the Python log server: queued records,
// a restart of the server, and its monitor lines.
#include "WSATestSupport.h"

#include "Brindle/base/Identity.h"
#include "Brindle/base/MonitorStream.h"
#include "Brindle/base/RegSection.h"
#include "Brindle/comm/CommIOCP.h"
#include "Brindle/comm/CommLogger.h"
#include "TempDir.h"

#include <fstream>

namespace wsatest {
namespace {

struct EngineWorkers {
    EngineWorkers()
    {
        for (int i = 0; i < 2; ++i) {
            threads.push_back(std::make_unique<CThreadObject>("engine worker"));
            threads.back()->StartThread(&iocp);
        }
    }
    ~EngineWorkers()
    {
        iocp.RequestShutdown();
        for (auto& t : threads) {
            t->StopThread();
            t->Join();
        }
    }
    CCommIOCP iocp;
    std::vector<std::unique_ptr<CThreadObject>> threads;
};

std::vector<std::string> FileLines(const std::string& file)
{
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(CommLogger, QueuedRecordsAndARestartReachTheServerInOrderWithMonitorLines)
{
    testsupport::ScopedRegistryDir registry;
    const std::string oldName = GetLocalApplicationName();
    SetLocalApplicationName("CommLoggerTest");
    const std::string monitor = registry.dir().str() + "/mon/Monitor.log";
    ASSERT_TRUE(CRegSection(HKEY_CURRENT_USER, "/Software/Halvern/CommLoggerTest").SetStr("Monitor Log File", monitor));
    mstr.Reset();

    {
        EngineWorkers pool;
        testsupport::PythonPeer server(std::string(BRINDLE_SOURCE_DIR) + "/tests/Common/Libs/Brindle/wsa/peers/logserver.py",
                                       {});
        const int port = Number(server.Ask("listen"));
        ASSERT_GT(port, 0);
        CCommLogger logger(pool.iocp);
        for (int i = 1; i <= 3; ++i)
            logger.Log(CLogData(SEVERITY_INFORMATION, "Engine", CVar("queued " + std::to_string(i))));
        EXPECT_EQ(logger.QueueSize(), 4u);
        logger.Start(port, "127.0.0.1");
        EXPECT_EQ(server.Ask("wait 3"), "count 3");
        ASSERT_TRUE(Eventually([&] { return logger.Connected(); }));
        EXPECT_EQ(server.Ask("stop"), "ok");
        ASSERT_TRUE(Eventually([&] { return !logger.Connected(); }));
        logger.Log(CLogData(SEVERITY_INFORMATION, "Engine", CVar("down 4")));
        logger.Log(CLogData(SEVERITY_INFORMATION, "Engine", CVar("down 5")));
        EXPECT_EQ(server.Ask("listen " + std::to_string(port)), "port " + std::to_string(port));
        EXPECT_EQ(server.Ask("wait 5"), "count 5");
        const std::string report = server.Ask("report");
        EXPECT_EQ(testsupport::JsonField(report, "bad"), "");
        EXPECT_EQ(testsupport::JsonField(report, "order"), "ok");
        EXPECT_EQ(testsupport::JsonField(report, "resets"), "1");
        EXPECT_EQ(testsupport::JsonField(report, "gaps"), "");
        EXPECT_EQ(testsupport::JsonField(report, "f_0"), "down 5");
        EXPECT_EQ(testsupport::JsonField(report, "f_A"), "CommLoggerTest");
        logger.Stop();
    }
    const std::vector<std::string> lines = FileLines(monitor);
    const std::string address = "127.0.0.1:";
    int opens = 0, closes = 0;
    for (const std::string& line : lines) {
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
