// COdbc: one ODBC connection and its prepared statements, over the
// driver manager (unixODBC here), with any driver: data source names from
// odbc.ini (ODBCINI names another file) or connection texts such as
// "DRIVER=SQLite3;Database=<file>".
//
// Contract
// - Every ODBC call goes through the result check: the last result is kept,
//   the last error text emptied on success; a failure gets the error text
//   (see OdbcDiagnostics.h) built from the diagnostics of the handle that
//   failed, and Open, DriverConnect, Prepare, the Execute family and
//   fetching throw it as COdbcException. No data is no error.
// - Texts are taken whole (data source, user, password, connection text,
//   SQL): nothing is cut.
// - Open and DriverConnect close an open connection first; a failed open
//   frees what it allocated. Close frees every handle whatever the driver
//   answers (a refused disconnect is retried after a rollback), records
//   its errors and never throws; the destructor closes.
// - Prepared statements are addressed by the index Prepare returned; an
//   index outside the list throws std::out_of_range. After each execute of
//   a prepared statement, also one that threw, its cursor is closed and its
//   parameters and columns unbound, so it can run again at once and never
//   points at the caller's freed parameters.
// - ExecuteScalar gives column 1 of the first row as an int, or the
//   caller's default when there is no row or the cell is NULL.
// - CreateClass and CreateCSClass write a C++ or C# class for one table,
//   read from the columns of "SELECT * FROM <table> WHERE 1=0" with the
//   table's name quoted (each part of a schema-qualified name).
//
// Thread-safety: none; a COdbc is used by one thread at a time.
#pragma once

#include "Brindle/base/RefCountedPtr.h"
#include "Brindle/odbc/OdbcException.h"
#include "Brindle/odbc/OdbcResultSet.h"

#include <string>
#include <vector>

namespace Brindle {

class COdbc {
public:
    COdbc();
    // Opens the data source; throws COdbcException "Could not open
    // database!" when Open returns false, or Open's own exception.
    COdbc(const char* dataSource, const char* user, const char* password);
    ~COdbc();
    COdbc(const COdbc&) = delete;
    COdbc& operator=(const COdbc&) = delete;

    // false for a null data source name.
    bool Open(const char* dataSource, const char* user, const char* password);
    // false for a null connection text.
    bool DriverConnect(const char* connection);
    // false when a handle could not be freed cleanly (the handles are gone all
    // the same; GetLastError says why).
    bool Close();
    bool IsOpen() const { return m_connected; }

    int Prepare(const char* sql);
    CRefCountedPtr<COdbcResultSet> Execute(const char* sql);
    CRefCountedPtr<COdbcResultSet> Execute(int statement, CRefCountedPtr<COdbcParams> params);
    int ExecuteNonQuery(const char* sql);
    int ExecuteNonQuery(int statement, CRefCountedPtr<COdbcParams> params);
    int ExecuteScalar(const char* sql, int defaultValue);
    int ExecuteScalar(int statement, CRefCountedPtr<COdbcParams> params, int defaultValue);

    int GetLastResult() const { return m_lastResult; }
    const std::string& GetLastError() const { return m_lastError; }
    // The data source name or connection text the connection was opened with.
    const std::string& GetName() const { return m_name; }
    int GetPreparedCount() const { return static_cast<int>(m_prepared.size()); }

    // Source text of a class with one member per column of the table.
    std::string CreateClass(const char* table, const char* className = nullptr);
    std::string CreateCSClass(const char* table, const char* className = nullptr);

protected:
    // The result check of every call on the handle given (see above).
    bool Success(int result, bool throwOnError, short handleType, void* handle);

private:
    enum class Mode { Query, NonQuery, Scalar };
    class CStatementScope;

    bool Connect(const std::string& name, bool driverConnect, const char* user, const char* password);
    void AllocateConnection();
    // Frees every handle; records errors only when asked.
    bool FreeHandles(bool record);
    void* PreparedAt(int statement) const;
    void BindParams(void* statement, const CRefCountedPtr<COdbcParams>& params);
    // Runs the statement (direct SQL when sql is given) and collects its answer.
    CRefCountedPtr<COdbcResultSet> Run(void* statement, const char* sql, Mode mode, int* count, int defaultValue);
    void RequireConnection();
    // The columns of a table, for the class generators.
    COdbcColumns DescribeTable(const char* table);

    std::string m_name;
    void* m_env = nullptr;
    void* m_dbc = nullptr;
    void* m_stmt = nullptr;
    std::vector<void*> m_prepared;
    int m_lastResult = 0;
    std::string m_lastError;
    bool m_connected = false;
};

} // namespace Brindle
