// brindle-logd driven as a user runs it: the real program serving on a
// port, a Python peer written from the wire format shipping to it, the
// library's own shipping logger, and the query command reading back what
// was stored.
#include "Brindle/base/LogData.h"
#include "Brindle/base/ThreadObject.h"
#include "Brindle/comm/CommIOCP.h"
#include "Brindle/comm/CommLogger.h"
#include "Brindle/odbc/Odbc.h"
#include "Brindle/base/LogServiceClient.h"
#include "Brindle/wsa/IOCPThreads.h"

#include "ChildProcess.h"
#include "Eventually.h"
#include "PostgresTestServer.h"
#include "PythonPeer.h"
#include "ServiceTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using servicetest::Lines;
using servicetest::ReadFile;
using testsupport::ChildProcess;
using testsupport::TempDir;

namespace {

using Args = std::vector<std::string>;
const std::string Tool = BRINDLE_LOGD;
const std::string Client = std::string(BRINDLE_SOURCE_DIR) + "/tests/tools/logd_client.py";

// Polls until pred holds or a generous deadline has passed; whether it held.
bool Eventually(const std::function<bool()>& pred)
{
    return testsupport::Eventually(pred, std::chrono::seconds(120), std::chrono::milliseconds(50));
}

struct Result {
    int status;
    std::string out, err;
};

Result RunTool(Args args)
{
    ChildProcess child(args);
    const int status = child.Wait(std::chrono::minutes(5));
    return {status, child.Stdout(), child.Stderr()};
}

Result Python(Args args)
{
    args.insert(args.begin(), {"/usr/bin/env", "python3", Client});
    return RunTool(args);
}

// The server, on a free port (or the one given), with its database in `dir`.
class Server {
public:
    Server(const TempDir& dir, Args db, int port = 0) : m_portFile(dir.str() + "/port")
    {
        std::remove(m_portFile.c_str());
        Args args{Tool, "serve", "--port", std::to_string(port), "--port-file", m_portFile, "--print-events"};
        args.insert(args.end(), db.begin(), db.end());
        m_child = std::make_unique<ChildProcess>(args);
        m_child->ReadUntil([&] { return m_child->Stdout().find("listening on port") != std::string::npos; },
                           std::chrono::seconds(60));
        m_port = std::atoi(ReadFile(m_portFile).c_str());
    }
    int Port() const { return m_port; }
    std::string PortText() const { return std::to_string(m_port); }
    // SIGTERM; the exit status.
    int Stop()
    {
        m_child->Signal(SIGTERM);
        return m_child->Wait(std::chrono::minutes(2));
    }
    void Kill()
    {
        m_child->Signal(SIGKILL);
        m_child->Wait();
    }
    const std::string& Output() const { return m_child->Stdout(); }
    const std::string& Events()
    {
        m_child->Pump(0);
        return m_child->Stderr();
    }

private:
    std::string m_portFile;
    std::unique_ptr<ChildProcess> m_child;
    int m_port = 0;
};

Result Query(const Args& db, Args args)
{
    args.insert(args.begin(), {Tool, "query"});
    args.insert(args.end(), db.begin(), db.end());
    return RunTool(args);
}

// How many lines a query prints.
std::size_t Count(const Args& db, const Args& args)
{
    return Lines(Query(db, args).out).size();
}

using testsupport::JsonField;

// Each of the JSON line's fields holds its value.
void ExpectFields(const std::string& line, const std::vector<std::pair<std::string, std::string>>& fields)
{
    for (const auto& [key, value] : fields)
        EXPECT_EQ(JsonField(line, key), value) << key << " in " << line;
}

// Sums "lost N" over the gap lines; counts the resets.
struct Gaps {
    int gaps = 0, restarts = 0, resets = 0;
    long long lost = 0;
    std::map<std::string, long long> lostBy; // by application
};

Gaps ReadGaps(const Args& db)
{
    Gaps g;
    for (const auto& line : Lines(Query(db, {"--gaps"}).out)) {
        std::istringstream in(line);
        std::string when, kind, who;
        in >> when >> kind >> who;
        const long long lost = kind == "reset" ? 0 : std::atoll(line.c_str() + line.rfind("lost ") + 5);
        g.resets += kind == "reset";
        g.gaps += kind == "gap";
        g.restarts += kind == "restart";
        g.lost += lost;
        g.lostBy[who.substr(0, who.find('@'))] += lost;
    }
    return g;
}

// The counters stored for one application, in the order stored.
std::vector<long long> Counters(const Args& db, const std::string& application)
{
    std::vector<long long> counters;
    for (const auto& row : Lines(Query(db, {"--format", "json", "--application", application}).out))
        counters.push_back(std::atoll(JsonField(row, "counter").c_str()));
    return counters;
}

// A client that started once and went on through a server's death: each of
// its records 1 to `last` is stored once, in order, or counted in a gap.
void ExpectStoredOnceOrCounted(const Args& db, const std::vector<long long>& counters, long long last)
{
    ASSERT_FALSE(counters.empty());
    EXPECT_TRUE(std::is_sorted(counters.begin(), counters.end()));
    EXPECT_EQ(std::adjacent_find(counters.begin(), counters.end()), counters.end()) << "a record stored twice";
    EXPECT_EQ(counters.back(), last);
    const Gaps g = ReadGaps(db);
    EXPECT_EQ(g.resets, 1);
    EXPECT_EQ(g.restarts, 0);
    EXPECT_EQ(static_cast<long long>(counters.size()) + g.lost, last);
}

void ExpectRecordsGapsAndQueries(const Args& db, Server& server)
{
    const std::string port = server.PortText();
    // app1: a reset, 1-10 without 4-6 (a gap of 3); app2: no reset, starts
    // at 3 (two lost before it), severity 2, a text that needs quoting.
    ASSERT_EQ(Python({"send", port, "app1", "h1", "1", "10", "--reset", "--skip", "4-6"}).status, 0);
    ASSERT_EQ(Python({"send", port, "app2", "h2", "3", "4", "--severity", "2", "--text", "say \"hi\", %d"}).status, 0);
    // app1 again on a new connection: 11 follows 10, no gap.
    ASSERT_EQ(Python({"send", port, "app1", "h1", "11", "12"}).status, 0);
    ASSERT_EQ(server.Stop(), 0);

    const auto all = Lines(Query(db, {"--format", "json"}).out);
    ASSERT_EQ(all.size(), 11u);
    ExpectFields(all[0], {{"counter", "1"}, {"application", "app1"}, {"host", "h1"}, {"source", "pysrc"},
                          {"text", "record 1"}, {"t", "1700000001"}, {"time", "2023-11-14T22:13:21Z"}});
    ExpectFields(all[3], {{"counter", "7"}});
    ExpectFields(all[7], {{"text", "say \"hi\", 3"}});

    const Gaps g = ReadGaps(db);
    EXPECT_EQ(g.resets, 1);
    EXPECT_EQ(g.gaps, 2);
    EXPECT_EQ(g.lostBy.at("app1"), 3);
    EXPECT_EQ(g.lostBy.at("app2"), 2);

    struct Case {
        Args args;
        std::size_t lines;
    };
    const std::vector<Case> cases = {
        {{"--application", "app1"}, 9},
        {{"--application", "app2", "--host", "h2"}, 2},
        {{"--host", "h1", "--application", "app2"}, 0},
        {{"--severity", "E"}, 2},
        {{"--min-severity", "1"}, 2},
        {{"--max-severity", "0"}, 9},
        {{"--source", "pysrc"}, 11},
        {{"--source", "other"}, 0},
        {{"--since", "1700000008"}, 5},
        {{"--since", "2023-11-14T22:13:27Z", "--until", "1700000008"}, 2},
        {{"--until", "2023-11-14"}, 0},
        {{"--match", "^record [0-9]$"}, 6},
        {{"--match", "1[0-2]$"}, 3},
        {{"--match", "hi.*, 4"}, 1},
        {{"--match", "nothing"}, 0},
        {{"--limit", "4"}, 4},
        {{"--application", "app1", "--match", "record 1", "--limit", "2"}, 2},
    };
    for (const Case& c : cases) {
        const Result r = Query(db, c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Lines(r.out).size(), c.lines) << ::testing::PrintToString(c.args) << "\n" << r.out;
    }

    // CSV: a header and quoted fields; the record line: its separators.
    const auto csv = Lines(Query(db, {"--format", "csv", "--application", "app2"}).out);
    ASSERT_EQ(csv.size(), 3u);
    EXPECT_EQ(csv[0], "id,received,time,counter,severity,source,host,application,batch,lasterror,text,peer");
    EXPECT_NE(csv[1].find(",3,2,pysrc,h2,app2,0,0,\"say \"\"hi\"\", 3\",127.0.0.1:"), std::string::npos) << csv[1];
    const auto line = Lines(Query(db, {"--application", "app2", "--limit", "1"}).out);
    ASSERT_EQ(line.size(), 1u);
    EXPECT_EQ(std::count(line[0].begin(), line[0].end(), '\x16'), 10);
    EXPECT_NE(line[0].find("\x16" "3\x16" "app2\x16" "h2\x16" "2\x16" "0\x16" "pysrc\x16" "0\x16" "say \"hi\", 3\x16"),
              std::string::npos);

    // Bad options and patterns are refused.
    for (const Args& bad : {Args{"--match", "(a"}, {"--since", "2023-02-30"}, {"--format", "xml"}, {"--severity", "Q"},
                            {"--limit"}})
        EXPECT_NE(Query(db, bad).status, 0) << ::testing::PrintToString(bad);
}

} // namespace

