#include "Brindle/odbc/OdbcValue.h"

#include "Brindle/odbc/OdbcDateTime.h"
#include "Brindle/odbc/OdbcValues.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstddef>
#include <type_traits>

namespace Brindle {

// The public record and indicator stand in for the driver manager's own.
static_assert(std::is_same_v<SQLLEN, long>);
static_assert(sizeof(TIMESTAMP_STRUCT) == sizeof(::TIMESTAMP_STRUCT));
static_assert(offsetof(TIMESTAMP_STRUCT, year) == offsetof(::TIMESTAMP_STRUCT, year));
static_assert(offsetof(TIMESTAMP_STRUCT, second) == offsetof(::TIMESTAMP_STRUCT, second));
static_assert(offsetof(TIMESTAMP_STRUCT, fraction) == offsetof(::TIMESTAMP_STRUCT, fraction));
static_assert(COdbcValue::NULL_DATA == SQL_NULL_DATA && COdbcValue::NTS == SQL_NTS);

namespace {

// The character types, read and written as text.
bool IsTextType(short sqlType)
{
    return sqlType == SQL_CHAR || sqlType == SQL_VARCHAR || sqlType == SQL_LONGVARCHAR || sqlType == SQL_WCHAR ||
           sqlType == SQL_WVARCHAR || sqlType == SQL_WLONGVARCHAR;
}

} // namespace

int COdbcValue::BindColumn(void*, short)
{
    return SQL_SUCCESS;
}

int COdbcValue::BindParam(void*, short)
{
    return SQL_SUCCESS;
}

std::string COdbcValue::GetStdString() const
{
    return std::string();
}

const char* COdbcValue::GetString() const
{
    return "";
}

int COdbcValue::GetInt() const
{
    return 0;
}

long COdbcValue::GetLong() const
{
    return 0;
}

double COdbcValue::GetDouble() const
{
    return 0.0;
}

bool COdbcValue::GetBool() const
{
    return false;
}

TIMESTAMP_STRUCT COdbcValue::GetTimestamp() const
{
    return TIMESTAMP_STRUCT{};
}

tm COdbcValue::GetTm() const
{
    return tm{};
}

void COdbcValue::SetString(const char*) {}
void COdbcValue::SetStdString(const std::string&) {}
void COdbcValue::SetInt(int) {}
void COdbcValue::SetLong(long) {}
void COdbcValue::SetDouble(double) {}
void COdbcValue::SetBool(bool) {}
void COdbcValue::SetTimestamp(const TIMESTAMP_STRUCT&) {}
void COdbcValue::SetTm(const tm*) {}

int COdbcValue::ReadRest(void*, short)
{
    return SQL_SUCCESS;
}

const char* COdbcValue::GetSQLString(short sqlType)
{
    switch (sqlType) {
    case SQL_BIT:
        return "SQL_BIT";
    case SQL_CHAR:
        return "SQL_CHAR";
    case SQL_NUMERIC:
        return "SQL_NUMERIC";
    case SQL_DECIMAL:
        return "SQL_DECIMAL";
    case SQL_INTEGER:
        return "SQL_INTEGER";
    case SQL_SMALLINT:
        return "SQL_SMALLINT";
    case SQL_FLOAT:
        return "SQL_FLOAT";
    case SQL_REAL:
        return "SQL_REAL";
    case SQL_DOUBLE:
        return "SQL_DOUBLE";
    case SQL_VARCHAR:
        return "SQL_VARCHAR";
    case SQL_TYPE_DATE:
        return "SQL_TYPE_DATE";
    case SQL_TYPE_TIME:
        return "SQL_TYPE_TIME";
    case SQL_TYPE_TIMESTAMP:
        return "SQL_TYPE_TIMESTAMP";
    // Types the first tables did not know, read as text or small numbers.
    case SQL_BIGINT:
        return "SQL_BIGINT";
    case SQL_TINYINT:
        return "SQL_TINYINT";
    case SQL_LONGVARCHAR:
        return "SQL_LONGVARCHAR";
    case SQL_WCHAR:
        return "SQL_WCHAR";
    case SQL_WVARCHAR:
        return "SQL_WVARCHAR";
    case SQL_WLONGVARCHAR:
        return "SQL_WLONGVARCHAR";
    default:
        return "SQL_UNKNOWN_TYPE";
    }
}

const char* COdbcValue::GetTypeString(short sqlType)
{
    switch (sqlType) {
    case SQL_BIT:
        return "[bit]";
    case SQL_CHAR:
        return "[char]";
    case SQL_VARCHAR:
        return "[varchar]";
    case SQL_NUMERIC:
        return "[numeric]";
    case SQL_DECIMAL:
        return "[decimal]";
    case SQL_INTEGER:
        return "[int]";
    case SQL_SMALLINT:
        return "[smallint]";
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return "[float]";
    case SQL_REAL:
        return "[real]";
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
        return "[datetime]";
    case SQL_BIGINT:
        return "[bigint]";
    case SQL_TINYINT:
        return "[tinyint]";
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
        return "[text]";
    case SQL_WCHAR:
        return "[nchar]";
    case SQL_WVARCHAR:
        return "[nvarchar]";
    case 0:
        return "[unknown]";
    default:
        return "[bad type]";
    }
}

const char* COdbcValue::GetCPPString(short sqlType)
{
    if (IsTextType(sqlType))
        return "std::string";
    switch (sqlType) {
    case SQL_BIT:
        return "bool";
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
        return "double";
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
        return "int";
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_BIGINT:
        return "long";
    default:
        return "void*";
    }
}

const char* COdbcValue::GetCSString(short sqlType)
{
    if (IsTextType(sqlType))
        return "string";
    switch (sqlType) {
    case SQL_BIT:
        return "bool";
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        return "decimal";
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return "double";
    case SQL_REAL:
        return "float";
    case SQL_INTEGER:
        return "int";
    case SQL_SMALLINT:
        return "short";
    case SQL_TINYINT:
        return "byte";
    case SQL_BIGINT:
        return "long";
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
        return "DateTime";
    default:
        return "object";
    }
}

CRefCountedPtr<COdbcValue> COdbcValue::Create(short sqlType, unsigned long columnSize, long octetLength)
{
    // Bytes of UTF-8 a text column can need: the driver's octet length, and
    // never less than its size in characters (some drivers count those).
    const std::size_t bytes = std::max<std::size_t>(columnSize, octetLength > 0 ? static_cast<std::size_t>(octetLength) : 0);
    switch (sqlType) {
    case SQL_BIT:
        return CRefCountedPtr<COdbcValue>(new COdbcBit());
    case SQL_CHAR:
        return CRefCountedPtr<COdbcValue>(new COdbcChar(bytes));
    case SQL_VARCHAR:
        return CRefCountedPtr<COdbcValue>(new COdbcVarChar(bytes));
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_GUID:
        return CRefCountedPtr<COdbcValue>(new COdbcText(sqlType, bytes));
    case SQL_NUMERIC:
        return CRefCountedPtr<COdbcValue>(new COdbcNumeric());
    case SQL_DECIMAL:
        return CRefCountedPtr<COdbcValue>(new COdbcDecimal());
    case SQL_BIGINT:
        return CRefCountedPtr<COdbcValue>(new COdbcBigInt());
    case SQL_INTEGER:
        return CRefCountedPtr<COdbcValue>(new COdbcInt());
    case SQL_SMALLINT:
    case SQL_TINYINT:
        return CRefCountedPtr<COdbcValue>(new COdbcSmallInt());
    case SQL_FLOAT:
        return CRefCountedPtr<COdbcValue>(new COdbcFloat());
    case SQL_REAL:
        return CRefCountedPtr<COdbcValue>(new COdbcReal());
    case SQL_DOUBLE:
        return CRefCountedPtr<COdbcValue>(new COdbcDouble());
    case SQL_DATETIME:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIME:
    case SQL_TIMESTAMP:
        return CRefCountedPtr<COdbcValue>(new COdbcDateTime(sqlType));
    default:
        // Binary and other types: a cell that stays NULL.
        return CRefCountedPtr<COdbcValue>(new COdbcValue(sqlType, 0));
    }
}

} // namespace Brindle
