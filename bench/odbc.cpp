// Rows fetched and prepared inserts per second through COdbc, side by side
// with a raw unixODBC bound-column loop on the same driver (the cost the
// layer adds), and with sqlite3 and libpq called directly (what a caller
// could use instead of ODBC). One table of 10,000 rows (integer, varchar,
// double, integer, timestamp) on each database; inserts run in batches of
// 1,000 inside a transaction, so the disk's flush does not hide the rest.
// Every fetch keeps all rows in memory: COdbc as its result set, the peers
// as a vector of typed rows.
//
// PostgreSQL runs need the server of scripts/pgtest.sh:
//   scripts/pgtest.sh build/bench/bench_odbc
#include "Brindle/odbc/Odbc.h"
#include "Brindle/odbc/OdbcDateTime.h"
#include "Brindle/odbc/OdbcValues.h"

#include "PostgresTestServer.h"
#include "TempDir.h"

#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <cstdio>
#include <malloc.h>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 10000;
constexpr int kBatch = 1000;

struct Row {
    int k = 0;
    std::string name;
    double price = 0;
    int qty = 0;
    ::TIMESTAMP_STRUCT ts{};
};

// The two databases, each with the table filled once.
struct Databases {
    testsupport::TempDir dir;
    std::string sqliteFile = (dir.path() / "bench.db").string();
    std::string sqlite = "DRIVER=SQLite3;Database=" + sqliteFile + ";";
    std::string postgres = testsupport::PostgresOdbcConnection();

    Databases()
    {
        Fill(sqlite);
        if (!postgres.empty())
            Fill(postgres);
    }
    static void Fill(const std::string& connection)
    {
        Brindle::COdbc db;
        db.DriverConnect(connection.c_str());
        db.ExecuteNonQuery("DROP TABLE IF EXISTS bench_rows");
        db.ExecuteNonQuery("DROP TABLE IF EXISTS bench_insert");
        db.ExecuteNonQuery("CREATE TABLE bench_rows (k integer, name varchar(40), price double precision, "
                           "qty integer, ts timestamp)");
        db.ExecuteNonQuery("CREATE TABLE bench_insert (k integer, name varchar(40), price double precision, "
                           "qty integer, ts timestamp)");
        db.ExecuteNonQuery("BEGIN");
        const int insert = db.Prepare("INSERT INTO bench_rows VALUES (?, ?, ?, ?, ?)");
        for (int i = 0; i < kRows; ++i) {
            Brindle::CRefCountedPtr<Brindle::COdbcParams> p(new Brindle::COdbcParams());
            p->Add(new Brindle::COdbcInt(i)).Add(new Brindle::COdbcVarChar("instrument " + std::to_string(i)));
            p->Add(new Brindle::COdbcDouble(100.0 + i / 8.0)).Add(new Brindle::COdbcInt(i % 500));
            p->Add(new Brindle::COdbcDateTime(1151751600L + i));
            db.ExecuteNonQuery(insert, p);
        }
        db.ExecuteNonQuery("COMMIT");
    }
    const std::string& Connection(bool pg) const { return pg ? postgres : sqlite; }
};

Databases& Shared()
{
    static Databases databases;
    return databases;
}

bool SkipWithoutServer(benchmark::State& state, bool pg)
{
    if (pg && Shared().postgres.empty()) {
        state.SkipWithError("PostgreSQL not set up: run through scripts/pgtest.sh");
        return true;
    }
    return false;
}

const char* const kSelect = "SELECT k, name, price, qty, ts FROM bench_rows";

// ---- fetching -------------------------------------------------------------------

