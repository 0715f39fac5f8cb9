// Connections and failures on both drivers: data source names, reopening
// and closing, the driver's diagnostics in every error, and the class
// generators on a real table.
#include "OdbcTestSupport.h"

#include "Brindle/odbc/OdbcValues.h"

#include "ChildProcess.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

using namespace Brindle;
using odbctest::Args;
using odbctest::OdbcDriverTest;

namespace {

// The text after " (STMT) Msg = " / " (DBC) Msg = ", or empty.
std::string DriverMessage(const std::string& text, const char* label)
{
    const std::size_t at = text.find(label);
    return at == std::string::npos ? std::string() : text.substr(at + std::strlen(label));
}

// The COdbcException that `run` throws; a failure, and an empty one, when
// it throws none.
template <typename Run>
COdbcException Thrown(Run run)
{
    try {
        run();
    } catch (const COdbcException& e) {
        return e;
    }
    ADD_FAILURE() << "no exception";
    return COdbcException(0, "");
}

class OdbcErrors : public OdbcDriverTest {};
ODBC_ON_BOTH_DRIVERS(OdbcErrors);

TEST_P(OdbcErrors, StatementFailuresCarryTheStatementsDiagnostics)
{
    const COdbcException e = Thrown([&] { m_db.Execute("SELEC nonsense FROM nowhere"); });
    EXPECT_EQ(e.GetResult(), -1);
    EXPECT_EQ(e.GetText().rfind("SQL ODBC Error: <SQL_ERROR> State = ", 0), 0u) << e.GetText();
    EXPECT_FALSE(DriverMessage(e.GetText(), " (STMT) Msg = ").empty()) << e.GetText();
    EXPECT_EQ(m_db.GetLastResult(), -1);
    EXPECT_EQ(m_db.GetLastError(), e.GetText());
    EXPECT_EQ(std::string(e.what()), "Odbc error: -1 msg: " + e.GetText() + "\n");
    // The connection goes on, and a success clears the error.
    EXPECT_EQ(m_db.ExecuteScalar("SELECT 1", -1), 1);
    EXPECT_EQ(m_db.GetLastResult(), 0);
    EXPECT_EQ(m_db.GetLastError(), "");

    EXPECT_THROW(
        {
            const int s = m_db.Prepare("SELECT * FROM no_such_table");
            m_db.Execute(s, nullptr);
        },
        COdbcException);
}

TEST_P(OdbcErrors, AFailedExecuteLeavesThePreparedStatementReady)
{
    Exec("CREATE TABLE keyed (k integer PRIMARY KEY, v varchar(10))");
    const int insert = m_db.Prepare("INSERT INTO keyed VALUES (?, ?)");
    auto row = [](int k) { return Args(new COdbcInt(k), new COdbcVarChar("v")); };
    EXPECT_EQ(m_db.ExecuteNonQuery(insert, row(1)), 1);
    const std::string duplicate = Thrown([&] { m_db.ExecuteNonQuery(insert, row(1)); }).GetText();
    EXPECT_FALSE(DriverMessage(duplicate, " (STMT) Msg = ").empty()) << duplicate;
    EXPECT_EQ(m_db.ExecuteNonQuery(insert, row(2)), 1);

    // Too few parameters, and a missing one, are refused; then all is well.
    EXPECT_THROW(m_db.ExecuteNonQuery(insert, Args(new COdbcInt(3))), COdbcException);
    auto hole = Args(new COdbcInt(3));
    hole->push_back(nullptr);
    EXPECT_THROW(m_db.ExecuteNonQuery(insert, hole), COdbcException);
    EXPECT_EQ(m_db.ExecuteNonQuery(insert, row(3)), 1);
    EXPECT_EQ(m_db.ExecuteScalar("SELECT count(*) FROM keyed", -1), 3);
}

TEST_P(OdbcErrors, AnErrorWhileRowsArriveIsThrownNotTakenAsTheEnd)
{
    Exec("CREATE TABLE overflow (k integer, v bigint)");
    Exec("INSERT INTO overflow VALUES (1, 1)");
    Exec("INSERT INTO overflow VALUES (2, -9223372036854775807 - 1)");
    EXPECT_THROW(m_db.Execute("SELECT abs(v) FROM overflow ORDER BY k"), COdbcException);
    EXPECT_NE(m_db.GetLastError(), "");
    EXPECT_EQ(m_db.ExecuteScalar("SELECT count(*) FROM overflow", -1), 2);
}

TEST_P(OdbcErrors, AFailedConnectCarriesTheConnectionsDiagnostics)
{
    const std::string bad = IsPostgres() ? m_connection + "Database=no_such_database;"
                                         : "DRIVER=SQLite3;Database=/nonexistent-dir/sub/x.db;";
    for (const std::string& text : {bad, std::string("DRIVER={No Such Driver};")}) {
        SCOPED_TRACE(text);
        COdbc db;
        const std::string error = Thrown([&] { db.DriverConnect(text.c_str()); }).GetText();
        EXPECT_EQ(error.rfind("SQL ODBC Error: <SQL_ERROR>State = ", 0), 0u) << error;
        EXPECT_FALSE(DriverMessage(error, " (DBC) Msg = ").empty()) << error;
        EXPECT_FALSE(db.IsOpen());
        EXPECT_THROW(db.Execute("SELECT 1"), COdbcException); // not connected
        EXPECT_TRUE(db.Close());
    }
    EXPECT_EQ(Thrown([] { COdbc(nullptr, nullptr, nullptr); }).GetText(), "Could not open database!");
}

class OdbcConnections : public OdbcDriverTest {};
ODBC_ON_BOTH_DRIVERS(OdbcConnections);

TEST_P(OdbcConnections, DataSourceNamesOpenReopenAndClose)
{
    // The SQLite driver opens the ODBC settings library to read a name and
    // closes it after, losing the library's cache of what it read (the leak
    // checker reports it). Held open here, the cache stays reachable.
    [[maybe_unused]] static void* const settings = ::dlopen("libodbcinst.so.2", RTLD_LAZY);
    const std::string ini = (m_dir.path() / "odbc.ini").string();
    // A name per driver: the driver manager keeps what it read of odbc.ini.
    const std::string dsn = std::string("brindle_test_") + odbctest::DriverName({GetParam(), 0});
    {
        std::ofstream out(ini);
        out << "[" << dsn << "]\n";
        if (IsPostgres())
            out << "Driver = PostgreSQL Unicode\nServername = " << testsupport::PostgresSetting("BRINDLE_PG_HOST", "")
                << "\nPort = " << testsupport::PostgresSetting("BRINDLE_PG_PORT", "")
                << "\nDatabase = " << testsupport::PostgresSetting("BRINDLE_PG_DATABASE", "postgres") << "\n";
        else
            out << "Driver = SQLite3\nDatabase = " << (m_dir.path() / "dsn.db").string() << "\n";
    }
    const testsupport::ScopedEnv odbcIni("ODBCINI", ini);
    const std::string user = testsupport::PostgresSetting("BRINDLE_PG_USER", "postgres");
    COdbc db(dsn.c_str(), IsPostgres() ? user.c_str() : nullptr, "");
    EXPECT_TRUE(db.IsOpen());
    EXPECT_EQ(db.GetName(), dsn);
    EXPECT_EQ(db.ExecuteScalar("SELECT 6 * 7", -1), 42);
    db.Prepare("SELECT 1");

    // Opening again closes first: the prepared statements go with it.
    ASSERT_TRUE(db.DriverConnect(m_connection.c_str()));
    EXPECT_EQ(db.GetName(), m_connection);
    EXPECT_EQ(db.GetPreparedCount(), 0);
    EXPECT_THROW(db.Execute(0, nullptr), std::out_of_range);
    EXPECT_TRUE(db.Close());
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(db.GetName(), "");
    EXPECT_TRUE(db.Close());
    EXPECT_THROW(COdbc("no_such_dsn", nullptr, nullptr), COdbcException);
}

TEST_P(OdbcConnections, CloseLetsGoEvenInsideATransaction)
{
    Exec("CREATE TABLE pending (k integer)");
    COdbc db;
    Connect(db);
    Exec(db, "BEGIN");
    Exec(db, "INSERT INTO pending VALUES (1)");
    db.Close();
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(m_db.ExecuteScalar("SELECT count(*) FROM pending", -1), 0);
    Connect(db);
    EXPECT_EQ(db.ExecuteScalar("SELECT count(*) FROM pending", -1), 0);
}

// The generated class, compiled and run against the same table: it writes a
// row through InsertSQL/ToParams and reads it back through SelectSQL/FromRow.
const char* const kGeneratedMain = R"(#include "gen.h"
#include <iostream>
#include <sstream>
int main(int argc, char** argv)
{
    Brindle::COdbc db;
    db.DriverConnect(argv[1]);
    if (argc > 2)
        db.ExecuteNonQuery((std::string("SET search_path TO ") + argv[2]).c_str());
    CGenerated row;
    row.Setid(7);
    row.SetFull_Name("Ann \"Quote\" O'Neil");
    row.Setprice(12.5);
    row.Setok(true);
    row.Setborn(1141725072);
    row.Setbig(9000000000000L);
    row.Setselect(3);
    db.ExecuteNonQuery(db.Prepare(CGenerated::InsertSQL()), row.ToParams());
    auto result = db.Execute(CGenerated::SelectSQL());
    CGenerated back;
    back.FromRow(*(*result)[0]);
    std::cout << back;
    return back == row && CGenerated::ColumnCount == 8 ? 0 : 1;
}
)";

