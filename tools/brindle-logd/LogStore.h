// CLogStore: the log server's database, reached through ODBC: the stored
// records, the events of the clients' counters (resets and gaps) and each
// client's last counter, so that a restarted server goes on counting where
// the database left off.
//
// Contract
// - Open connects with an ODBC connection text and creates the three tables
//   when they are missing (portable SQL: SQLite and PostgreSQL alike). Ids
//   are given by the store itself, one above the highest stored.
// - Write stores one batch in one transaction: every record, event and
//   client counter of the batch, or (on any failure) none of them; a failed
//   batch throws COdbcException after the rollback and may be written again.
// - Every text is stored as the library's record text: control bytes named
//   ("<CR>" ...), bytes 128-255 dropped, so no peer's bytes can make a batch
//   fail on a database that checks its encoding.
// - Select runs a query with the filters as bound parameters (never pasted
//   into the SQL); the text pattern is applied by the caller. SelectTexts
//   gives only the id and text of the same records, so a pattern is matched
//   without reading whole rows; SelectIds then reads the records matched.
//
// Thread-safety: none; one thread uses a store at a time (the server's
// writer thread, or the query and tail commands).
#pragma once

#include "Brindle/odbc/Odbc.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace logd {

struct Record {
    long long id = 0;
    long long received = 0; // seconds since 1970, when the server took it
    long long time = 0;     // the client's timestamp ("T")
    int counter = 0;
    int severity = 0;
    std::string source;
    std::string host;
    std::string application;
    int batch = 0;
    int lastError = 0;
    std::string text;
    std::string peer; // address:port of the connection it came on
};

// A reset (kind "reset") or a gap (kind "gap": `lost` records between
// `expected` and `got` never arrived).
struct Event {
    long long id = 0;
    long long received = 0;
    std::string kind;
    std::string host;
    std::string application;
    std::string peer;
    int expected = 0;
    int got = 0;
    int lost = 0;
};

struct ClientCounter {
    std::string host;
    std::string application;
    int last = 0;
    long long seen = 0;
};

struct Batch {
    std::vector<Record> records;
    std::vector<Event> events;
    // By client key (ClientKey).
    std::map<std::string, ClientCounter> clients;
    bool empty() const { return records.empty() && events.empty() && clients.empty(); }
};

struct Filter {
    std::optional<long long> since, until; // client timestamp, inclusive
    std::optional<int> minSeverity, maxSeverity;
    std::optional<std::string> source, application, host;
    std::optional<long long> afterId; // only records with a higher id
    long long limit = 0;              // 0: no limit
};

struct Totals {
    long long records = 0;
    long long gaps = 0; // gap events
    long long lost = 0; // records reported lost
    long long resets = 0;
    long long clients = 0;
    long long lastId = 0;
};

// The key a client's counter is kept under.
std::string ClientKey(const std::string& host, const std::string& application);

class CLogStore {
public:
    // Records stored by one statement (twelve parameters each).
    static constexpr int RowsPerInsert = 40;

    CLogStore() = default;
    CLogStore(const CLogStore&) = delete;
    CLogStore& operator=(const CLogStore&) = delete;

    // Throws COdbcException (or CException) when it cannot connect or
    // create the tables.
    void Open(const std::string& connection);
    bool IsOpen() const { return m_db.IsOpen(); }
    void Close() { m_db.Close(); }

    // Every client's last counter, by client key.
    std::map<std::string, ClientCounter> LoadClients();
    // Gives ids to the batch's records and events and stores it.
    void Write(Batch& batch);

    std::vector<Record> Select(const Filter& filter);
    std::vector<std::pair<long long, std::string>> SelectTexts(const Filter& filter);
    // The records with these ids that exist, in id order.
    std::vector<Record> SelectIds(const std::vector<long long>& ids);
    std::vector<Event> Events(long long afterId);
    Totals GetTotals();

private:
    // Ids one statement of SelectIds asks for.
    static constexpr std::size_t IdsPerSelect = 64;

    long long Scalar(const char* sql);
    // The filter's " FROM ... WHERE ... ORDER BY id [LIMIT n]", its values added to `p`.
    static std::string Where(const Filter& filter, Brindle::COdbcParams& p);
    std::vector<Record> Records(const std::string& from, const Brindle::CRefCountedPtr<Brindle::COdbcParams>& p);
    int Prepared(const std::string& sql);
    int InsertRows(int count);
    const Brindle::CRefCountedPtr<Brindle::COdbcParams>& RowParams(std::size_t count);
    void SetRecord(std::size_t row, const Record& record);

    Brindle::COdbc m_db;
    // Statements inserting 1..RowsPerInsert records, made when first used.
    std::vector<int> m_insertRows;
    // The values of RowsPerInsert records, made when first set and filled
    // again for each statement, so a stored record allocates nothing of its
    // own; and for each width the parameter list over the first rows of them.
    std::vector<Brindle::CRefCountedPtr<Brindle::COdbcValue>> m_rowValues;
    std::vector<Brindle::CRefCountedPtr<Brindle::COdbcParams>> m_rowParams;
    std::string m_cleaned;
    int m_insertEvent = -1, m_updateClient = -1, m_insertClient = -1;
    long long m_nextRecord = 1, m_nextEvent = 1;
    bool m_idsKnown = false;
    bool m_sqlite = false; // the embedded SQLite store, through its driver
    std::map<std::string, int> m_prepared;
};

} // namespace logd
