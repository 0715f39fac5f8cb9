#include "Brindle/odbc/Odbc.h"

#include "Brindle/odbc/OdbcDiagnostics.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace Brindle {

namespace {

SQLCHAR* Text(const char* text)
{
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text));
}

} // namespace

// Holds a statement for one execute: a direct statement is freed at the end
// (unless the result check already freed it on a throw); a prepared one is
// reset so it runs again cleanly and keeps no pointer to the caller's
// parameters.
class COdbc::CStatementScope {
public:
    // unbind: the execute binds columns of its own (a fetch unbinds its own).
    CStatementScope(COdbc& db, void* statement, bool prepared, bool unbind = false)
        : m_db(db), m_statement(statement), m_prepared(prepared), m_unbind(unbind)
    {
        m_db.m_stmt = statement;
    }
    ~CStatementScope()
    {
        if (m_prepared) {
            SQLFreeStmt(m_statement, SQL_CLOSE);
            if (m_unbind)
                SQLFreeStmt(m_statement, SQL_UNBIND);
            SQLFreeStmt(m_statement, SQL_RESET_PARAMS);
        } else if (m_db.m_stmt == m_statement) {
            SQLFreeHandle(SQL_HANDLE_STMT, m_statement);
        }
        m_db.m_stmt = nullptr;
    }
    CStatementScope(const CStatementScope&) = delete;
    CStatementScope& operator=(const CStatementScope&) = delete;

private:
    COdbc& m_db;
    void* m_statement;
    bool m_prepared;
    bool m_unbind;
};

COdbc::COdbc() = default;

COdbc::COdbc(const char* dataSource, const char* user, const char* password)
{
    if (!Open(dataSource, user, password))
        throw COdbcException("Could not open database!");
}

COdbc::~COdbc()
{
    Close();
}

bool COdbc::Success(int result, bool throwOnError, short handleType, void* handle)
{
    m_lastResult = result;
    m_lastError.clear();
    if (SQL_SUCCEEDED(result))
        return true;
    m_lastError = OdbcDetail::ErrorText(static_cast<SQLRETURN>(result), handleType, handle);
    if (result == SQL_NO_DATA || !throwOnError)
        return false;
    if (m_stmt != nullptr && std::find(m_prepared.begin(), m_prepared.end(), m_stmt) == m_prepared.end()) {
        SQLFreeHandle(SQL_HANDLE_STMT, m_stmt);
        m_stmt = nullptr;
    }
    throw COdbcException(result, m_lastError);
}

bool COdbc::Open(const char* dataSource, const char* user, const char* password)
{
    if (dataSource == nullptr)
        return false;
    return Connect(dataSource, false, user, password);
}

bool COdbc::DriverConnect(const char* connection)
{
    if (connection == nullptr)
        return false;
    return Connect(connection, true, nullptr, nullptr);
}

void COdbc::AllocateConnection()
{
    SQLHENV env = SQL_NULL_HENV;
    const SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    if (SQL_SUCCEEDED(rc))
        m_env = env;
    Success(rc, true, SQL_HANDLE_ENV, m_env);
    Success(SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), true,
            SQL_HANDLE_ENV, m_env);
    SQLHDBC dbc = SQL_NULL_HDBC;
    const SQLRETURN dbcRc = SQLAllocHandle(SQL_HANDLE_DBC, m_env, &dbc);
    if (SQL_SUCCEEDED(dbcRc))
        m_dbc = dbc;
    Success(dbcRc, true, SQL_HANDLE_ENV, m_env);
    Success(SQLSetConnectAttr(m_dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0), true,
            SQL_HANDLE_DBC, m_dbc);
}

bool COdbc::Connect(const std::string& name, bool driverConnect, const char* user, const char* password)
{
    if (m_env != nullptr || m_dbc != nullptr)
        Close();
    try {
        AllocateConnection();
        SQLRETURN rc;
        if (driverConnect) {
            SQLCHAR completed[1024];
            SQLSMALLINT completedLength = 0;
            rc = SQLDriverConnect(m_dbc, nullptr, Text(name.c_str()), SQL_NTS, completed, sizeof completed,
                                  &completedLength, SQL_DRIVER_NOPROMPT);
        } else {
            rc = SQLConnect(m_dbc, Text(name.c_str()), SQL_NTS, user != nullptr ? Text(user) : nullptr,
                            user != nullptr ? SQL_NTS : 0, password != nullptr ? Text(password) : nullptr,
                            password != nullptr ? SQL_NTS : 0);
        }
        if (!Success(rc, true, SQL_HANDLE_DBC, m_dbc)) {
            FreeHandles(false);
            return false;
        }
    } catch (...) {
        FreeHandles(false);
        throw;
    }
    m_connected = true;
    m_name = name;
    return true;
}

