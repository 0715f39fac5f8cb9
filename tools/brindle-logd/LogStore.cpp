#include "LogStore.h"

#include "Brindle/base/TextUtil.h"
#include "Brindle/odbc/OdbcValues.h"

#include <algorithm>
#include <iterator>
#include <string>

using namespace Brindle;

namespace logd {

namespace {

// In SQLite an INTEGER PRIMARY KEY is the row's own key, 64 bits wide: no
// second index to keep beside the table.
std::string RecordsTable(bool sqlite)
{
    return std::string("CREATE TABLE IF NOT EXISTS logd_records (id ") + (sqlite ? "INTEGER" : "BIGINT") +
           " PRIMARY KEY, received BIGINT NOT NULL, t BIGINT NOT NULL, counter INTEGER NOT NULL, "
           "severity INTEGER NOT NULL, source TEXT NOT NULL, host TEXT NOT NULL, application TEXT NOT NULL, "
           "batch INTEGER NOT NULL, lasterror INTEGER NOT NULL, text TEXT NOT NULL, peer TEXT NOT NULL)";
}

const char* const OtherTables[] = {
    "CREATE INDEX IF NOT EXISTS logd_records_t ON logd_records (t)",
    "CREATE TABLE IF NOT EXISTS logd_events (id BIGINT PRIMARY KEY, received BIGINT NOT NULL, "
    "kind TEXT NOT NULL, host TEXT NOT NULL, application TEXT NOT NULL, peer TEXT NOT NULL, "
    "expected INTEGER NOT NULL, got INTEGER NOT NULL, lost INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS logd_clients (client TEXT PRIMARY KEY, host TEXT NOT NULL, "
    "application TEXT NOT NULL, last_counter INTEGER NOT NULL, seen BIGINT NOT NULL)",
};

// Whatever a peer sent becomes the library's record text.
std::string Clean(const std::string& text)
{
    return ConvertCtrlCharsToText(text);
}

COdbcParams& Text(COdbcParams& params, const std::string& text)
{
    return params.Add(new COdbcVarChar(Clean(text)));
}

COdbcParams& Big(COdbcParams& params, long long value)
{
    return params.Add(new COdbcBigInt(static_cast<long>(value)));
}

COdbcParams& Int(COdbcParams& params, int value)
{
    return params.Add(new COdbcInt(value));
}

long long LongAt(const COdbcRow& row, std::size_t column)
{
    return row.at(column).IsNull() ? 0 : row.at(column)->GetLong();
}

std::string TextAt(const COdbcRow& row, std::size_t column)
{
    return row.at(column).IsNull() ? std::string() : row.at(column)->GetStdString();
}

// Rolls back unless the transaction was committed.
class CTransaction {
public:
    explicit CTransaction(COdbc& db) : m_db(db) { m_db.ExecuteNonQuery("BEGIN"); }
    ~CTransaction()
    {
        if (!m_done) {
            try {
                m_db.ExecuteNonQuery("ROLLBACK");
            } catch (...) {
                // the connection is gone; the driver dropped the transaction with it
            }
        }
    }
    void Commit()
    {
        m_db.ExecuteNonQuery("COMMIT");
        m_done = true;
    }

private:
    COdbc& m_db;
    bool m_done = false;
};

// The twelve values of one record, in the table's column order.
constexpr std::size_t RecordColumns = 12;
const char* const RecordList =
    "id, received, t, counter, severity, source, host, application, batch, lasterror, text, peer";

} // namespace

std::string ClientKey(const std::string& host, const std::string& application)
{
    return Clean(host) + '\x1f' + Clean(application);
}

void CLogStore::Open(const std::string& connection)
{
    m_db.DriverConnect(connection.c_str());
    m_sqlite = connection.rfind("DRIVER=SQLite3;", 0) == 0;
    if (m_sqlite) {
        // Readers (query, tail) never wait for the writer, nor it for them;
        // a commit still survives the process being killed.
        m_db.Execute("PRAGMA journal_mode=WAL");
        m_db.ExecuteNonQuery("PRAGMA synchronous=NORMAL");
        // The log is moved into the database file once about 40 MB of it
        // have gathered, not every 4 MB: each move waits for the disk, in
        // the writer's commit.
        m_db.ExecuteNonQuery("PRAGMA wal_autocheckpoint=10000");
    }
    m_db.ExecuteNonQuery(RecordsTable(m_sqlite).c_str());
    for (const char* sql : OtherTables)
        m_db.ExecuteNonQuery(sql);
    m_insertRows.assign(RowsPerInsert + 1, -1);
    m_rowValues.assign(RecordColumns * RowsPerInsert, CRefCountedPtr<COdbcValue>());
    m_rowParams.assign(RowsPerInsert + 1, CRefCountedPtr<COdbcParams>());
    m_insertEvent = m_db.Prepare("INSERT INTO logd_events (id, received, kind, host, application, peer, expected, "
                                 "got, lost) VALUES (?,?,?,?,?,?,?,?,?)");
    m_updateClient = m_db.Prepare("UPDATE logd_clients SET last_counter = ?, seen = ? WHERE client = ?");
    m_insertClient = m_db.Prepare(
        "INSERT INTO logd_clients (client, host, application, last_counter, seen) VALUES (?,?,?,?,?)");
    m_idsKnown = false;
    m_prepared.clear();
}

int CLogStore::InsertRows(int count)
{
    // A batch goes in as few, wide statements: RowsPerInsert rows at a time
    // and its rest in one statement of its width, each made once.
    int& statement = m_insertRows[static_cast<std::size_t>(count)];
    if (statement < 0) {
        // The SQLite driver keeps the compiled form only of statements that
        // read (it takes those to start with SELECT, PRAGMA or WITH) and
        // compiles any other again on every execution, which cost as much as
        // the insert itself. After a WITH clause the insert is compiled once.
        // Such a statement's row count is its (empty) result's, so only the
        // inserts, whose count nothing reads, are written this way.
        std::string sql = m_sqlite ? "WITH compiled_once AS (SELECT 1) " : "";
        sql += std::string("INSERT INTO logd_records (") + RecordList + ") VALUES ";
        for (int i = 0; i < count; ++i)
            sql += i == 0 ? "(?,?,?,?,?,?,?,?,?,?,?,?)" : ",(?,?,?,?,?,?,?,?,?,?,?,?)";
        statement = m_db.Prepare(sql.c_str());
    }
    return statement;
}

const CRefCountedPtr<COdbcParams>& CLogStore::RowParams(std::size_t count)
{
    // Called once the first count rows are set, so their values exist.
    CRefCountedPtr<COdbcParams>& params = m_rowParams[count];
    if (params.IsNull()) {
        params = new COdbcParams;
        params->assign(m_rowValues.begin(), m_rowValues.begin() + static_cast<std::ptrdiff_t>(count * RecordColumns));
    }
    return params;
}

void CLogStore::SetRecord(std::size_t row, const Record& r)
{
    // Each value is made the first time its place is used, then kept.
    std::size_t column = row * RecordColumns;
    auto place = [&](auto made) -> COdbcValue& {
        CRefCountedPtr<COdbcValue>& value = m_rowValues[column++];
        if (value.IsNull())
            value = made();
        return *value;
    };
    auto big = [&](long long v) { place([] { return new COdbcBigInt(0L); }).SetLong(static_cast<long>(v)); };
    auto number = [&](int v) { place([] { return new COdbcInt(0); }).SetInt(v); };
    auto text = [&](const std::string& raw) {
        ConvertCtrlCharsToText(raw, m_cleaned);
        place([] { return new COdbcVarChar(""); }).SetStdString(m_cleaned);
    };
    big(r.id);
    big(r.received);
    big(r.time);
    number(r.counter);
    number(r.severity);
    text(r.source);
    text(r.host);
    text(r.application);
    number(r.batch);
    number(r.lastError);
    text(r.text);
    text(r.peer);
}

int CLogStore::Prepared(const std::string& sql)
{
    // A polling tail asks the same few questions again and again.
    const auto found = m_prepared.find(sql);
    if (found != m_prepared.end())
        return found->second;
    const int statement = m_db.Prepare(sql.c_str());
    m_prepared[sql] = statement;
    return statement;
}

long long CLogStore::Scalar(const char* sql)
{
    const auto result = m_db.Execute(sql);
    if (result.IsNull() || result->empty())
        return 0;
    return LongAt(*(*result)[0], 0);
}

std::map<std::string, ClientCounter> CLogStore::LoadClients()
{
    std::map<std::string, ClientCounter> clients;
    const auto result = m_db.Execute("SELECT client, host, application, last_counter, seen FROM logd_clients");
    for (const auto& row : *result) {
        ClientCounter client;
        client.host = TextAt(*row, 1);
        client.application = TextAt(*row, 2);
        client.last = static_cast<int>(LongAt(*row, 3));
        client.seen = LongAt(*row, 4);
        clients[TextAt(*row, 0)] = client;
    }
    return clients;
}

void CLogStore::Write(Batch& batch)
{
    if (!m_idsKnown) {
        m_nextRecord = Scalar("SELECT MAX(id) FROM logd_records") + 1;
        m_nextEvent = Scalar("SELECT MAX(id) FROM logd_events") + 1;
        m_idsKnown = true;
    }
    long long nextRecord = m_nextRecord, nextEvent = m_nextEvent;
    CTransaction transaction(m_db);
    for (std::size_t first = 0; first < batch.records.size();) {
        const std::size_t count = std::min<std::size_t>(RowsPerInsert, batch.records.size() - first);
        for (std::size_t k = first; k < first + count; ++k) {
            Record& r = batch.records[k];
            r.id = nextRecord++;
            SetRecord(k - first, r);
        }
        m_db.ExecuteNonQuery(InsertRows(static_cast<int>(count)), RowParams(count));
        first += count;
    }
    for (Event& e : batch.events) {
        e.id = nextEvent++;
        CRefCountedPtr<COdbcParams> p(new COdbcParams);
        Big(*p, e.id);
        Big(*p, e.received);
        Text(*p, e.kind);
        Text(*p, e.host);
        Text(*p, e.application);
        Text(*p, e.peer);
        Int(*p, e.expected);
        Int(*p, e.got);
        Int(*p, e.lost);
        m_db.ExecuteNonQuery(m_insertEvent, p);
    }
    for (const auto& [key, client] : batch.clients) {
        CRefCountedPtr<COdbcParams> p(new COdbcParams);
        Int(*p, client.last);
        Big(*p, client.seen);
        p->Add(new COdbcVarChar(key));
        if (m_db.ExecuteNonQuery(m_updateClient, p) > 0)
            continue;
        CRefCountedPtr<COdbcParams> q(new COdbcParams);
        q->Add(new COdbcVarChar(key));
        Text(*q, client.host);
        Text(*q, client.application);
        Int(*q, client.last);
        Big(*q, client.seen);
        m_db.ExecuteNonQuery(m_insertClient, q);
    }
    transaction.Commit();
    m_nextRecord = nextRecord;
    m_nextEvent = nextEvent;
}

std::string CLogStore::Where(const Filter& filter, COdbcParams& p)
{
    std::string sql = " FROM logd_records WHERE 1=1";
    if (filter.afterId) {
        sql += " AND id > ?";
        Big(p, *filter.afterId);
    }
    if (filter.since) {
        sql += " AND t >= ?";
        Big(p, *filter.since);
    }
    if (filter.until) {
        sql += " AND t <= ?";
        Big(p, *filter.until);
    }
    if (filter.minSeverity) {
        sql += " AND severity >= ?";
        Int(p, *filter.minSeverity);
    }
    if (filter.maxSeverity) {
        sql += " AND severity <= ?";
        Int(p, *filter.maxSeverity);
    }
    if (filter.source) {
        sql += " AND source = ?";
        Text(p, *filter.source);
    }
    if (filter.application) {
        sql += " AND application = ?";
        Text(p, *filter.application);
    }
    if (filter.host) {
        sql += " AND host = ?";
        Text(p, *filter.host);
    }
    sql += " ORDER BY id";
    if (filter.limit > 0)
        sql += " LIMIT " + std::to_string(filter.limit);
    return sql;
}

std::vector<Record> CLogStore::Records(const std::string& from, const CRefCountedPtr<COdbcParams>& p)
{
    const auto result = m_db.Execute(Prepared("SELECT " + std::string(RecordList) + from), p);
    std::vector<Record> records;
    records.reserve(result->size());
    for (const auto& row : *result) {
        Record r;
        r.id = LongAt(*row, 0);
        r.received = LongAt(*row, 1);
        r.time = LongAt(*row, 2);
        r.counter = static_cast<int>(LongAt(*row, 3));
        r.severity = static_cast<int>(LongAt(*row, 4));
        r.source = TextAt(*row, 5);
        r.host = TextAt(*row, 6);
        r.application = TextAt(*row, 7);
        r.batch = static_cast<int>(LongAt(*row, 8));
        r.lastError = static_cast<int>(LongAt(*row, 9));
        r.text = TextAt(*row, 10);
        r.peer = TextAt(*row, 11);
        records.push_back(std::move(r));
    }
    return records;
}

std::vector<Record> CLogStore::Select(const Filter& filter)
{
    CRefCountedPtr<COdbcParams> p(new COdbcParams);
    const std::string from = Where(filter, *p);
    return Records(from, p);
}

std::vector<std::pair<long long, std::string>> CLogStore::SelectTexts(const Filter& filter)
{
    CRefCountedPtr<COdbcParams> p(new COdbcParams);
    const auto result = m_db.Execute(Prepared("SELECT id, text" + Where(filter, *p)), p);
    std::vector<std::pair<long long, std::string>> texts;
    texts.reserve(result->size());
    for (const auto& row : *result)
        texts.emplace_back(LongAt(*row, 0), TextAt(*row, 1));
    return texts;
}

std::vector<Record> CLogStore::SelectIds(const std::vector<long long>& ids)
{
    // One statement of a fixed width, the last id repeated to fill it, so
    // one prepared statement serves any number of matches.
    static const std::string from = [] {
        std::string sql = " FROM logd_records WHERE id IN (?";
        for (std::size_t i = 1; i < IdsPerSelect; ++i)
            sql += ",?";
        return sql + ") ORDER BY id";
    }();
    std::vector<Record> records;
    for (std::size_t first = 0; first < ids.size(); first += IdsPerSelect) {
        CRefCountedPtr<COdbcParams> p(new COdbcParams);
        const std::size_t end = std::min(ids.size(), first + IdsPerSelect);
        for (std::size_t i = 0; i < IdsPerSelect; ++i)
            Big(*p, ids[std::min(first + i, end - 1)]);
        auto some = Records(from, p);
        std::move(some.begin(), some.end(), std::back_inserter(records));
    }
    return records;
}

std::vector<Event> CLogStore::Events(long long afterId)
{
    CRefCountedPtr<COdbcParams> p(new COdbcParams);
    Big(*p, afterId);
    const auto result = m_db.Execute(
        Prepared("SELECT id, received, kind, host, application, peer, expected, got, lost FROM logd_events "
                 "WHERE id > ? ORDER BY id"),
        p);
    std::vector<Event> events;
    for (const auto& row : *result) {
        Event e;
        e.id = LongAt(*row, 0);
        e.received = LongAt(*row, 1);
        e.kind = TextAt(*row, 2);
        e.host = TextAt(*row, 3);
        e.application = TextAt(*row, 4);
        e.peer = TextAt(*row, 5);
        e.expected = static_cast<int>(LongAt(*row, 6));
        e.got = static_cast<int>(LongAt(*row, 7));
        e.lost = static_cast<int>(LongAt(*row, 8));
        events.push_back(std::move(e));
    }
    return events;
}

Totals CLogStore::GetTotals()
{
    Totals t;
    t.records = Scalar("SELECT COUNT(*) FROM logd_records");
    t.lastId = Scalar("SELECT MAX(id) FROM logd_records");
    t.gaps = Scalar("SELECT COUNT(*) FROM logd_events WHERE kind = 'gap'");
    t.lost = Scalar("SELECT SUM(lost) FROM logd_events WHERE kind = 'gap'");
    t.resets = Scalar("SELECT COUNT(*) FROM logd_events WHERE kind = 'reset'");
    t.clients = Scalar("SELECT COUNT(*) FROM logd_clients");
    return t;
}

} // namespace logd