// A scratch directory of the test's and the file database in it.
struct Logd : ::testing::Test {
    TempDir dir;
    const Args db = {"--file", dir.str() + "/logd.db"};
};

TEST_F(Logd, RecordsResetsAndGapsAreStoredAndQueried)
{
    Server server(dir, db);
    ASSERT_GT(server.Port(), 0);
    ExpectRecordsGapsAndQueries(db, server);
    struct stat st {};
    ASSERT_EQ(::stat((dir.str() + "/logd.db").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(Logd, RecordsResetsAndGapsAreStoredInPostgres)
{
    if (!testsupport::HavePostgres())
        GTEST_SKIP() << testsupport::kNoPostgres;
    const std::string connection = testsupport::PostgresOdbcConnection();
    {
        Brindle::COdbc odbc;
        ASSERT_TRUE(odbc.DriverConnect(connection.c_str()));
        for (const char* table : {"logd_records", "logd_events", "logd_clients"})
            odbc.ExecuteNonQuery((std::string("DROP TABLE IF EXISTS ") + table).c_str());
    }
    const Args pg{"--db", connection};
    Server server(dir, pg);
    ASSERT_GT(server.Port(), 0);
    ExpectRecordsGapsAndQueries(pg, server);
    // Started again on the same tables: full batches of many rows, and the
    // counters the first run left.
    Server again(dir, pg);
    ASSERT_EQ(Python({"many", again.PortText(), "3", "3000"}).status, 0);
    ASSERT_EQ(Python({"send", again.PortText(), "app1", "h1", "14", "15"}).status, 0);
    ASSERT_EQ(again.Stop(), 0);
    EXPECT_EQ(Count(pg, {"--format", "csv"}), 1u + 11 + 9000 + 2);
    const Gaps g = ReadGaps(pg);
    EXPECT_EQ(g.lostBy.at("app1"), 3 + 1); // 13 never came
    EXPECT_EQ(g.resets, 1 + 3);
}

TEST_F(Logd, TenClientsAtFullSpeedAreAllStoredWithoutGaps)
{
    Server server(dir, db);
    const Result sent = Python({"many", server.PortText(), "10", "5000"});
    ASSERT_EQ(sent.status, 0) << sent.out << sent.err;
    EXPECT_EQ(sent.out, "sent 50000\n");
    ASSERT_EQ(server.Stop(), 0);
    // The queue between network and database is bounded: the flood is
    // held back by TCP, not by the server's memory.
    // A sanitizer's shadow memory is counted in the peak too, so the bound
    // is checked in the plain build only.
    const auto peakAt = server.Output().find("peak memory ");
    ASSERT_NE(peakAt, std::string::npos) << server.Output();
    if (!BRINDLE_SANITIZED) {
        EXPECT_LT(std::atol(server.Output().c_str() + peakAt + 12), 128 * 1024) << server.Output();
    }
    EXPECT_EQ(Count(db, {"--format", "csv"}), 50001u);
    // Patterns read page by page: matches rare at first and then most of
    // each page (counters 1000 on), one in a hundred, a limit mid-page.
    struct PatternCase {
        Args args;
        std::size_t lines;
        std::function<bool(long long)> counterMatches;
    };
    const auto from1000 = [](long long c) { return c >= 1000; };
    const std::vector<PatternCase> patterns = {
        {{"--match", "record [1-4][0-9][0-9][0-9]$"}, 40000, from1000},
        {{"--match", "record [0-9]*77$"}, 500, [](long long c) { return c % 100 == 77; }},
        {{"--match", "record [1-4][0-9][0-9][0-9]$", "--limit", "2500"}, 2500, from1000},
        {{"--match", "^client 3 record [0-9]*7$", "--application", "many-3"}, 500,
         [](long long c) { return c % 10 == 7; }},
    };
    for (PatternCase c : patterns) {
        c.args.insert(c.args.end(), {"--format", "json"});
        const auto found = Lines(Query(db, c.args).out);
        EXPECT_EQ(found.size(), c.lines) << ::testing::PrintToString(c.args);
        long long lastId = 0;
        for (const std::string& line : found) {
            const long long id = std::atoll(JsonField(line, "id").c_str());
            ASSERT_GT(id, lastId) << line;
            ASSERT_TRUE(c.counterMatches(std::atoll(JsonField(line, "counter").c_str()))) << line;
            lastId = id;
        }
    }
    for (int i : {0, 9}) {
        const auto mine = Lines(Query(db, {"--format", "json", "--application", "many-" + std::to_string(i)}).out);
        ASSERT_EQ(mine.size(), 5000u);
        // In order, each counter once.
        for (std::size_t k = 0; k < mine.size(); k += 499)
            EXPECT_EQ(JsonField(mine[k], "counter"), std::to_string(k + 1));
    }
    const Gaps g = ReadGaps(db);
    EXPECT_EQ(g.resets, 10);
    EXPECT_EQ(g.gaps + g.restarts, 0);
    EXPECT_EQ(g.lost, 0);
}

TEST_F(Logd, HostileInputIsRefusedAndLoggedWhileOthersAreServed)
{
    Server server(dir, db);
    const std::string port = server.PortText();
    ChildProcess noread({"/usr/bin/env", "python3", Client, "hostile", port, "noread-open"});
    ASSERT_TRUE(noread.ReadUntil([&] { return noread.Stdout().find("open") != std::string::npos; }));
    std::thread good([&] { EXPECT_EQ(Python({"many", port, "3", "2000"}).status, 0); });
    EXPECT_EQ(Python({"hostile", port, "garbage"}).status, 0);
    const Result oversized = Python({"hostile", port, "oversized"});
    EXPECT_EQ(oversized.out.rfind("cut off after", 0), 0u) << oversized.out;
    EXPECT_EQ(Python({"hostile", port, "badnumbers"}).status, 0);
    EXPECT_EQ(Python({"hostile", port, "unknown"}).out, "closed\n");
    EXPECT_EQ(Python({"hostile", port, "churn"}).status, 0);
    good.join();
    // Still serving after all of it.
    ASSERT_EQ(Python({"send", port, "after", "h", "1", "5", "--reset"}).status, 0);
    const std::string events = server.Events();
    EXPECT_NE(events.find("Parse Error"), std::string::npos);
    EXPECT_NE(events.find("refused, connection closed"), std::string::npos);
    EXPECT_NE(events.find("not a number in range"), std::string::npos);
    EXPECT_NE(events.find("neither Reset nor Log"), std::string::npos);
    ASSERT_EQ(server.Stop(), 0);
    noread.Signal(SIGTERM);
    // 6000 good, 5 after, the one of the client that never reads; none of
    // the refused ones.
    EXPECT_EQ(Count(db, {"--format", "csv"}), 1u + 6000 + 5 + 1);
    EXPECT_EQ(Count(db, {"--application", "bad"}), 0u);
    EXPECT_EQ(ReadGaps(db).lost, 0);
}

// A batch the database refuses is kept and written again, on a fresh
// connection, until the database takes it: nothing is lost or stored twice.
TEST_F(Logd, ARefusedBatchIsWrittenAgainOnceTheDatabaseTakesIt)
{
    Server server(dir, db);
    const std::string port = server.PortText();
    ASSERT_EQ(Python({"send", port, "p", "h", "1", "5", "--reset"}).status, 0);
    ASSERT_TRUE(Eventually([&] { return Count(db, {"--application", "p"}) == 5; }));
    auto sql = [&](const std::string& statement) {
        return RunTool({"/usr/bin/env", "python3", "-c",
                        "import sqlite3, sys; c = sqlite3.connect(sys.argv[1]); c.execute(sys.argv[2]); c.commit()",
                        dir.str() + "/logd.db", statement})
            .status;
    };
    ASSERT_EQ(sql("CREATE TRIGGER refuse BEFORE INSERT ON logd_records WHEN NEW.text = 'record 8' "
                  "BEGIN SELECT RAISE(ABORT, 'not now'); END"),
              0);
    ASSERT_EQ(Python({"send", port, "p", "h", "6", "10"}).status, 0);
    ASSERT_TRUE(Eventually([&] { return server.Events().find("not now") != std::string::npos; })) << server.Events();
    ASSERT_EQ(sql("DROP TRIGGER refuse"), 0);
    ASSERT_TRUE(Eventually([&] { return Count(db, {"--application", "p"}) == 10; }));
    ASSERT_EQ(server.Stop(), 0);
    EXPECT_EQ(Counters(db, "p"), (std::vector<long long>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(ReadGaps(db).lost, 0);
}

// Killed mid-stream and started again on the same port: the client goes on
// by itself; every record is either stored once, in order, or counted in a
// gap, and the database is whole.
TEST_F(Logd, KilledMidStreamAndRestartedLosesNothingUncounted)
{
    auto server = std::make_unique<Server>(dir, db);
    const int port = server->Port();
    ChildProcess stream({"/usr/bin/env", "python3", Client, "stream", std::to_string(port), "streamer", "40000", "50"});
    // Wait until some records are stored, then kill.
    Eventually([&] { return Count(db, {"--format", "csv", "--limit", "1000"}) > 1000; });
    server->Kill();
    server = std::make_unique<Server>(dir, db, port);
    ASSERT_EQ(server->Port(), port);
    ASSERT_EQ(stream.Wait(std::chrono::minutes(5)), 0) << stream.Stderr();
    ASSERT_EQ(server->Stop(), 0);

    // Nothing but the stream's records came.
    const auto counters = Counters(db, "streamer");
    EXPECT_EQ(Count(db, {"--format", "csv"}), counters.size() + 1);
    ExpectStoredOnceOrCounted(db, counters, 40000);

    Brindle::COdbc check;
    ASSERT_TRUE(check.DriverConnect(("DRIVER=SQLite3;Database=" + dir.str() + "/logd.db").c_str()));
    const auto integrity = check.Execute("PRAGMA integrity_check");
    ASSERT_FALSE(integrity->empty());
    EXPECT_EQ((*(*integrity)[0])[0]->GetStdString(), "ok");
}

// The library's own shipping logger on the completion engine, as a program
// linked against the library uses it.
TEST_F(Logd, TheLibrarysCommLoggerShipsToIt)
{
    Server server(dir, db);
    {
        Brindle::CCommIOCP iocp;
        std::vector<std::unique_ptr<Brindle::CThreadObject>> workers;
        for (int i = 0; i < 2; ++i) {
            workers.push_back(std::make_unique<Brindle::CThreadObject>("Comm Worker"));
            workers.back()->StartThread(&iocp);
        }
        {
            Brindle::CCommLogger logger(iocp);
            // Logged before the connection is up: queued, sent on connect.
            for (int i = 1; i <= 2000; ++i)
                logger.Log(Brindle::CLogData(Brindle::SEVERITY_WARNING, "LogdTest", "shipper", 7, 0,
                                             Brindle::CVar("shipped " + std::to_string(i))));
            logger.Start(server.Port(), "127.0.0.1");
            EXPECT_TRUE(Eventually([&] { return logger.QueueSize() == 0 && logger.Connected(); }))
                << "queue " << logger.QueueSize() << ", connected " << logger.Connected();
            // Let the last sends reach the wire before the socket closes.
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            logger.Stop();
        }
        for (auto& w : workers)
            w->StopThread();
        for (auto& w : workers)
            w->Join();
    }
    ASSERT_EQ(server.Stop(), 0);
    const auto rows = Lines(Query(db, {"--format", "json", "--application", "shipper"}).out);
    ASSERT_EQ(rows.size(), 2000u);
    ExpectFields(rows[0], {{"text", "shipped 1"}, {"severity", "1"}, {"source", "LogdTest"}, {"batch", "7"}});
    ExpectFields(rows[1999], {{"text", "shipped 2000"}, {"counter", "2000"}});
    const Gaps g = ReadGaps(db);
    EXPECT_EQ(g.resets, 1);
    EXPECT_EQ(g.lost, 0);
}

// The service frame: the unit is written and removed, and -run serves with
// the events in the system log.
TEST_F(Logd, RunsThroughTheServiceFrame)
{
    servicetest::Logged scratch;
    const std::string where = scratch.dir.str();

    EXPECT_EQ(RunTool({Tool, "-install"}).status, 0);
    const std::string unit = ReadFile(where + "/brindle-logd.service");
    EXPECT_NE(unit.find("Type=notify"), std::string::npos) << unit;
    EXPECT_NE(unit.find("ExecStart=\"" + Tool + "\""), std::string::npos) << unit;
    EXPECT_EQ(RunTool({Tool, "-install"}).status, 2);
    EXPECT_EQ(RunTool({Tool, "-uninstall"}).status, 0);
    EXPECT_FALSE(std::filesystem::exists(where + "/brindle-logd.service"));
    EXPECT_EQ(RunTool({Tool, "-uninstall"}).status, 3);

    // Not started by the service manager (the scratch places have none).
    const std::string portFile = where + "/port";
    ChildProcess service({Tool, "-run", "--port", "0", "--port-file", portFile, "--file", where + "/svc.db"});
    ASSERT_TRUE(service.ReadUntil([&] { return service.Stdout().find("listening on port") != std::string::npos; }));
    const std::string port = std::to_string(std::atoi(ReadFile(portFile).c_str()));
    ASSERT_EQ(Python({"send", port, "svc", "h", "1", "3", "--reset"}).status, 0);
    service.Signal(SIGTERM);
    EXPECT_EQ(service.Wait(), 0) << service.Stdout() << service.Stderr();
    EXPECT_EQ(Lines(Query({"--file", where + "/svc.db"}, {"--application", "svc"}).out).size(), 3u);

    std::string lines;
    // The service has ended: everything it logged is queued already.
    for (const std::string& line : servicetest::Drain(scratch.syslog))
        lines += line + "\n";
    for (const char* expected : {"brindle-logd[", "Service brindle-logd has been started.", "Description: started",
                                 "Description: client connected", "Description: reset", "Description: stopped",
                                 "has been stopped"})
        EXPECT_NE(lines.find(expected), std::string::npos) << expected << "\n" << lines;
}

// The overlapped framework's shipper, with the server killed under it and
// started again on the same port: it redials by itself, what it queued
// arrives in order, and what went into the dead connection is counted as
// lost, exactly.
TEST_F(Logd, TheLogServiceClientRedialsAfterTheServerIsKilled)
{
    auto server = std::make_unique<Server>(dir, db);
    const int port = server->Port();
    auto stored = [&] { return Count(db, {"--format", "csv", "--application", "wsa"}) - 1; };
    {
        Brindle::CIOCPThreads threads(2);
        Brindle::CLogServiceClient client(threads.GetIOCP());
        client.Start(port, "127.0.0.1");
        auto log = [&](int from, int to) {
            for (int i = from; i <= to; ++i)
                client.Log(Brindle::CLogData(Brindle::SEVERITY_INFORMATION, "LogdTest", "wsa", 0, 0,
                                             Brindle::CVar("wsa " + std::to_string(i))));
        };
        ASSERT_TRUE(Eventually([&] { return client.Connected(); }));
        log(1, 3000);
        Eventually([&] { return stored() >= 3000; });
        ASSERT_EQ(stored(), 3000u);
        server->Kill();
        log(3001, 5000);
        server = std::make_unique<Server>(dir, db, port);
        ASSERT_EQ(server->Port(), port);
        ASSERT_TRUE(Eventually([&] { return client.Connected() && client.QueueSize() == 0; }));
        log(5001, 6000);
        Eventually([&] { return !Lines(Query(db, {"--match", "^wsa 6000$"}).out).empty(); });
        client.Stop();
        threads.Stop();
    }
    ASSERT_EQ(server->Stop(), 0);
    ExpectStoredOnceOrCounted(db, Counters(db, "wsa"), 6000);
}

// With a user list: only a connection that logged in with matching
// credentials is stored; bad credentials and no login are refused, logged
// and cut off.
TEST_F(Logd, UsersMustLogInWithMatchingCredentials)
{
    std::ofstream(dir.str() + "/users") << "# who may ship\nalice:s3cret\nbob:pa:ss\n";
    Server server(dir, {"--file", dir.str() + "/logd.db", "--users", dir.str() + "/users"});
    ASSERT_GT(server.Port(), 0);
    const std::string port = server.PortText();
    struct Case {
        const char* app;
        Args login;
        std::size_t stored;
    };
    const std::vector<Case> cases = {
        {"alice", {"--login", "alice:s3cret"}, 3},
        {"bob", {"--login", "bob:pa:ss"}, 3},
        {"wrongpass", {"--login", "alice:s3cre"}, 0},
        {"longerpass", {"--login", "alice:s3cret!"}, 0},
        {"nobody", {"--login", "mallory:s3cret"}, 0},
        {"emptyuser", {"--login", ":s3cret"}, 0},
        {"nologin", {}, 0},
    };
    for (const Case& c : cases) {
        Args args{"send", port, c.app, "h", "1", "3", "--reset"};
        args.insert(args.end(), c.login.begin(), c.login.end());
        EXPECT_EQ(Python(args).status, 0) << c.app;
    }
    const std::string events = server.Events();
    EXPECT_NE(events.find("bad credentials for user \"alice\""), std::string::npos) << events;
    EXPECT_NE(events.find("bad credentials for user \"mallory\""), std::string::npos) << events;
    EXPECT_NE(events.find("a message before a login"), std::string::npos) << events;
    ASSERT_EQ(server.Stop(), 0);
    for (const Case& c : cases)
        EXPECT_EQ(Count(db, {"--application", c.app}), c.stored) << c.app;
    // A user list that cannot be read stops the start.
    const Result bad = RunTool({Tool, "serve", "--port", "0", "--file", dir.str() + "/x.db", "--users",
                                dir.str() + "/missing"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("cannot read the user list"), std::string::npos) << bad.err;
}

// Over the framed secure channel: a Python peer of the channel hands its
// messages over after the handshake; a frame that claims a gigabyte, and
// plain text where frames belong, are refused and cut off.
TEST_F(Logd, SecureChannelCarriesTheMessagesAndRefusesBadFrames)
{
    Server server(dir, {"--file", dir.str() + "/logd.db", "--secure"});
    ASSERT_GT(server.Port(), 0);
    const std::string port = server.PortText();
    const Result sent = Python({"secure", port, "sapp", "1000"});
    EXPECT_NE(sent.out.find("sent 1000"), std::string::npos) << sent.out << sent.err;
    EXPECT_EQ(Python({"hostile", port, "secure-huge"}).out, "closed\n");
    EXPECT_EQ(Python({"hostile", port, "secure-plain"}).status, 0);
    EXPECT_NE(Python({"secure", port, "sapp2", "10"}).out.find("sent 10"), std::string::npos);
    const std::string events = server.Events();
    EXPECT_NE(events.find("Bad frame length"), std::string::npos) << events;
    ASSERT_EQ(server.Stop(), 0);
    const auto rows = Lines(Query(db, {"--format", "json", "--application", "sapp"}).out);
    ASSERT_EQ(rows.size(), 1000u);
    EXPECT_EQ(JsonField(rows[999], "text"), "secure record 1000");
    EXPECT_EQ(Count(db, {"--application", "sapp2"}), 10u);
    EXPECT_EQ(Count(db, {"--application", "plain"}), 0u);
    EXPECT_EQ(ReadGaps(db).lost, 0);
}
