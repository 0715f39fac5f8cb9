// The log server against the tool a user would pick instead: ten clients
// send the same records at full speed over TCP, to brindle-logd (storing
// queryable rows in SQLite) and to rsyslog (a TCP input writing lines to a
// file). Each run ends when the last record is stored; the rate is records
// per second of wall time. Then a pattern over a million stored records:
// the query command against grep over the same lines in a file.
#include "ChildProcess.h"
#include "TempDir.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int Clients = 10;
constexpr int RecordsPerClient = 20000;

int FreePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(s);
    return ntohs(a.sin_port);
}

int Dial(int port)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            return s;
        ::close(s);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

bool SendAll(int s, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(s, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string AppName(int client)
{
    return "bench-" + std::to_string(client);
}

std::string Text(int client, int record)
{
    return "client " + std::to_string(client) + " record " + std::to_string(record) + " payload of a typical line";
}

// The log server's wire: a reset, then "Log" messages in the message text form.
std::string LogdStream(int client)
{
    auto value = [](const std::string& id, const std::string& v) { return "\x1e" + id + "\x1f" + v; };
    std::string out = "\x01\x1dReset" + value("C", "0") + "\x02\x03";
    const std::string app = AppName(client);
    for (int i = 1; i <= RecordsPerClient; ++i)
        out += "\x01\x1dLog" + value("C", std::to_string(i)) + value("T", "1700000000") + value("S", "0") +
               value("X", "bench") + value("H", "benchhost") + value("A", app) + value("B", "0") + value("E", "0") +
               value("0", Text(client, i)) + "\x02\x03";
    return out;
}

// The syslog collector's wire: one line per record.
std::string SyslogStream(int client)
{
    std::string out;
    const std::string app = AppName(client);
    for (int i = 1; i <= RecordsPerClient; ++i)
        out += "<14>" + app + " - " + Text(client, i) + "\n";
    return out;
}

void Ship(int port, std::vector<std::string>& streams)
{
    std::vector<std::thread> threads;
    for (int c = 0; c < Clients; ++c) {
        threads.emplace_back([&, c] {
            const int s = Dial(port);
            if (s < 0)
                return;
            SendAll(s, streams[c]);
            // The run ends when the records are stored, not when the
            // server has seen the end of the connection.
            ::close(s);
        });
    }
    for (auto& t : threads)
        t.join();
}

long long StoredRows(const std::string& file)
{
    sqlite3* db = nullptr;
    long long rows = 0;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 1000);
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT MAX(id) FROM logd_records", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            rows = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return rows;
}

long long FileLines(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    long long lines = 0;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i)
            lines += buffer[i] == '\n';
    }
    return lines;
}

