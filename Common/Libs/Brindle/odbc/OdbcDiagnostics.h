// The result check behind every ODBC call of the library: the error text of
// a failed call, built from the first diagnostic record of the handle that
// failed, and the throw of COdbcException.
//
// Error text: "SQL ODBC Error: " and the result's name ("<SQL_NO_DATA>",
// "<SQL_ERROR>", "<SQL_INVALID_HANDLE>", "<SQL_STILL_EXECUTING>",
// "<SQL_NEED_DATA>", "<unknown>"), then the handle's first record: for a
// connection "State = " state " (DBC) Msg = " message; for a statement (and
// likewise an environment) " State = " state " (STMT) Msg = " message;
// "<unknown>" when the record cannot be read, nothing when there is none.
// Messages are never cut.
//
// Internal to the ODBC layer: it needs the driver manager's headers, which
// the public headers keep out of callers' way.
//
// Thread-safety: free functions; one handle is used by one thread at a time.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

namespace Brindle::OdbcDetail {

const char* ResultName(SQLRETURN result);
std::string ErrorText(SQLRETURN result, SQLSMALLINT handleType, SQLHANDLE handle);
// true for success and success with information, false for no data;
// any other result throws COdbcException with the error text.
bool Check(SQLRETURN result, SQLSMALLINT handleType, SQLHANDLE handle);

} // namespace Brindle::OdbcDetail
