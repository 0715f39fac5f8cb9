#include "Brindle/odbc/OdbcResultSet.h"

#include "Brindle/odbc/OdbcDiagnostics.h"
#include "Brindle/odbc/OdbcException.h"
#include "Brindle/odbc/OdbcValues.h"

#include <algorithm>
#include <climits>
#include <ostream>

namespace Brindle {

// ---- columns ------------------------------------------------------------------

COdbcColumn::COdbcColumn(void* statement, short index) : m_index(index)
{
    SQLCHAR name[MaxNameLength + 1] = {};
    SQLSMALLINT nameLength = 0, type = 0, decimals = 0, nullable = 0;
    SQLULEN size = 0;
    m_rc = SQLDescribeCol(statement, static_cast<SQLUSMALLINT>(index), name, sizeof name, &nameLength, &type, &size,
                          &decimals, &nullable);
    if (!SQL_SUCCEEDED(m_rc))
        return;
    m_name = reinterpret_cast<const char*>(name);
    m_type = type;
    m_columnSize = size;
    m_size = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    m_decimals = decimals;
    m_nullable = nullable;
    SQLLEN octets = 0;
    if (SQL_SUCCEEDED(SQLColAttribute(statement, static_cast<SQLUSMALLINT>(index), SQL_DESC_OCTET_LENGTH, nullptr, 0,
                                      nullptr, &octets)))
        m_octetLength = octets;
}

CRefCountedPtr<COdbcValue> COdbcColumn::CreateValue() const
{
    return COdbcValue::Create(m_type, m_columnSize, m_octetLength);
}

int COdbcColumns::Find(const std::string& name) const
{
    for (std::size_t i = 0; i < size(); ++i) {
        if ((*this)[i].get_name() == name)
            return static_cast<int>(i);
    }
    return -1;
}

// ---- rows ---------------------------------------------------------------------

const COdbcValue& COdbcRow::Cell(int column) const
{
    if (column < 0 || static_cast<std::size_t>(column) >= size())
        throw std::out_of_range("COdbcRow: no column " + std::to_string(column));
    return *(*this)[static_cast<std::size_t>(column)];
}

std::string COdbcRow::GetString(int column) const
{
    return Cell(column).GetStdString();
}

int COdbcRow::GetInt(int column) const
{
    return Cell(column).GetInt();
}

long COdbcRow::GetLong(int column) const
{
    return Cell(column).GetLong();
}

double COdbcRow::GetDouble(int column) const
{
    return Cell(column).GetDouble();
}

bool COdbcRow::IsNull(int column) const
{
    return Cell(column).IsNull();
}

std::string COdbcRow::ToString() const
{
    std::string line;
    for (const auto& cell : *this) {
        if (cell->IsNull())
            line += "<<NULL>>";
        else
            line += cell->GetStdString();
        line += '\t';
    }
    return line;
}

COdbcParams& COdbcParams::Add(COdbcValue* value)
{
    emplace_back(value);
    return *this;
}

// ---- result set ---------------------------------------------------------------

namespace {

// Releases the statement's column bindings when a fetch ends, before the
// last bound (unused) row goes.
class CUnbindGuard {
public:
    explicit CUnbindGuard(void* statement) : m_statement(statement) {}
    ~CUnbindGuard() { SQLFreeStmt(m_statement, SQL_UNBIND); }
    CUnbindGuard(const CUnbindGuard&) = delete;
    CUnbindGuard& operator=(const CUnbindGuard&) = delete;

private:
    void* m_statement;
};

// The most rows a driver's count may reserve room for at once.
constexpr SQLLEN MaxReservedRows = 1 << 20;

void ThrowIfFailed(SQLRETURN rc, void* statement)
{
    if (!SQL_SUCCEEDED(rc))
        throw COdbcException(rc, OdbcDetail::ErrorText(rc, SQL_HANDLE_STMT, statement));
}

} // namespace

CRefCountedPtr<COdbcRow> COdbcResultSet::BindRow(void* statement) const
{
    CRefCountedPtr<COdbcRow> row(new COdbcRow());
    row->reserve(m_columns.size());
    for (const COdbcColumn& column : m_columns) {
        row->push_back(column.CreateValue());
        ThrowIfFailed(static_cast<SQLRETURN>(row->back()->BindColumn(statement, column.get_index())), statement);
    }
    return row;
}

void COdbcResultSet::Fetch(void* statement)
{
    m_successWithInfo = false;
    m_columns.clear();
    m_readAfterFetch.clear();
    SQLSMALLINT count = 0;
    ThrowIfFailed(SQLNumResultCols(statement, &count), statement);
    if (count <= 0)
        return;
    for (short index = 1; index <= count; ++index) {
        COdbcColumn column(statement, index);
        ThrowIfFailed(column.get_rc(), statement);
        m_columns.push_back(std::move(column));
    }

    // Room for the rows up front when the driver knows how many there are
    // (a hint only): growing the list as rows arrive costs more than the
    // rows themselves.
    SQLLEN expected = 0;
    if (SQL_SUCCEEDED(SQLRowCount(statement, &expected)) && expected > 0)
        reserve(static_cast<std::size_t>(std::min<SQLLEN>(expected, MaxReservedRows)));

    // Each row is fetched into values of its own: bound, fetched, kept.
    CRefCountedPtr<COdbcRow> row;
    CUnbindGuard unbind(statement);
    row = BindRow(statement);
    std::vector<int> wide; // bound texts with room to give back
    for (std::size_t i = 0; i < row->size(); ++i) {
        const auto* text = dynamic_cast<const COdbcText*>((*row)[i].GetPtr());
        if (text != nullptr && text->ReadsAfterFetch())
            m_readAfterFetch.push_back(static_cast<int>(i));
        if (text != nullptr && text->FitsAfterFetch())
            wide.push_back(static_cast<int>(i));
    }
    for (;;) {
        const SQLRETURN rc = SQLFetch(statement);
        if (rc == SQL_NO_DATA)
            break;
        ThrowIfFailed(rc, statement);
        if (rc == SQL_SUCCESS_WITH_INFO) {
            // Perhaps a cell that did not fit: each text cell checks its own.
            m_successWithInfo = true;
            for (std::size_t i = 0; i < row->size(); ++i)
                ThrowIfFailed(static_cast<SQLRETURN>((*row)[i]->ReadRest(statement, m_columns[i].get_index())),
                              statement);
        } else {
            for (int i : m_readAfterFetch)
                ThrowIfFailed(static_cast<SQLRETURN>((*row)[i]->ReadRest(statement, m_columns[i].get_index())),
                              statement);
        }
        for (int i : wide)
            static_cast<COdbcText&>(*(*row)[i]).FitToText();
        push_back(row);
        // The next fetch goes into fresh values; a cell read whole above may
        // have moved its buffer, so nothing of this row stays bound.
        row = BindRow(statement);
    }
}

CRefCountedPtr<COdbcRow> COdbcResultSet::FindRow(int column, const std::string& text, bool trim) const
{
    if (column < 0)
        return nullptr;
    for (const auto& row : *this) {
        if (static_cast<std::size_t>(column) >= row->size())
            continue;
        std::string cell = (*row)[static_cast<std::size_t>(column)]->GetStdString();
        if (trim) {
            const std::size_t end = cell.find_last_not_of(' ');
            cell.erase(end == std::string::npos ? 0 : end + 1);
        }
        if (cell == text)
            return row;
    }
    return nullptr;
}

CRefCountedPtr<COdbcRow> COdbcResultSet::FindRow(const std::string& column, const std::string& text, bool trim) const
{
    const int position = m_columns.Find(column);
    return position < 0 ? nullptr : FindRow(position, text, trim);
}

void COdbcResultSet::Print(std::ostream& out, bool header) const
{
    if (header) {
        for (const COdbcColumn& column : m_columns)
            out << column.get_name() << '\t';
        out << '\n';
    }
    for (const auto& row : *this)
        out << row->ToString() << '\n';
}

} // namespace Brindle
