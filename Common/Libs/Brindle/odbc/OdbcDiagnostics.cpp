#include "Brindle/odbc/OdbcDiagnostics.h"

#include "Brindle/odbc/OdbcException.h"

#include <vector>

namespace Brindle::OdbcDetail {

const char* ResultName(SQLRETURN result)
{
    switch (result) {
    case SQL_NO_DATA:
        return "<SQL_NO_DATA>";
    case SQL_ERROR:
        return "<SQL_ERROR>";
    case SQL_INVALID_HANDLE:
        return "<SQL_INVALID_HANDLE>";
    case SQL_STILL_EXECUTING:
        return "<SQL_STILL_EXECUTING>";
    case SQL_NEED_DATA:
        return "<SQL_NEED_DATA>";
    default:
        return "<unknown>";
    }
}

namespace {

const char* HandleLabel(SQLSMALLINT handleType)
{
    switch (handleType) {
    case SQL_HANDLE_ENV:
        return " (ENV) Msg = ";
    case SQL_HANDLE_DBC:
        return " (DBC) Msg = ";
    case SQL_HANDLE_DESC:
        return " (DESC) Msg = ";
    default:
        return " (STMT) Msg = ";
    }
}

} // namespace

std::string ErrorText(SQLRETURN result, SQLSMALLINT handleType, SQLHANDLE handle)
{
    std::string text = "SQL ODBC Error: ";
    text += ResultName(result);
    try {
        if (handle == SQL_NULL_HANDLE)
            return text + "<unknown>";
        SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
        SQLINTEGER native = 0;
        std::vector<SQLCHAR> message(SQL_MAX_MESSAGE_LENGTH + 1);
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, 1, state, &native, message.data(),
                                     static_cast<SQLSMALLINT>(message.size()), &length);
        // A longer message is read again whole rather than cut.
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            message.assign(static_cast<std::size_t>(length) + 1, 0);
            rc = SQLGetDiagRec(handleType, handle, 1, state, &native, message.data(),
                               static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (SQL_SUCCEEDED(rc)) {
            if (handleType != SQL_HANDLE_DBC)
                text += ' ';
            text += "State = ";
            text += reinterpret_cast<const char*>(state);
            text += HandleLabel(handleType);
            text += reinterpret_cast<const char*>(message.data());
        } else if (rc != SQL_NO_DATA) {
            text += "<unknown>";
        }
    } catch (...) {
        text += "Error getting ODBC error diagnostics";
    }
    return text;
}

bool Check(SQLRETURN result, SQLSMALLINT handleType, SQLHANDLE handle)
{
    if (SQL_SUCCEEDED(result))
        return true;
    if (result == SQL_NO_DATA)
        return false;
    throw COdbcException(result, ErrorText(result, handleType, handle));
}

} // namespace Brindle::OdbcDetail
