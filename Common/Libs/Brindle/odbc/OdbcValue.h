// COdbcValue: one bound cell of a result row or one statement parameter, the
// base of the typed value classes (OdbcValues.h, OdbcDateTime.h), and the
// type tables the class generators use.
//
// Contract
// - A value has an SQL type, a C type and a length/indicator word of the
//   driver manager's width (SQLLEN, 64 bits here): -1 (NULL_DATA) is NULL,
//   -3 (NTS) marks a NUL-terminated text parameter, otherwise the length
//   the driver reported. A new value is NULL.
// - The base binds nothing (BindColumn and BindParam return 0), reads as
//   zero, empty text or false and ignores writes; each value class overrides
//   what its type supports. A NULL value reads as empty text, zero or false.
// - BindColumn and BindParam return the driver manager's result code; the
//   value's buffers must stay where they are while the statement can write
//   into them or read from them (until the next fetch binds fresh values,
//   or the statement is reset).
// - ReadRest runs after a fetch that reported truncation: a value whose
//   bound buffer was too small reads the whole cell with SQLGetData, so no
//   cell is ever cut.
// - GetString returns a pointer into the value, valid until it is changed
//   or destroyed.
// - Create makes the value class for a column's SQL type; types outside the
//   tables give a base value that stays NULL (the cell is there, and says
//   it holds nothing).
//
// Thread-safety: none; a value is used by one thread at a time (rows and
// result sets are shared across threads only for their reference counts).
#pragma once

#include "Brindle/base/RefCountedPtr.h"

#include <cstdint>
#include <ctime>
#include <string>

namespace Brindle {

// The ODBC timestamp record (the driver manager's TIMESTAMP_STRUCT, field for
// field); fraction is in billionths of a second.
struct TIMESTAMP_STRUCT {
    std::int16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint32_t fraction = 0;
};

class COdbcValue {
public:
    static constexpr long NULL_DATA = -1; // SQL_NULL_DATA
    static constexpr long NTS = -3;       // SQL_NTS

    COdbcValue() = default;
    COdbcValue(short sqlType, short cType) : m_sqlType(sqlType), m_cType(cType) {}
    virtual ~COdbcValue() = default;

    virtual int BindColumn(void* statement, short column);
    virtual int BindParam(void* statement, short parameter);
    virtual std::string GetStdString() const;
    virtual const char* GetString() const;
    virtual int GetInt() const;
    virtual long GetLong() const;
    virtual double GetDouble() const;
    virtual bool GetBool() const;
    virtual TIMESTAMP_STRUCT GetTimestamp() const;
    virtual tm GetTm() const;
    virtual void SetString(const char* text);
    virtual void SetStdString(const std::string& text);
    virtual void SetInt(int value);
    virtual void SetLong(long value);
    virtual void SetDouble(double value);
    virtual void SetBool(bool value);
    virtual void SetTimestamp(const TIMESTAMP_STRUCT& value);
    virtual void SetTm(const tm* value);
    // After a fetch that reported truncation; the driver manager's result.
    virtual int ReadRest(void* statement, short column);

    bool IsNull() const { return m_length == NULL_DATA; }
    void SetNull() { m_length = NULL_DATA; }
    short GetType() const { return m_sqlType; }
    short GetCType() const { return m_cType; }
    long GetLength() const { return m_length; }

    operator const char*() const { return GetString(); }
    operator int() const { return GetInt(); }
    operator long() const { return GetLong(); }
    operator double() const { return GetDouble(); }
    operator bool() const { return GetBool(); }

    // "SQL_BIT", "SQL_CHAR", ... "SQL_UNKNOWN_TYPE".
    static const char* GetSQLString(short sqlType);
    // "[bit]", "[char]", ... "[unknown]" for 0, "[bad type]" otherwise.
    static const char* GetTypeString(short sqlType);
    // The C++ member type of a column: "bool", "std::string", "double",
    // "int", "long" or "void*".
    static const char* GetCPPString(short sqlType);
    // The C# member type of a column ("object" when there is none).
    static const char* GetCSString(short sqlType);

    // The value for a described column: its SQL type, its size and its
    // length in bytes as the driver reports them.
    static CRefCountedPtr<COdbcValue> Create(short sqlType, unsigned long columnSize, long octetLength);

protected:
    short m_sqlType = 0;
    short m_cType = 0;
    long m_length = NULL_DATA;
};

} // namespace Brindle
