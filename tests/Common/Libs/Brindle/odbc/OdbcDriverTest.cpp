// Queries and updates through both drivers: typed values in and out,
// prepared statements, texts stored as data, scalars, printing and lookup.
#include "OdbcTestSupport.h"

#include "Brindle/odbc/OdbcDateTime.h"
#include "Brindle/odbc/OdbcValues.h"

#include "LocaleZone.h"

#include <climits>
#include <sstream>

using namespace Brindle;
using odbctest::Args;
using odbctest::OdbcDriverTest;

namespace {

class OdbcTypes : public OdbcDriverTest {};
ODBC_ON_BOTH_DRIVERS(OdbcTypes);

TEST_P(OdbcTypes, EveryTypeRoundTripsThroughPreparedParameters)
{
    testsupport::ScopedTimeZone zone("UTC");
    Exec("CREATE TABLE typed (k integer, i integer, b bigint, s smallint, v varchar(50), t text, d double precision, "
         "r real, n numeric(12,3), f boolean, ts timestamp, dt date)");
    const int insert = m_db.Prepare("INSERT INTO typed VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    const std::string utf8 = "h\xE2\x82\xAC" "llo w\xC3\xB6rld \xE6\x97\xA5\xE6\x9C\xAC"; // h€llo wörld 日本
    std::string longText;
    for (int i = 0; longText.size() < 100000; ++i)
        longText += i % 7 == 0 ? std::string("\xE2\x82\xAC") : std::string(1, static_cast<char>('a' + i % 26));
    longText.resize(100000 - 100000 % 3);

    auto row = Args(new COdbcInt(1), new COdbcInt(INT_MIN), new COdbcBigInt(LONG_MAX), new COdbcSmallInt(-32768),
                    new COdbcVarChar(utf8), new COdbcVarChar(longText), new COdbcDouble(-1.25e-300),
                    new COdbcReal(1.5f), new COdbcNumeric("-123456789.125"), new COdbcBit(true),
                    new COdbcDateTime("2006-03-07 10:11:12.123"), new COdbcDateTime("2006-3-7"));
    EXPECT_EQ(m_db.ExecuteNonQuery(insert, row), 1);

    // The same statement again with NULLs: every column but the key, and
    // every column after the 64-bit one.
    auto withNulls = [](int key, COdbcValue* i, COdbcValue* b) {
        const char* const none = nullptr;
        return Args(new COdbcInt(key), i, b, new COdbcSmallInt(), new COdbcVarChar(none), new COdbcVarChar(none),
                    new COdbcDouble(), new COdbcReal(), new COdbcNumeric(), new COdbcBit(), new COdbcDateTime(),
                    new COdbcDateTime());
    };
    EXPECT_EQ(m_db.ExecuteNonQuery(insert, withNulls(2, new COdbcInt(), new COdbcBigInt())), 1);
    EXPECT_EQ(m_db.ExecuteNonQuery(insert, withNulls(3, new COdbcInt(0), new COdbcBigInt(LONG_MIN + 1))), 1);

    auto result = Query("SELECT k, i, b, s, v, t, d, r, n, f, ts, dt FROM typed ORDER BY k");
    ASSERT_EQ(result->size(), 3u);
    ASSERT_EQ(result->GetColumns().size(), 12u);
    EXPECT_EQ(result->GetColumns()[1].get_name(), "i");
    EXPECT_EQ(result->GetColumns()[2].get_type(), -5);
    const COdbcRow& full = *(*result)[0];
    EXPECT_EQ(full.GetInt(1), INT_MIN);
    EXPECT_EQ(full.GetLong(2), LONG_MAX);
    EXPECT_EQ(full.GetString(2), "9223372036854775807");
    EXPECT_EQ(full.GetInt(3), -32768);
    EXPECT_EQ(full.GetString(4), utf8);
    EXPECT_EQ(full.GetString(5), longText);
    EXPECT_DOUBLE_EQ(full.GetDouble(6), -1.25e-300);
    EXPECT_DOUBLE_EQ(full.GetDouble(7), 1.5);
    EXPECT_DOUBLE_EQ(full.GetDouble(8), -123456789.125);
    EXPECT_TRUE(full[9]->GetBool());
    EXPECT_EQ(full.GetString(10), "2006-03-07 10:11:12.123");
    EXPECT_EQ(full[10]->GetTimestamp().fraction, 123000000u);
    EXPECT_EQ(full.GetString(11), "2006-3-7");
    EXPECT_EQ(full.GetLong(11), 1141689600L); // midnight UTC

    const COdbcRow& empty = *(*result)[1];
    for (int c = 1; c < 12; ++c) {
        SCOPED_TRACE(c);
        EXPECT_TRUE(empty.IsNull(c));
        EXPECT_EQ(empty.GetString(c), "");
        EXPECT_EQ(empty.GetLong(c), 0);
        EXPECT_FALSE(empty[c]->GetBool());
    }
    EXPECT_EQ((*result)[2]->GetLong(2), LONG_MIN + 1);
}

TEST_P(OdbcTypes, TextsAreNeverCutWhateverTheColumnDeclares)
{
    // Twelve four-byte characters fill a varchar(12); SQLite keeps any
    // length in a column, so a longer text must come back whole there too.
    std::string emoji;
    for (int i = 0; i < 12; ++i)
        emoji += "\xF0\x9F\x98\x80";
    Exec("CREATE TABLE narrow (k integer, v varchar(12), c char(3), w varchar(1000))");
    const int insert = m_db.Prepare("INSERT INTO narrow (k, v, c) VALUES (?, ?, ?)");
    const char* const umlauts = "\xC3\xA4\xC3\xB6\xC3\xBC";
    m_db.ExecuteNonQuery(insert, Args(new COdbcInt(1), new COdbcVarChar(emoji), new COdbcChar(umlauts)));
    const std::string longer(5000, 'q');
    if (!IsPostgres())
        m_db.ExecuteNonQuery(insert, Args(new COdbcInt(2), new COdbcVarChar(longer), new COdbcChar("x")));
    Exec("UPDATE narrow SET w = 'short'");
    auto result = Query("SELECT v, c, w FROM narrow ORDER BY k");
    EXPECT_EQ((*result)[0]->GetString(0), emoji);
    // A wide column's short cell keeps only the room it needs.
    EXPECT_EQ((*result)[0]->GetString(2), "short");
    EXPECT_LT(dynamic_cast<const COdbcText&>(*(*(*result)[0])[2]).GetCapacity(), 64u);
    EXPECT_EQ((*result)[0]->GetString(1), umlauts);
    if (!IsPostgres()) {
        EXPECT_EQ((*result)[1]->GetString(0), longer);
        EXPECT_TRUE(result->SuccessWithInfo()); // the driver did report the cut
    }
}

TEST_P(OdbcTypes, UnknownTypesGiveNullCellsAndTheRowKeepsItsShape)
{
    Exec(std::string("CREATE TABLE odd (a integer, blobby ") + BinaryType() + ", z integer)");
    Exec(IsPostgres() ? "INSERT INTO odd VALUES (1, '\\x0102', 3)" : "INSERT INTO odd VALUES (1, x'0102', 3)");
    auto result = Query("SELECT a, blobby, z FROM odd");
    ASSERT_EQ(result->size(), 1u);
    const COdbcRow& row = *(*result)[0];
    ASSERT_EQ(row.size(), 3u);
    EXPECT_TRUE(row.IsNull(1));
    EXPECT_EQ(row.GetInt(2), 3);
    EXPECT_STREQ(COdbcValue::GetTypeString(result->GetColumns()[1].get_type()), "[bad type]");
}

// The session table of the log server: integer, varchar(50) and timestamp
// columns, times kept as seconds since 1970.
TEST_P(OdbcTypes, SessionRowsKeepTheirTimesAsSeconds)
{
    testsupport::ScopedTimeZone zone("Europe/London");
    Exec("CREATE TABLE Sessions (SessionId integer, Username varchar(50), SessionStart timestamp, "
         "SessionEnd timestamp, LastHeartbeat timestamp, Source integer)");
    const int insert = m_db.Prepare("INSERT INTO Sessions VALUES (?, ?, ?, ?, ?, ?)");
    const long start = 1151751600; // 2006-07-01 12:00 in London (summer time)
    EXPECT_EQ(m_db.ExecuteNonQuery(insert, Args(new COdbcInt(17), new COdbcVarChar("desk7"), new COdbcDateTime(start),
                                                 new COdbcDateTime(), new COdbcDateTime(start + 3600 * 24 * 180),
                                                 new COdbcInt(2))),
              1);

    const int beat = m_db.Prepare("UPDATE Sessions SET LastHeartbeat = ? WHERE SessionId = ?");
    EXPECT_EQ(m_db.ExecuteNonQuery(beat, Args(new COdbcDateTime(start + 61), new COdbcInt(17))), 1);
    EXPECT_EQ(m_db.ExecuteNonQuery(beat, Args(new COdbcDateTime(start), new COdbcInt(99))), 0);

    auto result = Query("SELECT SessionId, Username, SessionStart, SessionEnd, LastHeartbeat FROM Sessions");
    ASSERT_EQ(result->size(), 1u);
    const COdbcRow& row = *(*result)[0];
    EXPECT_EQ(row.GetInt(0), 17);
    EXPECT_EQ(row.GetString(1), "desk7");
    EXPECT_EQ(row.GetLong(2), start);
    EXPECT_EQ(row.GetString(2), "2006-07-01 12:00:00");
    EXPECT_TRUE(row.IsNull(3));
    EXPECT_EQ(row.GetLong(3), 0);
    EXPECT_EQ(row.GetLong(4), start + 61);
}

class OdbcPrepared : public OdbcDriverTest {};
ODBC_ON_BOTH_DRIVERS(OdbcPrepared);

TEST_P(OdbcPrepared, OneStatementRunsAThousandTimesAndQueriesRepeat)
{
    Exec("CREATE TABLE many (k integer, name varchar(20))");
    const int insert = m_db.Prepare("INSERT INTO many (k, name) VALUES (?, ?)");
    const int lookup = m_db.Prepare("SELECT name FROM many WHERE k = ?");
    const int count = m_db.Prepare("SELECT count(*) FROM many WHERE k < ?");
    for (int i = 0; i < 1000; ++i) {
        // Fresh parameters each time; the last ones are gone before the next
        // execute, so a statement still bound to them would read freed memory.
        ASSERT_EQ(m_db.ExecuteNonQuery(insert, Args(new COdbcInt(i), new COdbcVarChar("n" + std::to_string(i)))), 1);
    }
    for (int i : {0, 999, 500, 500}) {
        auto result = m_db.Execute(lookup, Args(new COdbcInt(i)));
        ASSERT_EQ(result->size(), 1u);
        EXPECT_EQ((*result)[0]->GetString(0), "n" + std::to_string(i));
    }
    auto below = Args(new COdbcInt(250));
    EXPECT_EQ(m_db.ExecuteScalar(count, below, -1), 250);
    EXPECT_EQ(m_db.ExecuteScalar(count, below, -1), 250);
    EXPECT_EQ(m_db.ExecuteScalar("SELECT sum(k) FROM many", -1), 999 * 1000 / 2);
    EXPECT_EQ(m_db.GetPreparedCount(), 3);
    EXPECT_THROW(m_db.Execute(3, below), std::out_of_range);
    EXPECT_THROW(m_db.ExecuteNonQuery(-1, below), std::out_of_range);
}

TEST_P(OdbcPrepared, TextsThatLookLikeSqlAreStoredAsData)
{
    Exec("CREATE TABLE people (k integer, name varchar(200))");
    const char* attempts[] = {
        "Robert'); DROP TABLE people; --",
        "' OR '1'='1",
        "\" OR 1=1 --",
        "x'; DELETE FROM people WHERE 'a'='a",
        "back\\slash\\'; --",
        "?",
        "%_*",
    };
    const int insert = m_db.Prepare("INSERT INTO people VALUES (?, ?)");
    int k = 0;
    for (const char* text : attempts) {
        m_db.ExecuteNonQuery(insert, Args(new COdbcInt(++k), new COdbcVarChar(text)));
    }
    EXPECT_EQ(m_db.ExecuteScalar("SELECT count(*) FROM people", -1), k);
    const int find = m_db.Prepare("SELECT k, name FROM people WHERE name = ?");
    k = 0;
    for (const char* text : attempts) {
        SCOPED_TRACE(text);
        auto result = m_db.Execute(find, Args(new COdbcVarChar(text)));
        ASSERT_EQ(result->size(), 1u);
        EXPECT_EQ((*result)[0]->GetInt(0), ++k);
        EXPECT_EQ((*result)[0]->GetString(1), text);
    }
}

TEST_P(OdbcPrepared, ScalarsGiveTheDefaultOnlyWithoutAValue)
{
    Exec("CREATE TABLE empty_t (k integer)");
    EXPECT_EQ(m_db.ExecuteScalar("SELECT count(*) FROM empty_t", -1), 0);
    EXPECT_EQ(m_db.ExecuteScalar("SELECT k FROM empty_t", -1), -1);
    EXPECT_EQ(m_db.ExecuteScalar("SELECT max(k) FROM empty_t", -7), -7); // NULL
    Exec("INSERT INTO empty_t VALUES (41)");
    const int bigger = m_db.Prepare("SELECT k + ? FROM empty_t");
    EXPECT_EQ(m_db.ExecuteScalar(bigger, Args(new COdbcInt(1)), -1), 42);
    // A query that is no query gives an empty result, not an error.
    EXPECT_EQ(m_db.Execute("DELETE FROM empty_t WHERE k = 0")->size(), 0u);
}

TEST_P(OdbcPrepared, PrintAndFindRowWorkOnFetchedRows)
{
    Exec("CREATE TABLE codes (code char(5), label varchar(20), n integer)");
    Exec("INSERT INTO codes VALUES ('ab   ', 'first', 1)");
    Exec("INSERT INTO codes VALUES ('cd', NULL, 2)");
    auto result = Query("SELECT code, label, n FROM codes ORDER BY n");
    std::ostringstream out;
    result->Print(out, true);
    const std::string cd = IsPostgres() ? "cd   " : "cd"; // char(n) pads on PostgreSQL only
    EXPECT_EQ(out.str(), "code\tlabel\tn\t\nab   \tfirst\t1\t\n" + cd + "\t<<NULL>>\t2\t\n");
    std::ostringstream bare;
    result->Print(bare, false);
    EXPECT_EQ(bare.str(), "ab   \tfirst\t1\t\n" + cd + "\t<<NULL>>\t2\t\n");

    EXPECT_TRUE(result->FindRow(0, "ab", false).IsNull());
    ASSERT_TRUE(result->FindRow(0, "ab", true).NotNull());
    EXPECT_EQ(result->FindRow(0, "ab", true)->GetInt(2), 1);
    ASSERT_TRUE(result->FindRow("label", "first", false).NotNull());
    EXPECT_EQ(result->FindRow("n", "2", false)->GetString(0).substr(0, 2), "cd");
    EXPECT_TRUE(result->FindRow("nosuch", "first", false).IsNull());
    EXPECT_TRUE(result->FindRow("Label", "first", false).IsNull()); // exact names
    EXPECT_TRUE(result->FindRow(7, "first", false).IsNull());
}

} // namespace