void Fetch_COdbc(benchmark::State& state, bool pg)
{
    if (SkipWithoutServer(state, pg))
        return;
    Brindle::COdbc db;
    db.DriverConnect(Shared().Connection(pg).c_str());
    for (auto _ : state) {
        auto result = db.Execute(kSelect);
        if (result->size() != kRows)
            state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

struct RawConnection {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    explicit RawConnection(const std::string& connection)
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connection.c_str(), SQL_NTS, nullptr, 0, nullptr,
                         SQL_DRIVER_NOPROMPT);
    }
    ~RawConnection()
    {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
};

void Fetch_RawOdbc(benchmark::State& state, bool pg)
{
    if (SkipWithoutServer(state, pg))
        return;
    RawConnection c(Shared().Connection(pg));
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &st);
    for (auto _ : state) {
        std::vector<Row> rows;
        SQLExecDirect(st, (SQLCHAR*)kSelect, SQL_NTS);
        SQLINTEGER k, qty;
        char name[41 * 4];
        double price;
        ::TIMESTAMP_STRUCT ts;
        SQLLEN ind[5];
        SQLBindCol(st, 1, SQL_C_SLONG, &k, 0, &ind[0]);
        SQLBindCol(st, 2, SQL_C_CHAR, name, sizeof name, &ind[1]);
        SQLBindCol(st, 3, SQL_C_DOUBLE, &price, 0, &ind[2]);
        SQLBindCol(st, 4, SQL_C_SLONG, &qty, 0, &ind[3]);
        SQLBindCol(st, 5, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &ind[4]);
        while (SQL_SUCCEEDED(SQLFetch(st)))
            rows.push_back(Row{k, std::string(name, static_cast<std::size_t>(ind[1])), price, qty, ts});
        SQLFreeStmt(st, SQL_CLOSE);
        SQLFreeStmt(st, SQL_UNBIND);
        if (rows.size() != kRows)
            state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(rows);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    state.SetItemsProcessed(state.iterations() * kRows);
}

void Fetch_Sqlite3(benchmark::State& state)
{
    sqlite3* db = nullptr;
    sqlite3_open(Shared().sqliteFile.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, kSelect, -1, &st, nullptr);
    for (auto _ : state) {
        std::vector<Row> rows;
        while (sqlite3_step(st) == SQLITE_ROW) {
            Row row;
            row.k = sqlite3_column_int(st, 0);
            row.name.assign(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)),
                            static_cast<std::size_t>(sqlite3_column_bytes(st, 1)));
            row.price = sqlite3_column_double(st, 2);
            row.qty = sqlite3_column_int(st, 3);
            // The timestamp is stored as text; read its fields as the driver must.
            const char* ts = reinterpret_cast<const char*>(sqlite3_column_text(st, 4));
            int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
            std::sscanf(ts, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
            row.ts = ::TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo),
                                        static_cast<SQLUSMALLINT>(d), static_cast<SQLUSMALLINT>(h),
                                        static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(s), 0};
            rows.push_back(std::move(row));
        }
        sqlite3_reset(st);
        if (rows.size() != kRows)
            state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(rows);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * kRows);
}

void Fetch_Libpq(benchmark::State& state)
{
    if (SkipWithoutServer(state, true))
        return;
    PGconn* conn = PQconnectdb(testsupport::PostgresConninfo().c_str());
    for (auto _ : state) {
        std::vector<Row> rows;
        PGresult* result = PQexec(conn, kSelect);
        const int n = PQntuples(result);
        for (int i = 0; i < n; ++i) {
            Row row;
            row.k = std::atoi(PQgetvalue(result, i, 0));
            row.name.assign(PQgetvalue(result, i, 1), static_cast<std::size_t>(PQgetlength(result, i, 1)));
            row.price = std::strtod(PQgetvalue(result, i, 2), nullptr);
            row.qty = std::atoi(PQgetvalue(result, i, 3));
            int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
            std::sscanf(PQgetvalue(result, i, 4), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
            row.ts = ::TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo),
                                        static_cast<SQLUSMALLINT>(d), static_cast<SQLUSMALLINT>(h),
                                        static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(s), 0};
            rows.push_back(std::move(row));
        }
        PQclear(result);
        if (rows.size() != kRows)
            state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(rows);
    }
    PQfinish(conn);
    state.SetItemsProcessed(state.iterations() * kRows);
}

// ---- prepared inserts -----------------------------------------------------------

const char* const kInsert = "INSERT INTO bench_insert VALUES (?, ?, ?, ?, ?)";