bool COdbc::FreeHandles(bool record)
{
    bool clean = true;
    auto note = [&](SQLRETURN rc, SQLSMALLINT type, void* handle) {
        if (SQL_SUCCEEDED(rc))
            return;
        clean = false;
        if (record) {
            m_lastResult = rc;
            m_lastError = OdbcDetail::ErrorText(rc, type, handle);
        }
    };
    if (m_stmt != nullptr && std::find(m_prepared.begin(), m_prepared.end(), m_stmt) == m_prepared.end())
        note(SQLFreeHandle(SQL_HANDLE_STMT, m_stmt), SQL_HANDLE_STMT, m_stmt);
    m_stmt = nullptr;
    for (void* statement : m_prepared)
        note(SQLFreeHandle(SQL_HANDLE_STMT, statement), SQL_HANDLE_STMT, statement);
    m_prepared.clear();
    if (m_dbc != nullptr) {
        if (m_connected) {
            SQLRETURN rc = SQLDisconnect(m_dbc);
            if (!SQL_SUCCEEDED(rc)) {
                // An open transaction keeps the connection: roll it back and
                // let go.
                note(rc, SQL_HANDLE_DBC, m_dbc);
                SQLEndTran(SQL_HANDLE_DBC, m_dbc, SQL_ROLLBACK);
                note(SQLDisconnect(m_dbc), SQL_HANDLE_DBC, m_dbc);
            }
        }
        note(SQLFreeHandle(SQL_HANDLE_DBC, m_dbc), SQL_HANDLE_DBC, m_dbc);
        m_dbc = nullptr;
    }
    if (m_env != nullptr) {
        note(SQLFreeHandle(SQL_HANDLE_ENV, m_env), SQL_HANDLE_ENV, m_env);
        m_env = nullptr;
    }
    m_connected = false;
    m_name.clear();
    return clean;
}

bool COdbc::Close()
{
    m_lastResult = SQL_SUCCESS;
    m_lastError.clear();
    return FreeHandles(true);
}

void COdbc::RequireConnection()
{
    if (m_connected)
        return;
    m_lastResult = SQL_INVALID_HANDLE;
    m_lastError = std::string("SQL ODBC Error: ") + OdbcDetail::ResultName(SQL_INVALID_HANDLE) + " Not connected";
    throw COdbcException(m_lastResult, m_lastError);
}

void* COdbc::PreparedAt(int statement) const
{
    if (statement < 0 || static_cast<std::size_t>(statement) >= m_prepared.size())
        throw std::out_of_range("COdbc: no prepared statement " + std::to_string(statement));
    return m_prepared[static_cast<std::size_t>(statement)];
}

int COdbc::Prepare(const char* sql)
{
    RequireConnection();
    SQLHSTMT statement = SQL_NULL_HSTMT;
    const SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &statement);
    Success(rc, true, SQL_HANDLE_DBC, m_dbc);
    m_stmt = statement;
    // On failure the result check frees the statement (it is not listed yet).
    Success(SQLPrepare(statement, Text(sql), SQL_NTS), true, SQL_HANDLE_STMT, statement);
    m_stmt = nullptr;
    try {
        m_prepared.push_back(statement);
    } catch (...) {
        SQLFreeHandle(SQL_HANDLE_STMT, statement);
        throw;
    }
    return static_cast<int>(m_prepared.size() - 1);
}

void COdbc::BindParams(void* statement, const CRefCountedPtr<COdbcParams>& params)
{
    if (params.IsNull())
        return;
    if (params->size() > SHRT_MAX)
        throw COdbcException("Too many parameters: " + std::to_string(params->size()));
    for (std::size_t i = 0; i < params->size(); ++i) {
        const auto& value = (*params)[i];
        if (value.IsNull())
            throw COdbcException("Parameter " + std::to_string(i + 1) + " has no value");
        Success(value->BindParam(statement, static_cast<short>(i + 1)), true, SQL_HANDLE_STMT, statement);
    }
}

