// Log shipping over the overlapped sockets: the log-service client and the
// engine's log shipper against a Python log server, the syslog client into
// rsyslog, and the TCP tap read by two socat clients.
#include "WSATestSupport.h"

#include "Brindle/base/Identity.h"
#include "Brindle/base/Log.h"
#include "Brindle/base/LogServiceClient.h"
#include "Brindle/base/MonitorStream.h"
#include "Brindle/base/RegSection.h"
#include "Brindle/base/Syslog.h"
#include "Brindle/comm/CommIOCP.h"
#include "Brindle/comm/CommLogger.h"
#include "Brindle/wsa/SocketLogger.h"
#include "ChildProcess.h"
#include "TempDir.h"

#include <csignal>
#include <fstream>
#include <sstream>

namespace wsatest {
namespace {

CLogData Record(const std::string& text)
{
    return CLogData(SEVERITY_WARNING, "ShipTest", CVar(text), 4);
}

// The number of records missing by the gaps text "a-b;c-d".
int Missing(const std::string& gaps)
{
    int missing = 0;
    std::istringstream in(gaps);
    for (std::string gap; std::getline(in, gap, ';');) {
        const std::size_t dash = gap.find('-');
        missing += std::stoi(gap.substr(dash + 1)) - std::stoi(gap.substr(0, dash)) - 1;
    }
    return missing;
}

TEST(LogServiceClient, TheMessagesAreAResetAndLogRecordsInTheTextForm)
{
    EXPECT_EQ(CLogServiceClient::ResetText(), "\x01\x1dReset\x1e" "C\x1f" "0\x02\x03");
    CLogData record(SEVERITY_ERROR, "Src", "App", 7, 2, CVar("hi"));
    record.SetCounter(12);
    record.SetHostname("box");
    record.SetTimestampValue(1700000000);
    EXPECT_EQ(CLogServiceClient::LogText(record),
              "\x01\x1dLog\x1e" "C\x1f" "12\x1eT\x1f" "1700000000\x1eS\x1f" "2\x1eX\x1fSrc\x1eH\x1f" "box\x1e"
              "A\x1f" "App\x1e" "B\x1f" "7\x1e" "E\x1f" "2\x1e" "0\x1fhi\x02\x03");
}

TEST(LogServiceClient, RecordsReachTheServerInOrderAcrossARestartAndTheQueueHoldsTenThousand)
{
    Workers pool;
    LogServer server;
    CLogServiceClient client(pool.iocp);
    for (int i = 1; i <= 5; ++i)
        client.Log(Record("early " + std::to_string(i)));
    EXPECT_EQ(client.QueueSize(), 6u) << "the reset and five records wait";
    client.Start(server.port, "127.0.0.1");
    ASSERT_TRUE(Eventually([&] { return client.Connected(); }));
    for (int i = 6; i <= 100; ++i)
        client.Log(Record("text " + std::to_string(i)));
    EXPECT_EQ(server.Ask("wait 100"), "count 100");
    server.ExpectReport({{"bad", ""}, {"order", "ok"}, {"resets", "1"}, {"gaps", ""}, {"last", "100"},
                         {"f_0", "text 100"}, {"f_X", "ShipTest"}, {"f_S", "1"}, {"f_B", "4"},
                         {"f_H", GetLocalHostname()}, {"f_A", GetLocalApplicationName()}});

    // The server goes away; records queue meanwhile, the 10001st is dropped.
    EXPECT_EQ(server.Ask("stop"), "ok");
    ASSERT_TRUE(Eventually([&] { return !client.Connected(); }));
    for (int i = 101; i <= 10101; ++i)
        client.Log(Record("down " + std::to_string(i)));
    EXPECT_EQ(client.QueueSize(), CLogServiceClient::MaxQueue);
    EXPECT_EQ(client.Dropped(), 1u);
    server.Listen();
    EXPECT_EQ(server.Ask("wait 10100"), "count 10100") << "the queue drains on reconnect";
    client.Log(Record("after"));
    EXPECT_EQ(server.Ask("wait 10101"), "count 10101");
    // The dropped record shows as a gap.
    server.ExpectReport({{"bad", ""}, {"order", "ok"}, {"gaps", "10100-10102"}, {"f_0", "after"}});
    EXPECT_EQ(client.QueueSize(), 0u);
}

TEST(LogServiceClient, AfterRecord999999TheNextIsPrecededByAResetAndCarriesOne)
{
    Workers pool;
    LogServer server;
    CLogServiceClient client(pool.iocp);
    // Offline: the reset and records 1 to 9999 queue, the rest is dropped.
    const CLogData record = Record("n");
    for (int i = 1; i <= CLogServiceClient::MaxCounter; ++i)
        client.Log(record);
    EXPECT_EQ(client.Dropped(), static_cast<unsigned long>(CLogServiceClient::MaxCounter - 9999));
    client.Start(server.port, "127.0.0.1");
    EXPECT_EQ(server.Ask("wait 9999"), "count 9999");
    client.Log(Record("wrapped"));
    EXPECT_EQ(server.Ask("wait 10000"), "count 10000");
    server.ExpectReport({{"resets", "2"}, {"last", "1"}, {"gaps", ""}, {"f_0", "wrapped"}});
}

TEST(LogServiceClient, FourThreadsLogThroughTheLogRegistryWhileTheServerRestarts)
{
    Workers pool(3);
    LogServer server;
    CLogServiceClient client(pool.iocp);
    client.Start(server.port, "127.0.0.1");
    ASSERT_TRUE(Eventually([&] { return client.Connected(); }));
    CLog::RegisterLogger(&client);
    constexpr int kThreads = 4, kEach = 1500;
    std::atomic<int> logged{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                CLog::Log(Record("t" + std::to_string(t) + " " + std::to_string(i)));
                ++logged;
            }
        });
    ASSERT_TRUE(Eventually([&] { return logged.load() >= kThreads * kEach / 3; }));
    server.Restart();
    for (auto& thread : threads)
        thread.join();
    CLog::RegisterLogger(nullptr);
    // Connected again once the server took a second connection (the first
    // one may still look connected for a moment after the server went).
    ASSERT_TRUE(Eventually([&] {
        return testsupport::JsonField(server.Ask("report"), "accepted") == "2" && client.Connected() &&
               client.QueueSize() == 0;
    }));
    // Records sent into the connection as the server went are lost: the
    // counters show each as a gap, and every other record arrives once, in
    // order. One more record marks the end. The redial loop's own lines go
    // through the registry too, so the counter may run past the threads'.
    constexpr int kTotal = kThreads * kEach + 1;
    client.Log(Record("final"));
    std::string report;
    ASSERT_TRUE(Eventually([&] {
        report = server.Ask("report");
        return testsupport::JsonField(report, "f_0") == "final";
    })) << report;
    const int last = std::stoi(testsupport::JsonField(report, "last"));
    EXPECT_GE(last, kTotal);
    EXPECT_EQ(testsupport::JsonField(report, "bad"), "");
    EXPECT_EQ(testsupport::JsonField(report, "order"), "ok");
    EXPECT_EQ(std::stoi(testsupport::JsonField(report, "records")) + Missing(testsupport::JsonField(report, "gaps")),
              last);
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

// rsyslog with a TCP input on a loopback port, writing each message as it
// came into a file of its own.
class Rsyslog {
public:
    explicit Rsyslog(int port) : m_port(port)
    {
        std::ofstream conf(m_dir.str() + "/rsyslog.conf");
        conf << "global(workDirectory=\"" << m_dir.str() << "\")\n"
             << "module(load=\"imtcp\")\n"
             << "input(type=\"imtcp\" port=\"" << port << "\" address=\"127.0.0.1\")\n"
             << "template(name=\"raw\" type=\"string\" string=\"%rawmsg%\\n\")\n"
             << "*.* action(type=\"omfile\" file=\"" << Output() << "\" template=\"raw\")\n";
    }
    ~Rsyslog() { Stop(); }
    bool Start()
    {
        m_process = std::make_unique<testsupport::ChildProcess>(std::vector<std::string>{
            "/usr/sbin/rsyslogd", "-n", "-f", m_dir.str() + "/rsyslog.conf", "-i", m_dir.str() + "/pid"});
        // Up once it takes connections.
        return Eventually([&] {
            Workers pool(1);
            CWSASocket probe(pool.iocp, nullptr);
            return probe.SetAddress(m_port, "127.0.0.1", true) && probe.Connect();
        });
    }
    void Stop()
    {
        if (m_process) {
            m_process->Signal(SIGTERM);
            m_process->Wait();
            m_process.reset();
        }
    }
    std::string Output() const { return m_dir.str() + "/out.log"; }
    std::vector<std::string> Lines() const { return FileLines(Output()); }

private:
    testsupport::TempDir m_dir;
    int m_port;
    std::unique_ptr<testsupport::ChildProcess> m_process;
};

TEST(Syslog, LinesReachRsyslogAsSentAndInOrderAcrossItsRestart)
{
    Workers pool;
    const int port = FreePort(pool.iocp);
    ASSERT_GT(port, 0);
    Rsyslog rsyslog(port);
    ASSERT_TRUE(rsyslog.Start());
    CSyslog syslog(pool.iocp);
    syslog.Start(port, "127.0.0.1");
    ASSERT_TRUE(Eventually([&] { return syslog.Connected(); }));
    CLogData hello(SEVERITY_INFORMATION, "S", "App", 0, 0, CVar("Hello"));
    EXPECT_EQ(CSyslog::Line(hello), "<14>App - Hello\n");
    syslog.Log(hello);
    // The probes' connections carried nothing; only our lines arrive.
    ASSERT_TRUE(Eventually([&] { return rsyslog.Lines().size() >= 1; }));
    EXPECT_EQ(rsyslog.Lines().front(), "<14>App - Hello");

    rsyslog.Stop();
    ASSERT_TRUE(Eventually([&] { return !syslog.Connected(); }));
    constexpr int kDown = static_cast<int>(CSyslog::MaxQueue) + 2;
    for (int i = 0; i < kDown; ++i)
        syslog.Log(CLogData(SEVERITY_INFORMATION, "S", "App", 0, 0, CVar("down " + std::to_string(i))));
    EXPECT_EQ(syslog.QueueSize(), CSyslog::MaxQueue);
    EXPECT_EQ(syslog.Dropped(), 2u);
    ASSERT_TRUE(rsyslog.Start());
    const std::size_t expected = 1 + CSyslog::MaxQueue + 1;
    ASSERT_TRUE(Eventually([&] { return rsyslog.Lines().size() >= expected; }));
    syslog.Log(CLogData(SEVERITY_INFORMATION, "S", "App", 0, 0, CVar("last")));
    ASSERT_TRUE(Eventually([&] { return rsyslog.Lines().size() >= expected + 1; }));
    const std::vector<std::string> lines = rsyslog.Lines();
    ASSERT_EQ(lines.size(), expected + 1);
    for (std::size_t i = 0; i < CSyslog::MaxQueue; ++i)
        ASSERT_EQ(lines[1 + i], "<14>App - down " + std::to_string(i));
    EXPECT_EQ(lines[1 + CSyslog::MaxQueue], "<12>App - 2 log lines dropped");
    EXPECT_EQ(lines.back(), "<14>App - last");
    EXPECT_EQ(syslog.Dropped(), 0u);
}

TEST(SocketLogger, TwoSocatClientsReadEveryRecordLine)
{
    Workers pool;
    CSocketLogger tap(pool.iocp);
    tap.SetPort(0);
    ASSERT_TRUE(tap.Listen());
    const int port = tap.GetLocalPort();
    ASSERT_GT(port, 0);
    const std::string address = "TCP:127.0.0.1:" + std::to_string(port);
    testsupport::ChildProcess a({"/usr/bin/socat", "-u", address, "STDOUT"});
    testsupport::ChildProcess b({"/usr/bin/socat", "-u", address, "STDOUT"});
    ASSERT_TRUE(Eventually([&] { return tap.size() == 2; }));
    CLog::RegisterLogger(&tap);
    CLog::Log(CLogData(SEVERITY_ERROR, "Tap", CVar("first"), 3));
    CLog::Log(CLogData(SEVERITY_INFORMATION, "Tap", CVar("second\r\nline"), 0));
    CLog::RegisterLogger(nullptr);
    const std::string sep = "\x16";
    auto expectLine = [&](const std::string& severityBatchSourceErrorText) {
        return sep + severityBatchSourceErrorText + sep + "\n\n\r";
    };
    const std::string first = expectLine("2" + sep + "3" + sep + "Tap" + sep + "0" + sep + "first");
    const std::string second = expectLine("0" + sep + "0" + sep + "Tap" + sep + "0" + sep + "second<CR><LF>line");
    for (testsupport::ChildProcess* client : {&a, &b}) {
        ASSERT_TRUE(client->ReadUntil([&] { return client->Stdout().find(second) != std::string::npos; }))
            << client->Stdout();
        const std::string& out = client->Stdout();
        // hh:mm:ss, then the fields; each line ends "\n" and the tap's "\n\r".
        ASSERT_GE(out.size(), 8u);
        EXPECT_EQ(out.substr(8, first.size()), first);
        EXPECT_LT(out.find(first), out.find(second));
    }
    tap.Close();
    EXPECT_EQ(a.Wait(), 0);
    EXPECT_EQ(b.Wait(), 0);
}

} // namespace
} // namespace wsatest