void Insert_COdbc(benchmark::State& state, bool pg)
{
    if (SkipWithoutServer(state, pg))
        return;
    Brindle::COdbc db;
    db.DriverConnect(Shared().Connection(pg).c_str());
    const int insert = db.Prepare(kInsert);
    int k = 0;
    for (auto _ : state) {
        db.ExecuteNonQuery("BEGIN");
        for (int i = 0; i < kBatch; ++i, ++k) {
            Brindle::CRefCountedPtr<Brindle::COdbcParams> p(new Brindle::COdbcParams());
            p->Add(new Brindle::COdbcInt(k)).Add(new Brindle::COdbcVarChar("instrument"));
            p->Add(new Brindle::COdbcDouble(k / 8.0)).Add(new Brindle::COdbcInt(k % 500));
            p->Add(new Brindle::COdbcDateTime(1151751600L + k));
            db.ExecuteNonQuery(insert, p);
        }
        db.ExecuteNonQuery("COMMIT");
    }
    db.ExecuteNonQuery("DELETE FROM bench_insert");
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void Insert_RawOdbc(benchmark::State& state, bool pg)
{
    if (SkipWithoutServer(state, pg))
        return;
    RawConnection c(Shared().Connection(pg));
    SQLHSTMT st, tx;
    SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &st);
    SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &tx);
    SQLPrepare(st, (SQLCHAR*)kInsert, SQL_NTS);
    SQLINTEGER k = 0, qty = 0;
    char name[] = "instrument";
    double price = 0;
    char ts[40];
    SQLLEN nts = SQL_NTS, fixed = 0;
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, &k, 0, &fixed);
    SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, name, sizeof name, &nts);
    SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, &price, 0, &fixed);
    SQLBindParameter(st, 4, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, &qty, 0, &fixed);
    SQLBindParameter(st, 5, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_CHAR, 19, 0, ts, sizeof ts, &nts);
    for (auto _ : state) {
        SQLExecDirect(tx, (SQLCHAR*)"BEGIN", SQL_NTS);
        SQLFreeStmt(tx, SQL_CLOSE);
        for (int i = 0; i < kBatch; ++i, ++k) {
            price = k / 8.0;
            qty = k % 500;
            const std::string text = Brindle::COdbcDateTime(1151751600L + k).GetStdString();
            std::memcpy(ts, text.c_str(), text.size() + 1);
            SQLExecute(st);
            SQLFreeStmt(st, SQL_CLOSE);
        }
        SQLExecDirect(tx, (SQLCHAR*)"COMMIT", SQL_NTS);
        SQLFreeStmt(tx, SQL_CLOSE);
    }
    SQLExecDirect(tx, (SQLCHAR*)"DELETE FROM bench_insert", SQL_NTS);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    SQLFreeHandle(SQL_HANDLE_STMT, tx);
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void Insert_Sqlite3(benchmark::State& state)
{
    sqlite3* db = nullptr;
    sqlite3_open(Shared().sqliteFile.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, kInsert, -1, &st, nullptr);
    int k = 0;
    for (auto _ : state) {
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        for (int i = 0; i < kBatch; ++i, ++k) {
            const std::string ts = Brindle::COdbcDateTime(1151751600L + k).GetStdString();
            sqlite3_bind_int(st, 1, k);
            sqlite3_bind_text(st, 2, "instrument", -1, SQLITE_STATIC);
            sqlite3_bind_double(st, 3, k / 8.0);
            sqlite3_bind_int(st, 4, k % 500);
            sqlite3_bind_text(st, 5, ts.c_str(), static_cast<int>(ts.size()), SQLITE_TRANSIENT);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_exec(db, "DELETE FROM bench_insert", nullptr, nullptr, nullptr);
    sqlite3_finalize(st);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void Insert_Libpq(benchmark::State& state)
{
    if (SkipWithoutServer(state, true))
        return;
    PGconn* conn = PQconnectdb(testsupport::PostgresConninfo().c_str());
    PQclear(PQprepare(conn, "ins", "INSERT INTO bench_insert VALUES ($1, $2, $3, $4, $5)", 5, nullptr));
    int k = 0;
    for (auto _ : state) {
        PQclear(PQexec(conn, "BEGIN"));
        for (int i = 0; i < kBatch; ++i, ++k) {
            const std::string key = std::to_string(k), price = std::to_string(k / 8.0),
                              qty = std::to_string(k % 500),
                              ts = Brindle::COdbcDateTime(1151751600L + k).GetStdString();
            const char* values[5] = {key.c_str(), "instrument", price.c_str(), qty.c_str(), ts.c_str()};
            PQclear(PQexecPrepared(conn, "ins", 5, values, nullptr, nullptr, 0));
        }
        PQclear(PQexec(conn, "COMMIT"));
    }
    PQclear(PQexec(conn, "DELETE FROM bench_insert"));
    PQfinish(conn);
    state.SetItemsProcessed(state.iterations() * kBatch);
}

} // namespace

int main(int argc, char** argv)
{
    // One allocator regime for every run: glibc otherwise moves its mmap and
    // trim thresholds as earlier runs free memory, and a run's speed would
    // depend on the runs before it (big row vectors mapped and faulted in
    // afresh, or not).
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    for (bool pg : {false, true}) {
        const std::string driver = pg ? "PostgreSQL" : "SQLite3";
        benchmark::RegisterBenchmark(("Fetch/COdbc/" + driver).c_str(), Fetch_COdbc, pg)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Fetch/RawOdbc/" + driver).c_str(), Fetch_RawOdbc, pg)->Unit(benchmark::kMillisecond);
        if (pg)
            benchmark::RegisterBenchmark("Fetch/libpq/PostgreSQL", Fetch_Libpq)->Unit(benchmark::kMillisecond);
        else
            benchmark::RegisterBenchmark("Fetch/sqlite3/SQLite3", Fetch_Sqlite3)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Insert/COdbc/" + driver).c_str(), Insert_COdbc, pg)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Insert/RawOdbc/" + driver).c_str(), Insert_RawOdbc, pg)->Unit(benchmark::kMillisecond);
        if (pg)
            benchmark::RegisterBenchmark("Insert/libpq/PostgreSQL", Insert_Libpq)->Unit(benchmark::kMillisecond);
        else
            benchmark::RegisterBenchmark("Insert/sqlite3/SQLite3", Insert_Sqlite3)->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