TEST_P(OdbcConnections, GeneratedClassesMirrorARealTable)
{
    Exec(std::string("CREATE TABLE gen (id integer, \"Full Name\" varchar(40), price double precision, qty smallint, "
                     "ok boolean, born timestamp, big bigint, raw ") +
         BinaryType() + ", \"select\" integer)");
    const std::string cpp = m_db.CreateClass("gen", "CGenerated");
    for (const char* line : {"class CGenerated {", "int m_id = 0;", "std::string m_Full_Name;",
                             "double m_price = 0.0;", "int m_qty = 0;", "bool m_ok = false;", "long m_born = 0;",
                             "long m_big = 0;", "// raw [bad type]: no member for this type", "int m_select = 0;",
                             "INSERT INTO \\\"gen\\\" (\\\"id\\\", \\\"Full Name\\\""}) {
        EXPECT_NE(cpp.find(line), std::string::npos) << line << "\n" << cpp;
    }
    const std::string cs = m_db.CreateCSClass("gen");
    for (const char* line : {"public class gen", "public int id { get; set; }",
                             "public string Full_Name { get; set; }", "public bool ok { get; set; }",
                             "public DateTime born { get; set; }", "public long big { get; set; }",
                             "// raw [bad type]: no member for this type", "\"Full Name\""}) {
        EXPECT_NE(cs.find(line), std::string::npos) << line << "\n" << cs;
    }
    // A name with a quote in it is quoted, not run.
    EXPECT_THROW(m_db.CreateClass("gen\" WHERE 1=1; DROP TABLE gen; --"), COdbcException);
    EXPECT_EQ(m_db.ExecuteScalar("SELECT count(*) FROM gen", -1), 0);

    {
        std::ofstream(m_dir.path() / "gen.h") << cpp;
        std::ofstream(m_dir.path() / "main.cpp") << kGeneratedMain;
    }
    const std::string program = (m_dir.path() / "gen_main").string();
    std::vector<std::string> compile = {"/bin/sh", "-c",
                                        std::string(BRINDLE_CXX) + " -std=c++20 " + BRINDLE_SANITIZE_FLAGS + " -I" +
                                            BRINDLE_SOURCE_DIR "/Common/Libs -I" + m_dir.str() + " " + m_dir.str() +
                                            "/main.cpp -o " + program + " -L" BRINDLE_LIB_DIR
                                            " -lBrindle -Wl,-rpath," BRINDLE_LIB_DIR};
    testsupport::ChildProcess cc(compile);
    ASSERT_EQ(cc.Wait(std::chrono::seconds(300)), 0) << cc.Stderr();
    std::vector<std::string> run = {program, m_connection};
    if (!m_schema.empty())
        run.push_back(m_schema);
    testsupport::ChildProcess generated(run);
    EXPECT_EQ(generated.Wait(), 0) << generated.Stdout() << generated.Stderr();
    EXPECT_NE(generated.Stdout().find("Full Name = Ann \"Quote\" O'Neil\n"), std::string::npos) << generated.Stdout();
    EXPECT_NE(generated.Stdout().find("big = 9000000000000\n"), std::string::npos);
}

} // namespace