CRefCountedPtr<COdbcResultSet> COdbc::Run(void* statement, const char* sql, Mode mode, int* count, int defaultValue)
{
    const SQLRETURN rc = sql != nullptr ? SQLExecDirect(statement, Text(sql), SQL_NTS) : SQLExecute(statement);
    // No data: a statement that touched no row, or gave no result.
    const bool answered = Success(rc, true, SQL_HANDLE_STMT, statement);
    CRefCountedPtr<COdbcResultSet> result;
    switch (mode) {
    case Mode::Query:
        result = new COdbcResultSet();
        if (answered) {
            try {
                result->Fetch(statement);
            } catch (const COdbcException& e) {
                m_lastResult = e.GetResult();
                m_lastError = e.GetText();
                throw;
            }
        }
        break;
    case Mode::NonQuery: {
        SQLLEN rows = 0;
        if (answered)
            Success(SQLRowCount(statement, &rows), true, SQL_HANDLE_STMT, statement);
        *count = rows > INT_MAX ? INT_MAX : rows < -1 ? -1 : static_cast<int>(rows);
        break;
    }
    case Mode::Scalar: {
        SQLINTEGER value = 0;
        SQLLEN indicator = SQL_NULL_DATA;
        *count = defaultValue;
        if (!answered)
            break;
        Success(SQLBindCol(statement, 1, SQL_C_SLONG, &value, sizeof value, &indicator), true, SQL_HANDLE_STMT,
                statement);
        if (Success(SQLFetch(statement), true, SQL_HANDLE_STMT, statement) && indicator != SQL_NULL_DATA)
            *count = value;
        break;
    }
    }
    return result;
}

CRefCountedPtr<COdbcResultSet> COdbc::Execute(const char* sql)
{
    RequireConnection();
    SQLHSTMT statement = SQL_NULL_HSTMT;
    Success(SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &statement), true, SQL_HANDLE_DBC, m_dbc);
    CStatementScope scope(*this, statement, false);
    return Run(statement, sql, Mode::Query, nullptr, 0);
}

CRefCountedPtr<COdbcResultSet> COdbc::Execute(int statementIndex, CRefCountedPtr<COdbcParams> params)
{
    void* statement = PreparedAt(statementIndex);
    CStatementScope scope(*this, statement, true);
    BindParams(statement, params);
    return Run(statement, nullptr, Mode::Query, nullptr, 0);
}

int COdbc::ExecuteNonQuery(const char* sql)
{
    RequireConnection();
    SQLHSTMT statement = SQL_NULL_HSTMT;
    Success(SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &statement), true, SQL_HANDLE_DBC, m_dbc);
    CStatementScope scope(*this, statement, false);
    int rows = 0;
    Run(statement, sql, Mode::NonQuery, &rows, 0);
    return rows;
}

int COdbc::ExecuteNonQuery(int statementIndex, CRefCountedPtr<COdbcParams> params)
{
    void* statement = PreparedAt(statementIndex);
    CStatementScope scope(*this, statement, true);
    BindParams(statement, params);
    int rows = 0;
    Run(statement, nullptr, Mode::NonQuery, &rows, 0);
    return rows;
}

int COdbc::ExecuteScalar(const char* sql, int defaultValue)
{
    RequireConnection();
    SQLHSTMT statement = SQL_NULL_HSTMT;
    Success(SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &statement), true, SQL_HANDLE_DBC, m_dbc);
    CStatementScope scope(*this, statement, false);
    int value = defaultValue;
    Run(statement, sql, Mode::Scalar, &value, defaultValue);
    return value;
}

int COdbc::ExecuteScalar(int statementIndex, CRefCountedPtr<COdbcParams> params, int defaultValue)
{
    void* statement = PreparedAt(statementIndex);
    CStatementScope scope(*this, statement, true, true);
    BindParams(statement, params);
    int value = defaultValue;
    Run(statement, nullptr, Mode::Scalar, &value, defaultValue);
    return value;
}

} // namespace Brindle
