// The rows of one query: COdbcColumn/COdbcColumns (the result's column
// descriptions), COdbcRow (one value per column, in column order),
// COdbcParams (a statement's parameters, bound in order from 1) and
// COdbcResultSet (every row of a result, with its columns).
//
// Contract
// - Fetch describes the result's columns, then for each row creates fresh
//   values, binds them and fetches into them: every row owns its values.
//   Cells the driver cut, and long texts that are not bound, are read whole
//   after the fetch. Any failing call (describe, bind, fetch, read) throws
//   COdbcException with the statement's diagnostics; rows fetched before
//   stay in the set. A statement without a result (no columns) gives an
//   empty set. After Fetch the statement's column bindings are released.
// - Row and column positions are from 0; a position outside a row throws
//   std::out_of_range (COdbcColumn::get_index is the driver's number, from 1).
// - FindRow gives the first row whose cell text equals the text (with trim:
//   once trailing blanks are taken off the cell), or a null pointer; an
//   unknown column gives a null pointer.
// - Print writes, with header, every column name and a tab, a line end, then
//   per row each cell's text and a tab ("<<NULL>>" for NULL) and a line end.
//
// Thread-safety: none; shared across threads only for the reference counts.
#pragma once

#include "Brindle/base/RefCountedPtr.h"
#include "Brindle/odbc/OdbcValue.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace Brindle {

class COdbcColumn {
public:
    static constexpr std::size_t MaxNameLength = 255;

    COdbcColumn() = default;
    // Describes result column `index` (from 1); get_rc is the result.
    COdbcColumn(void* statement, short index);

    short get_rc() const { return m_rc; }
    short get_index() const { return m_index; }
    short get_type() const { return m_type; }
    const std::string& get_name() const { return m_name; }
    int get_size() const { return m_size; }
    int get_decimals() const { return m_decimals; }
    int get_nullable() const { return m_nullable; }
    // The most bytes a cell of the column holds, as the driver reports it.
    long get_octet_length() const { return m_octetLength; }

    // A fresh value for a cell of this column.
    CRefCountedPtr<COdbcValue> CreateValue() const;

private:
    short m_rc = 0;
    short m_index = 0;
    short m_type = 0;
    std::string m_name;
    int m_size = 0;
    int m_decimals = 0;
    int m_nullable = 0;
    unsigned long m_columnSize = 0;
    long m_octetLength = 0;
};

class COdbcColumns : public std::vector<COdbcColumn> {
public:
    // The position of the column with exactly that name, or -1.
    int Find(const std::string& name) const;
};

class COdbcRow : public std::vector<CRefCountedPtr<COdbcValue>> {
public:
    std::string GetString(int column) const;
    int GetInt(int column) const;
    long GetLong(int column) const;
    double GetDouble(int column) const;
    bool IsNull(int column) const;
    // Each cell's text followed by a tab; "<<NULL>>" for NULL.
    std::string ToString() const;

private:
    const COdbcValue& Cell(int column) const;
};

class COdbcParams : public std::vector<CRefCountedPtr<COdbcValue>> {
public:
    // Appends a new value (taking ownership) as the next parameter.
    COdbcParams& Add(COdbcValue* value);
};

class COdbcResultSet : public std::vector<CRefCountedPtr<COdbcRow>> {
public:
    void Fetch(void* statement);
    const COdbcColumns& GetColumns() const { return m_columns; }
    bool SuccessWithInfo() const { return m_successWithInfo; }
    CRefCountedPtr<COdbcRow> FindRow(int column, const std::string& text, bool trim) const;
    CRefCountedPtr<COdbcRow> FindRow(const std::string& column, const std::string& text, bool trim) const;
    void Print(std::ostream& out, bool header) const;

private:
    // A fresh row of values bound to the statement's columns.
    CRefCountedPtr<COdbcRow> BindRow(void* statement) const;

    COdbcColumns m_columns;
    bool m_successWithInfo = false;
    // Positions of the columns read after each fetch rather than bound.
    std::vector<int> m_readAfterFetch;
};

} // namespace Brindle
