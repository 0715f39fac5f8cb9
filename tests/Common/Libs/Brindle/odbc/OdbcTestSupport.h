// Runs each ODBC test on both real drivers: SQLite 3 (a database file of the
// test's own, no server) and PostgreSQL Unicode against the server that
// scripts/test.sh (or scripts/pgtest.sh) starts and names in BRINDLE_PG_*.
// Without those variables the PostgreSQL runs skip and say why.
//
// On PostgreSQL every test works in a schema of its own (dropped at the
// end), so tests running at once in several processes never meet.
#pragma once

#include "Brindle/odbc/Odbc.h"

#include "PostgresTestServer.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace odbctest {

inline const char* const kSQLite = "SQLite3";
inline const char* const kPostgres = "PostgreSQL";

class OdbcDriverTest : public ::testing::TestWithParam<const char*> {
protected:
    bool IsPostgres() const { return std::string(GetParam()) == kPostgres; }

    void SetUp() override
    {
        if (IsPostgres()) {
            m_connection = testsupport::PostgresOdbcConnection("BoolsAsChar=0;");
            if (m_connection.empty())
                GTEST_SKIP() << testsupport::kNoPostgres;
            static int run = 0;
            m_schema = "t" + std::to_string(::getpid()) + "_" + std::to_string(++run);
        } else {
            m_connection = "DRIVER=SQLite3;Database=" + (m_dir.path() / "test.db").string() + ";";
        }
        Connect(m_db);
    }

    void TearDown() override
    {
        if (!m_schema.empty() && m_db.IsOpen()) {
            const std::string drop = "DROP SCHEMA IF EXISTS " + m_schema + " CASCADE";
            m_db.ExecuteNonQuery(drop.c_str());
        }
    }

    // Opens a connection to this test's database (and schema).
    void Connect(Brindle::COdbc& db)
    {
        ASSERT_TRUE(db.DriverConnect(m_connection.c_str()));
        if (!m_schema.empty()) {
            Exec(db, "CREATE SCHEMA IF NOT EXISTS " + m_schema);
            Exec(db, "SET search_path TO " + m_schema);
        }
    }

    static int Exec(Brindle::COdbc& db, const std::string& sql) { return db.ExecuteNonQuery(sql.c_str()); }
    int Exec(const std::string& sql) { return Exec(m_db, sql); }
    Brindle::CRefCountedPtr<Brindle::COdbcResultSet> Query(const std::string& sql)
    {
        return m_db.Execute(sql.c_str());
    }

    // Type names where the two databases differ.
    const char* BinaryType() const { return IsPostgres() ? "bytea" : "blob"; }

    testsupport::TempDir m_dir;
    std::string m_connection;
    std::string m_schema;
    Brindle::COdbc m_db;
};

// The parameters of one execute, in order (the list takes the values).
template <typename... Values>
Brindle::CRefCountedPtr<Brindle::COdbcParams> Args(Values*... values)
{
    Brindle::CRefCountedPtr<Brindle::COdbcParams> params(new Brindle::COdbcParams());
    (params->Add(values), ...);
    return params;
}

inline std::string DriverName(const ::testing::TestParamInfo<const char*>& info)
{
    return std::string(info.param) == kPostgres ? "PostgreSQL" : "SQLite";
}

} // namespace odbctest

#define ODBC_ON_BOTH_DRIVERS(Fixture)                                                                      \
    INSTANTIATE_TEST_SUITE_P(Drivers, Fixture, ::testing::Values(odbctest::kSQLite, odbctest::kPostgres), \
                             odbctest::DriverName)