template <typename Done>
bool WaitFor(Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void Report(benchmark::State& state, double seconds)
{
    state.SetIterationTime(seconds);
    // Every run ships the same records: the rate is their count times the
    // runs over the time of all runs.
    state.counters["records_per_s"] = benchmark::Counter(static_cast<double>(Clients) * RecordsPerClient,
                                                         benchmark::Counter::kIsIterationInvariantRate);
}

void BM_BrindleLogdSqlite(benchmark::State& state)
{
    std::vector<std::string> streams;
    for (int c = 0; c < Clients; ++c)
        streams.push_back(LogdStream(c));
    for (auto _ : state) {
        testsupport::TempDir dir;
        const int port = FreePort();
        const std::string file = dir.str() + "/logd.db";
        testsupport::ChildProcess server(
            {BRINDLE_LOGD, "serve", "--port", std::to_string(port), "--file", file, "--port-file", dir.str() + "/p"});
        if (!server.ReadUntil([&] { return server.Stdout().find("listening") != std::string::npos; })) {
            state.SkipWithError("brindle-logd did not start");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        Ship(port, streams);
        if (!WaitFor([&] { return StoredRows(file) >= static_cast<long long>(Clients) * RecordsPerClient; })) {
            state.SkipWithError("not every record was stored");
            return;
        }
        Report(state, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        server.Signal(SIGTERM);
        server.Wait();
    }
}

void BM_RsyslogTcpToFile(benchmark::State& state)
{
    std::vector<std::string> streams;
    for (int c = 0; c < Clients; ++c)
        streams.push_back(SyslogStream(c));
    for (auto _ : state) {
        testsupport::TempDir dir;
        const int port = FreePort();
        const std::string out = dir.str() + "/out.log";
        std::ofstream(dir.str() + "/rsyslog.conf")
            << "global(workDirectory=\"" << dir.str() << "\")\n"
            << "module(load=\"imtcp\")\n"
            << "input(type=\"imtcp\" port=\"" << port << "\" address=\"127.0.0.1\")\n"
            << "template(name=\"raw\" type=\"string\" string=\"%rawmsg%\\n\")\n"
            << "*.* action(type=\"omfile\" file=\"" << out << "\" template=\"raw\")\n";
        testsupport::ChildProcess rsyslog(
            {"/usr/sbin/rsyslogd", "-n", "-f", dir.str() + "/rsyslog.conf", "-i", dir.str() + "/pid"});
        const int probe = Dial(port);
        if (probe < 0) {
            state.SkipWithError("rsyslog did not start");
            return;
        }
        ::close(probe);
        const auto start = std::chrono::steady_clock::now();
        Ship(port, streams);
        if (!WaitFor([&] { return FileLines(out) >= static_cast<long long>(Clients) * RecordsPerClient; })) {
            state.SkipWithError("rsyslog did not write every line");
            return;
        }
        Report(state, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        rsyslog.Signal(SIGTERM);
        rsyslog.Wait();
    }
}

// The server makes its tables, so rows made straight into them are the
// server's rows.
bool MakeTables(const std::string& db)
{
    const int port = FreePort();
    testsupport::ChildProcess server({BRINDLE_LOGD, "serve", "--port", std::to_string(port), "--file", db});
    if (!server.ReadUntil([&] { return server.Stdout().find("listening") != std::string::npos; }))
        return false;
    server.Signal(SIGTERM);
    server.Wait();
    return true;
}

// What the store itself takes in its plainest use: the same records, written
// by SQLite's own interface into the server's tables in transactions of the
// server's batch size, one row per step of one statement prepared once. The
// server's many-row statements can come near it through the ODBC driver; the
// rest of the gap is its parsing, sequencing and the driver.
void BM_SqliteAloneSameRecords(benchmark::State& state)
{
    constexpr int BatchRecords = 2000;
    for (auto _ : state) {
        testsupport::TempDir dir;
        const std::string file = dir.str() + "/logd.db";
        sqlite3* db = nullptr;
        if (!MakeTables(file) || sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
            state.SkipWithError("no tables");
            return;
        }
        sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO logd_records VALUES (?,?,?,?,?,?,?,?,?,?,?,?)", -1, &st, nullptr);
        const auto start = std::chrono::steady_clock::now();
        long long id = 0;
        bool stored = st != nullptr;
        for (int c = 0; c < Clients && stored; ++c) {
            const std::string app = AppName(c);
            for (int i = 1; i <= RecordsPerClient && stored; ++i) {
                if (id % BatchRecords == 0)
                    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
                const std::string text = Text(c, i);
                sqlite3_bind_int64(st, 1, ++id);
                sqlite3_bind_int64(st, 2, 1700000000000LL + id);
                sqlite3_bind_int64(st, 3, 1700000000);
                sqlite3_bind_int(st, 4, i);
                sqlite3_bind_int(st, 5, 0);
                sqlite3_bind_text(st, 6, "bench", -1, SQLITE_STATIC);
                sqlite3_bind_text(st, 7, "benchhost", -1, SQLITE_STATIC);
                sqlite3_bind_text(st, 8, app.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_int(st, 9, 0);
                sqlite3_bind_int(st, 10, 0);
                sqlite3_bind_text(st, 11, text.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(st, 12, "127.0.0.1:40000", -1, SQLITE_STATIC);
                stored = stored && sqlite3_step(st) == SQLITE_DONE;
                sqlite3_reset(st);
                if (id % BatchRecords == 0)
                    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
            }
        }
        if (id % BatchRecords != 0)
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_finalize(st);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        sqlite3_close(db);
        if (!stored) {
            state.SkipWithError("SQLite refused a record");
            return;
        }
        Report(state, seconds);
    }
}

// A million stored records, made straight into the server's tables, and the
// same lines in a file for grep.
constexpr int QueryRecords = 1000000;

struct QueryData {
    testsupport::TempDir dir;
    std::string db, lines;
    bool ok = false;
    QueryData() : db(dir.str() + "/logd.db"), lines(dir.str() + "/lines.log")
    {
        if (!MakeTables(db))
            return;
        sqlite3* handle = nullptr;
        if (sqlite3_open(db.c_str(), &handle) != SQLITE_OK)
            return;
        sqlite3_exec(handle, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(handle,
                           "INSERT INTO logd_records VALUES (?, 1700000000, ?, ?, 0, 'bench', 'benchhost', ?, 0, 0, "
                           "?, '127.0.0.1:1')",
                           -1, &st, nullptr);
        std::ofstream out(lines);
        for (int i = 1; i <= QueryRecords; ++i) {
            const int client = i % Clients;
            const std::string app = AppName(client);
            const std::string text = Text(client, i);
            sqlite3_bind_int64(st, 1, i);
            sqlite3_bind_int64(st, 2, 1700000000 + i);
            sqlite3_bind_int(st, 3, i % 999999 + 1);
            sqlite3_bind_text(st, 4, app.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 5, text.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(st);
            sqlite3_reset(st);
            out << "<14>" << app << " - " << text << "\n";
        }
        sqlite3_finalize(st);
        sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(handle);
        ok = true;
    }
};

QueryData& Data()
{
    static QueryData data;
    return data;
}

// The records whose text ends in 77 and has a 3 before: one in a few
// hundred.
const char* const Pattern = "record [0-9]*3[0-9]*77 payload";

long long CountLines(const std::string& text)
{
    long long n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

void BM_QueryPatternOverAMillion(benchmark::State& state)
{
    QueryData& data = Data();
    if (!data.ok) {
        state.SkipWithError("no data");
        return;
    }
    long long found = 0;
    for (auto _ : state) {
        testsupport::ChildProcess query({BRINDLE_LOGD, "query", "--file", data.db, "--format", "csv", "--match",
                                         Pattern});
        query.Wait(std::chrono::minutes(10));
        found = CountLines(query.Stdout()) - 1;
    }
    state.counters["found"] = static_cast<double>(found);
}

void BM_GrepPatternOverAMillion(benchmark::State& state)
{
    QueryData& data = Data();
    if (!data.ok) {
        state.SkipWithError("no data");
        return;
    }
    long long found = 0;
    for (auto _ : state) {
        testsupport::ChildProcess grep({"/usr/bin/grep", "-E", Pattern, data.lines});
        grep.Wait(std::chrono::minutes(10));
        found = CountLines(grep.Stdout());
    }
    state.counters["found"] = static_cast<double>(found);
}

} // namespace

BENCHMARK(BM_QueryPatternOverAMillion)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GrepPatternOverAMillion)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BrindleLogdSqlite)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RsyslogTcpToFile)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteAloneSameRecords)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
